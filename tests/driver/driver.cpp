// driver.exe: drives the updater's windows from another process for the end-to-end tests.
// One request per line on stdin, one reply per line on stdout (see protocol.h). A reply that
// lists windows has one field per window, each a record joined as in JoinFields (see Describe).
#include <windows.h>

#include <commctrl.h>
#include <winspool.h>

#include <cstdlib>
#include <map>

#include "protocol.h"
#include "target.h"
#include "window_query.h"

namespace {

constexpr DWORD kPollMs = 20;
constexpr char kDialogClass[] = "#32770";

Target target;
std::map<std::wstring, UniqueFile> locks;

const std::string& Arg(const Fields& request, size_t index, const char* name) {
    if (index >= request.size())
        throw Failure(std::string("missing argument: ") + name);
    return request[index];
}

long long IntArg(const Fields& request, size_t index, const char* name) {
    const std::string& text = Arg(request, index, name);
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0')
        throw Failure(std::string("not a number: ") + name);
    return value;
}

DWORD MsArg(const Fields& request, size_t index) {
    long long ms = IntArg(request, index, "timeout ms");
    if (ms < 0)
        throw Failure("negative timeout");
    return static_cast<DWORD>(ms);
}

HWND WindowArg(const Fields& request, size_t index) {
    auto window =
        reinterpret_cast<HWND>(static_cast<uintptr_t>(IntArg(request, index, "window handle")));
    if (!IsWindow(window))
        throw Failure("no window " + HandleNumber(window));
    return window;
}

DWORD StartedPid() {
    if (!target.Started())
        throw Failure("no updater was started");
    return target.pid();
}

// Quoted for CommandLineToArgvW: backslashes double only where they precede a quote.
std::wstring QuotedArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"')
                quoted.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, L'\\');
    return quoted + L"\"";
}

Fields Records(const std::vector<HWND>& windows, bool sendForOwnText) {
    Fields records;
    for (HWND window : windows)
        records.push_back(JoinFields(Describe(window, sendForOwnText)));
    return records;
}

HWND VisibleDialogOf(DWORD pid) {
    for (HWND window : TopLevelWindows(pid))
        if (IsWindowVisible(window) && ClassName(window) == kDialogClass)
            return window;
    return nullptr;
}

HWND WaitForDialog(DWORD timeoutMs) {
    DWORD started = GetTickCount();
    for (;;) {
        if (HWND dialog = VisibleDialogOf(target.pid()))
            return dialog;
        if (target.WaitExit(kPollMs))
            throw Failure("the updater ended with exit code " + Number(target.ExitCode()) +
                          " before it showed a dialog");
        if (GetTickCount() - started >= timeoutMs)
            throw Failure("timeout: no dialog of the updater was visible within " +
                          Number(timeoutMs) + " ms");
    }
}

// The command line of "<command> <exe> <timeout ms> [argument...]".
std::wstring CommandLineOf(const Fields& request) {
    std::wstring commandLine = QuotedArgument(Wide(Arg(request, 1, "exe")));
    for (size_t i = 3; i < request.size(); ++i)
        commandLine += L" " + QuotedArgument(Wide(request[i]));
    return commandLine;
}

// start <exe> <timeout ms> [argument...]: the updater's pid and its first visible dialog.
Fields OnStart(const Fields& request) {
    std::wstring commandLine = CommandLineOf(request);
    DWORD timeoutMs = MsArg(request, 2);
    target.Start(commandLine);
    HWND dialog = WaitForDialog(timeoutMs);
    return {Number(target.pid()), HandleNumber(dialog), Number(target.thread())};
}

// launch <exe> <timeout ms> [argument...]: starts like start, but returns as soon as the
// program first waits for input, without polling: its pid, the microseconds from just before
// the process was created, and its visible dialog (0 when none). For timing start-up.
Fields OnLaunch(const Fields& request) {
    std::wstring commandLine = CommandLineOf(request);
    DWORD timeoutMs = MsArg(request, 2);
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    target.Start(commandLine);
    if (!target.WaitIdle(timeoutMs))
        throw Failure("the program did not wait for input within " + Number(timeoutMs) + " ms");
    QueryPerformanceCounter(&after);
    long long micros = (after.QuadPart - before.QuadPart) * 1000000 / frequency.QuadPart;
    return {Number(target.pid()), std::to_string(micros),
            HandleNumber(VisibleDialogOf(target.pid()))};
}

// windows: the updater's top-level windows, topmost first; none once it has ended.
Fields OnWindows(const Fields&) {
    return Records(TopLevelWindows(StartedPid()), false);
}

// info <hwnd>: one record, read without sending the window anything (text: the kept caption).
Fields OnInfo(const Fields& request) {
    return Describe(WindowArg(request, 1), false);
}

