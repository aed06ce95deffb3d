#include "ui/file_chooser.h"

#include <commdlg.h>

#include "base/system_library.h"
#include "ui/messages.h"

namespace {

using ChooserFunction = BOOL(WINAPI*)(OPENFILENAMEA*);

// The choosers' filter lists: one entry each, a description and its pattern. Without a
// pattern a chooser need not list any file at all.
constexpr char kAnyFileFilter[] = "*.*\0*.*\0";
constexpr char kExeFileFilter[] = "*.exe\0*.exe\0";

HMODULE chooserLibrary;

// The chooser's function, or null with the last error set when it can't be had.
ChooserFunction Chooser(const char* name) {
    if (chooserLibrary == nullptr) chooserLibrary = LoadSystemLibrary("comdlg32.dll");
    auto run = ExportOf<ChooserFunction>(chooserLibrary, name);
    if (run == nullptr && chooserLibrary != nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
    return run;
}

// What both choosers are given: owner, filter list, title, the buffer for the path, and flags.
OPENFILENAMEA Settings(HWND owner, const char* filter, const char* title, char* path, DWORD flags) {
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.lpstrFilter = filter;
    chooser.lpstrFile = path;
    chooser.nMaxFile = MAX_PATH;
    chooser.lpstrTitle = title;
    chooser.Flags = flags;
    return chooser;
}

} // namespace

BOOL ChooseExistingFile(HWND owner, const char* title, char* path) {
    OPENFILENAMEA chooser = Settings(owner, kAnyFileFilter, title, path,
                                     OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
    ChooserFunction run = Chooser("GetOpenFileNameA");
    if (run == nullptr) {
        displayLastError();
        return FALSE;
    }
    return run(&chooser);
}

int GetUpdateFilename(HWND owner, char* path) {
    OPENFILENAMEA chooser = Settings(owner, kExeFileFilter, "Select new file to save to", path,
                                     OFN_EXPLORER | OFN_PATHMUSTEXIST);
    chooser.lpstrDefExt = "exe";
    ChooserFunction run = Chooser("GetSaveFileNameA");
    return run != nullptr && run(&chooser) ? 1 : 0;
}
