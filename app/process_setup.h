#pragma once
#include <windows.h>

// Finds an export of an already loaded system module (kernel32.dll, user32.dll).
using ExportLookup = FARPROC (*)(const char* module, const char* name);

FARPROC LoadedExport(const char* module, const char* name);

// Run first in WinMain. Takes the current folder out of the DLL search path, so nothing loaded
// later comes from there, and stops the platform from offering to end the updater while a
// delivery blocks its window. Calls that a system lacks are skipped.
void PrepareProcess(ExportLookup lookup = LoadedExport);