// controls <hwnd> [captions]: with "captions", no message is sent, so the listing comes even
// while the updater's thread is blocked; edit and combo boxes then show their kept captions.
Fields OnControls(const Fields& request) {
    bool captionsOnly = request.size() > 2 && request[2] == "captions";
    return Records(ChildrenInZOrder(WindowArg(request, 1)), !captionsOnly);
}

Fields OnItem(const Fields& request) {
    HWND window = WindowArg(request, 1);
    auto id = static_cast<int>(IntArg(request, 2, "control id"));
    HWND control = GetDlgItem(window, id);
    if (control == nullptr)
        throw Failure("window " + HandleNumber(window) + " has no control " + Number(id));
    return {HandleNumber(control)};
}

Fields OnText(const Fields& request) {
    return {SentText(WindowArg(request, 1))};
}

Fields OnSetText(const Fields& request) {
    HWND window = WindowArg(request, 1);
    std::wstring text = Wide(Arg(request, 2, "text"));
    SendWithTimeout(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return {};
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!PostMessageW(window, message, wParam, lParam))
        throw Failure("PostMessage failed with error " + Number(GetLastError()));
}

Fields OnClick(const Fields& request) {
    Post(WindowArg(request, 1), BM_CLICK, 0, 0);
    return {};
}

// command <hwnd>: posts the BN_CLICKED a press of the button sends its parent. Unlike BM_CLICK,
// which Wine turns into a click at (0,0) that misses a button of zero size, it works at any size.
Fields OnCommand(const Fields& request) {
    HWND button = WindowArg(request, 1);
    auto id = static_cast<WORD>(GetWindowLongW(button, GWL_ID));
    Post(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
         reinterpret_cast<LPARAM>(button));
    return {};
}

// post|send <hwnd> <message> [wparam] [lparam]: only messages that carry no pointers.
Fields OnPost(const Fields& request) {
    Post(WindowArg(request, 1), static_cast<UINT>(IntArg(request, 2, "message")),
         request.size() > 3 ? static_cast<WPARAM>(IntArg(request, 3, "wparam")) : 0,
         request.size() > 4 ? static_cast<LPARAM>(IntArg(request, 4, "lparam")) : 0);
    return {};
}

Fields OnSend(const Fields& request) {
    return {Number(SendWithTimeout(
        WindowArg(request, 1), static_cast<UINT>(IntArg(request, 2, "message")),
        request.size() > 3 ? static_cast<WPARAM>(IntArg(request, 3, "wparam")) : 0,
        request.size() > 4 ? static_cast<LPARAM>(IntArg(request, 4, "lparam")) : 0))};
}

