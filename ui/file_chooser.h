#pragma once
#include <windows.h>
#include <commdlg.h>

// The platform's file choosers. Their library (and the shell libraries it imports) is loaded
// from the system folder on first use, so start-up does not pay for it.
// TRUE when a file was chosen; FALSE when the user cancelled, or when the library could not be
// loaded, which has then been reported with the system's error text.
BOOL ChooseFileToOpen(OPENFILENAMEA* chooser);
BOOL ChooseFileToSave(OPENFILENAMEA* chooser);
