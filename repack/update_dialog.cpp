#include "repack/update_dialog.h"

#include "base/updater_state.h"
#include "payload/resource_set.h"
#include "repack/rebuild.h"
#include "resources/resource_ids.h"
#include "ui/file_chooser.h"

namespace {

constexpr size_t kCaptionChars = 255;
constexpr size_t kWaitChars = 9;

void CloseUpdateDialog(HWND dialog) {
    updateDialog = nullptr;
    EndDialog(dialog, 0);
}

void OnUpdateInit(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_UPDATE_CAPTION,
                    LoadOwnString(appInstance, IDS_CAPTION, kCaptionChars).c_str());
    SetDlgItemTextA(dialog, IDC_UPDATE_TIMEOUT,
                    LoadOwnString(appInstance, IDS_WAIT, kWaitChars).c_str());
    updateDialog = dialog;
}

} // namespace

INT_PTR CALLBACK UpdateDialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnUpdateInit(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_UPDATE_SAVE:
            OnUpdateSave(dialog);
            return FALSE;
        case IDC_UPDATE_BROWSE:
            OnUpdateBrowse(dialog);
            return FALSE;
        case IDC_UPDATE_CANCEL:
        case IDOK:
        case IDCANCEL:
            CloseUpdateDialog(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
    case WM_DESTROY:
        CloseUpdateDialog(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

int OnUpdateBrowse(HWND dialog) {
    char path[MAX_PATH] = {};
    if (ChooseExistingFile(dialog, "Select an executable", path))
        SetDlgItemTextA(dialog, IDC_UPDATE_EMBED, path);
    return 1;
}
