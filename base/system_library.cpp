#include "base/system_library.h"

#include <cstring>

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

} // namespace

HMODULE LoadSystemLibrary(const char* fileName) {
    HMODULE module = LoadLibraryExA(fileName, nullptr, kSearchSystem32);
    // Systems before the search flags reject it as an invalid parameter: name the file by its
    // full path instead, and let its own imports be found from the system folder too.
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    size_t nameLength = strlen(fileName);
    if (length == 0 || length + 1 + nameLength >= sizeof path) {
        if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[length] = '\\';
    memcpy(path + length + 1, fileName, nameLength + 1);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
