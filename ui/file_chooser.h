#pragma once
#include <windows.h>

// The platform's file choosers. Their library (and the shell libraries it imports) is loaded
// from the system folder on first use, so start-up does not pay for it. `path` is a buffer of
// MAX_PATH bytes that receives the chosen file.

// The open chooser, for a file that exists: TRUE when one was chosen; FALSE when the user
// cancelled, or when the library could not be loaded, which it reports with the system's error
// text.
BOOL ChooseExistingFile(HWND owner, const char* title, char* path);

// The save chooser for a new updater (*.exe): 1 when a path was chosen; 0 when the user
// cancelled or the library could not be loaded, which it leaves to its caller, whose own message
// covers it.
int GetUpdateFilename(HWND owner, char* path);
