#include "window_query.h"

namespace {

DWORD sendTimeoutMs = 5000;

std::string MessageFailure(HWND window, UINT message) {
    DWORD error = GetLastError();
    std::string what = "window " + HandleNumber(window) + " message " + Number(message);
    if (error == ERROR_TIMEOUT || error == 0)
        return "timeout: " + what + ": no answer within " + Number(sendTimeoutMs) + " ms";
    if (error == ERROR_ACCESS_DENIED)
        return what + ": refused with error 5, as Wine does while the window is destroyed";
    return what + ": failed with error " + Number(error);
}

// A resource ordinal (U+FFFF, then the number), as a picture static's template gives it, is a
// reference to the picture and no text anyone sees.
std::string VisibleText(const std::wstring& text) {
    return !text.empty() && text[0] == 0xFFFF ? std::string() : Utf8(text);
}

// Edit and combo boxes keep their text themselves; every other control's text is the caption the
// system keeps, which can be read without waiting for the updater's thread (which answers sent
// messages only between its steps during the completion wait).
bool KeepsOwnText(const std::string& className) {
    return className == "Edit" || className == "ComboBox" || className == "ComboBoxEx32";
}

void AddRect(Fields* fields, const RECT& rect) {
    fields->push_back(Number(rect.left));
    fields->push_back(Number(rect.top));
    fields->push_back(Number(rect.right));
    fields->push_back(Number(rect.bottom));
}

RECT RectInParentClient(HWND parent, const RECT& screen) {
    RECT rect = screen;
    if (parent != nullptr)
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ClientOnScreen(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM state) {
    auto* found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(state);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == found->first)
        found->second.push_back(window);
    return TRUE;
}

} // namespace

void SetSendTimeout(DWORD ms) {
    sendTimeoutMs = ms;
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SetLastError(0);
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                             sendTimeoutMs, &result))
        throw Failure(MessageFailure(window, message));
    return static_cast<LRESULT>(result);
}

std::string Number(long long value) {
    return std::to_string(value);
}

std::string HandleNumber(const void* handle) {
    return std::to_string(reinterpret_cast<uintptr_t>(handle));
}

std::string ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, sizeof name / sizeof name[0]);
    return Utf8(name);
}

std::string SentText(HWND window) {
    auto length = static_cast<size_t>(SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    auto copied = static_cast<size_t>(
        SendWithTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
    text.resize(copied < length ? copied : length);
    return VisibleText(text);
}

std::string CaptionText(HWND window) {
    wchar_t text[1024] = {};
    InternalGetWindowText(window, text, sizeof text / sizeof text[0]);
    return VisibleText(text);
}

Fields Describe(HWND window, bool sendForOwnText) {
    if (!IsWindow(window))
        throw Failure("no window " + HandleNumber(window));
    std::string className = ClassName(window);
    HWND parent = GetAncestor(window, GA_PARENT);
    if (parent == GetDesktopWindow())
        parent = nullptr;
    RECT screen = {};
    GetWindowRect(window, &screen);
    Fields fields = {HandleNumber(window),
                     className,
                     sendForOwnText && KeepsOwnText(className) ? SentText(window)
                                                               : CaptionText(window),
                     Number(GetWindowLongW(window, GWL_ID)),
                     Number(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))),
                     Number(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))),
                     IsWindowVisible(window) ? "1" : "0",
                     IsWindowEnabled(window) ? "1" : "0",
                     HandleNumber(GetWindow(window, GW_OWNER)),
                     HandleNumber(parent)};
    AddRect(&fields, screen);
    AddRect(&fields, RectInParentClient(parent, screen));
    AddRect(&fields, ClientOnScreen(window));
    return fields;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    std::pair<DWORD, std::vector<HWND>> found(pid, {});
    EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

std::vector<HWND> ChildrenInZOrder(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}
