#include "ui/messages.h"

#include <winsock.h>

#include "ui/message_text.h"

namespace {

void ShowOwnerlessBox(const char* text, const char* caption, UINT flags) {
    MessageBoxA(nullptr, text, caption, flags);
}

void ShowBox(const Text& text, const char* caption) {
    showMessageBox(text.c_str(), caption, MB_OK);
}

} // namespace

void (*showMessageBox)(const char* text, const char* caption, UINT flags) = ShowOwnerlessBox;

Text SystemErrorText(DWORD code) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&buffer), 0, nullptr);
    Text text;
    if (length != 0 && buffer != nullptr) text = Text::Copy(buffer);
    if (buffer != nullptr) LocalFree(buffer);
    return text;
}

void displayLastError() {
    DWORD code = GetLastError();
    Text system = SystemErrorText(code);
    ShowBox(msg::LastErrorText(code, system.empty() ? nullptr : system.c_str()),
            msg::kErrorCaption);
}

void displayMsg1(const char* text) { showMessageBox(text, msg::kInfoCaption, MB_OK); }

void displayMsg2(const char* first, const char* second) {
    ShowBox(msg::TwoPartText(first, second), msg::kInfoCaption);
}

void displayWSAError(const char* operation) { displayWSAErrorCode(operation, WSAGetLastError()); }

void displayWSAErrorCode(const char* operation, int code) {
    ShowBox(msg::WSAErrorText(operation, code), msg::kErrorCaption);
}
