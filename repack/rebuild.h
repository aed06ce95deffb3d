#pragma once
#include <windows.h>

// The repackager's Save: writes a new updater with the dialog's caption, wait and embedded file
// to a path the operator chooses, then ends both dialogs. 0 after a failure has been shown.
int OnUpdateSave(HWND dialog);
