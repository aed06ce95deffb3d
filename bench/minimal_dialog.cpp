// The start-up reference: one modal dialog from an in-memory template, built like the updater
// (static, GUI subsystem), so the difference to the updater is the updater's own start-up work.
// With the argument "printers" it also fills a list with the spooler's printers before it
// shows, as the updater must: the part of start-up that is the spooler's. With "template" it
// shows the updater's own main dialog (linked in by bench/run.sh; its thirteen controls are the
// platform's to create) instead of an empty one, and fills that dialog's printer list.
#include <windows.h>
#include <winspool.h>

#include <cstring>

namespace {

// DLGTEMPLATE followed by its variable-length parts, WORD-aligned as the dialog manager wants.
struct alignas(4) Template {
    DLGTEMPLATE dialog;
    WORD menu, windowClass;
    WCHAR title[16];
    WORD pointSize;
    WCHAR font[14];
};

constexpr int kPrinterList = 1010;
constexpr int kUpdaterTemplate = 102;
bool listPrinters;

void ListPrinters(HWND dialog) {
    HWND list = GetDlgItem(dialog, kPrinterList);
    if (list == nullptr)
        list = CreateWindowExA(0, "COMBOBOX", nullptr,
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, 10, 10, 300,
                               100, dialog, reinterpret_cast<HMENU>(kPrinterList), nullptr,
                               nullptr);
    static BYTE records[16384];
    DWORD needed = 0, count = 0;
    // Loaded when needed, as the updater does: importing the spooler costs every start a fifth
    // more, which would make this floor no floor.
    using EnumPrintersFn = BOOL(WINAPI*)(DWORD, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    auto enumPrinters = reinterpret_cast<EnumPrintersFn>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryA("winspool.drv"), "EnumPrintersA")));
    if (enumPrinters == nullptr ||
        !enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1, records,
                      sizeof records, &needed, &count))
        return;
    auto* printers = reinterpret_cast<PRINTER_INFO_1A*>(records);
    for (DWORD i = 0; i < count; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(printers[i].pName));
}

INT_PTR CALLBACK DialogFunc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        if (listPrinters) ListPrinters(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    listPrinters = strstr(commandLine, "printers") != nullptr;
    static const Template form = {
        {DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0,
         0, 0, 345, 122},
        0, 0, L"Minimal dialog", 8, L"MS Sans Serif"};
    if (strstr(commandLine, "template") != nullptr)
        DialogBoxParamA(instance, MAKEINTRESOURCEA(kUpdaterTemplate), nullptr, DialogFunc, 0);
    else
        DialogBoxIndirectParamW(instance, &form.dialog, nullptr, DialogFunc, 0);
    return 0;
}
