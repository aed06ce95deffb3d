#include "ui/file_chooser.h"

#include "base/system_library.h"
#include "ui/messages.h"

namespace {

using ChooserFunction = BOOL(WINAPI*)(OPENFILENAMEA*);

HMODULE chooserLibrary;

// The chooser's function, or null with the last error set when it can't be had.
ChooserFunction Chooser(const char* name) {
    if (chooserLibrary == nullptr) chooserLibrary = LoadSystemLibrary("comdlg32.dll");
    auto run = ExportOf<ChooserFunction>(chooserLibrary, name);
    if (run == nullptr && chooserLibrary != nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
    return run;
}

} // namespace

BOOL ChooseFileToOpen(OPENFILENAMEA* chooser) {
    ChooserFunction run = Chooser("GetOpenFileNameA");
    if (run == nullptr) {
        displayLastError();
        return FALSE;
    }
    return run(chooser);
}

BOOL ChooseFileToSave(OPENFILENAMEA* chooser) {
    ChooserFunction run = Chooser("GetSaveFileNameA");
    return run != nullptr && run(chooser);
}
