#include <windows.h>

#include <cstdlib>

#include "resources/resource_ids.h"
#include "transport/spooler_api.h"
#include "transport/transport.h"
#include "ui/message_text.h"
#include "ui/messages.h"

namespace {

constexpr DWORD kFirstBufferSize = 16384;
// The first try, one with the size the spooler asked for, and one more if the list grew.
constexpr int kAttempts = 3;

void ShowEnumFailure(DWORD error, DWORD needed, DWORD sent) {
    Text system = SystemErrorText(error);
    Text text = msg::EnumFailureText(system.empty() ? nullptr : system.c_str(), needed, sent);
    showMessageBox(text.c_str(), msg::kFailureCaption, MB_OK | MB_ICONINFORMATION);
}

struct FreeBuffer {
    BYTE* data = nullptr;
    ~FreeBuffer() { std::free(data); }
};

} // namespace

int EnumLocalPrinters(HWND dialog) {
    if (!LoadSpooler()) {
        displayLastError();
        return 0;
    }
    FreeBuffer buffer;
    DWORD size = kFirstBufferSize;
    DWORD needed = 0;
    DWORD returned = 0;
    for (int attempt = 1;; ++attempt) {
        std::free(buffer.data);
        buffer.data = static_cast<BYTE*>(std::malloc(size));
        needed = 0;
        returned = 0;
        if (buffer.data == nullptr) {
            ShowEnumFailure(ERROR_NOT_ENOUGH_MEMORY, size, size);
            return 0;
        }
        if (spooler.enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1,
                                 buffer.data, size, &needed, &returned))
            break;
        DWORD error = GetLastError();
        bool tooSmall = error == ERROR_INSUFFICIENT_BUFFER && needed > size;
        if (!tooSmall || attempt == kAttempts) {
            ShowEnumFailure(error, needed, size);
            return 0;
        }
        size = needed;
    }
    auto records = reinterpret_cast<const PRINTER_INFO_1A*>(buffer.data);
    HWND list = GetDlgItem(dialog, IDC_PRINTER_LIST);
    for (DWORD i = 0; i < returned; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(records[i].pName));
    return 1;
}
