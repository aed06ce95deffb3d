// The start-up reference: one modal dialog from an in-memory template, built like the updater
// (static, GUI subsystem), so the difference to the updater is the updater's own start-up work.
#include <windows.h>

namespace {

// DLGTEMPLATE followed by its variable-length parts, WORD-aligned as the dialog manager wants.
struct alignas(4) Template {
    DLGTEMPLATE dialog;
    WORD menu, windowClass;
    WCHAR title[16];
    WORD pointSize;
    WCHAR font[14];
};

INT_PTR CALLBACK DialogFunc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    static const Template form = {
        {DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0,
         0, 0, 345, 122},
        0, 0, L"Minimal dialog", 8, L"MS Sans Serif"};
    DialogBoxIndirectParamW(instance, &form.dialog, nullptr, DialogFunc, 0);
    return 0;
}
