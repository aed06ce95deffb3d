#include "ui/file_chooser.h"

#include "app/system_library.h"
#include "ui/messages.h"

namespace {

using ChooserFunction = BOOL(WINAPI*)(OPENFILENAMEA*);

HMODULE chooserLibrary;

BOOL RunChooser(const char* name, OPENFILENAMEA* chooser) {
    if (chooserLibrary == nullptr) chooserLibrary = LoadSystemLibrary("comdlg32.dll");
    auto run = ExportOf<ChooserFunction>(chooserLibrary, name);
    if (run == nullptr) {
        if (chooserLibrary != nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
        displayLastError();
        return FALSE;
    }
    return run(chooser);
}

} // namespace

BOOL ChooseFileToOpen(OPENFILENAMEA* chooser) { return RunChooser("GetOpenFileNameA", chooser); }

BOOL ChooseFileToSave(OPENFILENAMEA* chooser) { return RunChooser("GetSaveFileNameA", chooser); }
