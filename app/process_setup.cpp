#include "app/process_setup.h"

FARPROC LoadedExport(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    return handle != nullptr ? GetProcAddress(handle, name) : nullptr;
}

void PrepareProcess(ExportLookup lookup) {
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    using DisableGhostingFn = void(WINAPI*)();
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(lookup("kernel32.dll", "SetDllDirectoryA")));
    if (setDllDirectory != nullptr) setDllDirectory("");
    // A window that does not answer for 5 seconds would otherwise get a ghost the user can
    // close, ending the process half-way through a transfer.
    auto disableGhosting = reinterpret_cast<DisableGhostingFn>(
        reinterpret_cast<void*>(lookup("user32.dll", "DisableProcessWindowsGhosting")));
    if (disableGhosting != nullptr) disableGhosting();
}
