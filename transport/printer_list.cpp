#include <windows.h>

#include <vector>

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
    std::string system = SystemErrorText(error);
    std::string text = msg::EnumFailureText(system.empty() ? nullptr : system.c_str(), needed, sent);
    showMessageBox(text.c_str(), msg::kFailureCaption, MB_OK | MB_ICONINFORMATION);
}

} // namespace

int EnumLocalPrinters(HWND dialog) {
    std::vector<BYTE> buffer(kFirstBufferSize);
    DWORD needed = 0;
    DWORD returned = 0;
    for (int attempt = 1;; ++attempt) {
        needed = 0;
        returned = 0;
        if (spooler.enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1,
                                 buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                                 &returned))
            break;
        DWORD error = GetLastError();
        bool tooSmall = error == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size();
        if (!tooSmall || attempt == kAttempts) {
            ShowEnumFailure(error, needed, static_cast<DWORD>(buffer.size()));
            return 0;
        }
        buffer.resize(needed);
    }
    auto records = reinterpret_cast<const PRINTER_INFO_1A*>(buffer.data());
    HWND list = GetDlgItem(dialog, IDC_PRINTER_LIST);
    for (DWORD i = 0; i < returned; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(records[i].pName));
    return 1;
}
