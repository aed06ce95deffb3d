#pragma once
#include <windows.h>
#include <commdlg.h>

// The platform's file choosers. Their library (and the shell libraries it imports) is loaded
// from the system folder on first use, so start-up does not pay for it.
// TRUE when a file was chosen; FALSE when the user cancelled, or when the library could not be
// loaded. The open chooser reports that with the system's error text; the save chooser leaves
// it to its caller, whose own message covers it.
BOOL ChooseFileToOpen(OPENFILENAMEA* chooser);
BOOL ChooseFileToSave(OPENFILENAMEA* chooser);
