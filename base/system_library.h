#pragma once
#include <windows.h>

// Loads a DLL of the system folder, never one of the same name beside the executable or in the
// current folder. Null with the thread's last error set when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName);

// An export of a library, as a function pointer of the caller's type (null when absent).
template <typename Function> Function ExportOf(HMODULE module, const char* name) {
    FARPROC proc = module != nullptr ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}
