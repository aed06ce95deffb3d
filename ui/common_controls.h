#pragma once
#include <windows.h>

// Loads the common controls library from the system folder (once) and registers its window
// classes, the progress bar's among them. 1 on success, 0 with the last error set.
int LoadCommonControls();

// The library loaded by LoadCommonControls, or null before.
HMODULE CommonControlsModule();