std::string ComboItem(HWND combo, WPARAM index) {
    LRESULT length = SendWithTimeout(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR)
        throw Failure("no item " + Number(index));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendWithTimeout(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return Utf8(text);
}

Fields OnItems(const Fields& request) {
    HWND combo = WindowArg(request, 1);
    LRESULT count = SendWithTimeout(combo, CB_GETCOUNT, 0, 0);
    Fields items;
    for (LRESULT i = 0; i < count; ++i)
        items.push_back(ComboItem(combo, static_cast<WPARAM>(i)));
    return items;
}

Fields OnSelected(const Fields& request) {
    return {Number(SendWithTimeout(WindowArg(request, 1), CB_GETCURSEL, 0, 0))};
}

// select <hwnd> <index>: sets the selection and notifies the parent as a user's choice would.
Fields OnSelect(const Fields& request) {
    HWND combo = WindowArg(request, 1);
    auto index = static_cast<WPARAM>(IntArg(request, 2, "index"));
    SendWithTimeout(combo, CB_SETCURSEL, index, 0);
    auto id = static_cast<WORD>(GetWindowLongW(combo, GWL_ID));
    Post(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
         reinterpret_cast<LPARAM>(combo));
    return {Number(SendWithTimeout(combo, CB_GETCURSEL, 0, 0))};
}

Fields OnDropped(const Fields& request) {
    return {Number(SendWithTimeout(WindowArg(request, 1), CB_GETDROPPEDSTATE, 0, 0))};
}

Fields OnProgress(const Fields& request) {
    HWND bar = WindowArg(request, 1);
    return {Number(SendWithTimeout(bar, PBM_GETPOS, 0, 0)),
            Number(SendWithTimeout(bar, PBM_GETRANGE, TRUE, 0)),
            Number(SendWithTimeout(bar, PBM_GETRANGE, FALSE, 0))};
}

// image <hwnd> [type]: the STM_GETIMAGE handle, IMAGE_BITMAP unless another type is given.
Fields OnImage(const Fields& request) {
    WPARAM type =
        request.size() > 2 ? static_cast<WPARAM>(IntArg(request, 2, "type")) : IMAGE_BITMAP;
    return {Number(
        static_cast<long long>(SendWithTimeout(WindowArg(request, 1), STM_GETIMAGE, type, 0)))};
}

HWND DirectChildHolding(HWND parent, HWND window) {
    HWND desktop = GetDesktopWindow();
    for (; window != nullptr && window != desktop; window = GetAncestor(window, GA_PARENT))
        if (GetAncestor(window, GA_PARENT) == parent)
            return window;
    return nullptr;
}

// focus <hwnd>: the focus of the thread owning the window: focused window and id, active
// window, and the child of <hwnd> holding the focus with its id (0 when the focus is elsewhere).
Fields OnFocus(const Fields& request) {
    HWND window = WindowArg(request, 1);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        throw Failure("GetGUIThreadInfo failed with error " + Number(GetLastError()));
    HWND child = DirectChildHolding(window, info.hwndFocus);
    return {HandleNumber(info.hwndFocus),
            Number(info.hwndFocus ? GetWindowLongW(info.hwndFocus, GWL_ID) : 0),
            HandleNumber(info.hwndActive), HandleNumber(child),
            Number(child ? GetWindowLongW(child, GWL_ID) : 0)};
}

Fields OnWaitExit(const Fields& request) {
    DWORD timeoutMs = MsArg(request, 1);
    if (!target.WaitExit(timeoutMs))
        throw Failure("timeout: the updater still runs after " + Number(timeoutMs) + " ms");
    return {Number(target.ExitCode())};
}

// status: "running", or "exited" and the exit code.
Fields OnStatus(const Fields&) {
    if (target.Running())
        return {"running"};
    if (!target.Started())
        throw Failure("no updater was started");
    return {"exited", Number(target.ExitCode())};
}

Fields OnKill(const Fields&) {
    if (!target.Started())
        return {};
    target.Kill();
    return {Number(target.ExitCode())};
}

// printers: the spooler's printer names in its own order, as the updater asks for them.
Fields OnPrinters(const Fields&) {
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersW(kFlags, nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(kFlags, nullptr, 1, buffer.data(), needed, &needed, &count))
        throw Failure("EnumPrinters failed with error " + Number(GetLastError()));
    const auto* printers = reinterpret_cast<const PRINTER_INFO_1W*>(buffer.data());
    Fields names;
    for (DWORD i = 0; i < count; ++i)
        names.push_back(Utf8(printers[i].pName));
    return names;
}

// lock <path>: held open for writing and shared with no one until unlock.
Fields OnLock(const Fields& request) {
    std::wstring path = Wide(Arg(request, 1, "path"));
    if (locks.count(path) != 0)
        throw Failure("already locked");
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw Failure("CreateFile failed with error " + Number(GetLastError()));
    locks.emplace(path, std::move(file));
    return {};
}

Fields OnUnlock(const Fields& request) {
    if (locks.erase(Wide(Arg(request, 1, "path"))) == 0)
        throw Failure("not locked");
    return {};
}

// sendtimeout <ms>: the limit for every message the driver sends from now on.
Fields OnSendTimeout(const Fields& request) {
    SetSendTimeout(MsArg(request, 1));
    return {};
}

Fields OnQuit(const Fields& request) {
    OnKill(request);
    locks.clear();
    return {};
}

using Handler = Fields (*)(const Fields&);

const std::map<std::string, Handler> kHandlers = {
    {"start", OnStart},
    {"launch", OnLaunch},
    {"windows", OnWindows},
    {"info", OnInfo},
    {"controls", OnControls},
    {"item", OnItem},
    {"text", OnText},
    {"settext", OnSetText},
    {"click", OnClick},
    {"command", OnCommand},
    {"post", OnPost},
    {"send", OnSend},
    {"items", OnItems},
    {"selected", OnSelected},
    {"select", OnSelect},
    {"dropped", OnDropped},
    {"progress", OnProgress},
    {"image", OnImage},
    {"focus", OnFocus},
    {"wait_exit", OnWaitExit},
    {"status", OnStatus},
    {"kill", OnKill},
    {"printers", OnPrinters},
    {"lock", OnLock},
    {"unlock", OnUnlock},
    {"sendtimeout", OnSendTimeout},
    {"quit", OnQuit},
};

std::string Reply(const Fields& request) {
    try {
        auto handler = kHandlers.find(request[0]);
        if (handler == kHandlers.end())
            throw Failure("unknown command: " + request[0]);
        Fields fields = handler->second(request);
        return fields.empty() ? "ok" : "ok\t" + JoinFields(fields);
    } catch (const std::exception& failure) {
        return "err\t" + Escape(failure.what());
    }
}

} // namespace

int main() {
    WriteLine("ok\tdriver ready");
    std::string line;
    while (ReadLine(&line)) {
        Fields request = SplitFields(line);
        WriteLine(Reply(request));
        if (request[0] == "quit")
            break;
    }
    return 0;
}
