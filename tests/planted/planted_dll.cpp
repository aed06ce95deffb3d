// A stand-in for a system DLL, as a web page might leave one in a Downloads folder: when any
// process loads it, it leaves a marker file beside itself. Its exports forward to the real
// socket library, so a program that imports it still runs.
#include <windows.h>

#include <cstring>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(instance, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (length == 0 || slash == nullptr) return TRUE;
    strcpy(slash + 1, "planted-dll-loaded.marker");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}
