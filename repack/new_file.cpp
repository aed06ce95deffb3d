#include "repack/new_file.h"

#include <windows.h>

#include "repack/sharing_retry.h"

bool CreateFileBeside(const char* target, char* path) {
    char folder[MAX_PATH] = {};
    char* name = nullptr;
    DWORD length = GetFullPathNameA(target, sizeof folder, folder, &name);
    if (length == 0) return false;
    if (length >= sizeof folder || name == nullptr) {
        SetLastError(length >= sizeof folder ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
        return false;
    }
    *name = '\0';
    return GetTempFileNameA(folder, "upd", 0, path) != 0;
}

bool CopyWritable(const char* source, const char* copy) {
    if (!RetryWhileShared([&] { return CopyFileA(source, copy, FALSE) != 0; })) return false;
    DWORD attributes = GetFileAttributesA(copy);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    DWORD rest = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesA(copy, rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool MoveOver(const char* finished, const char* target) {
    return RetryWhileShared([&] {
        return MoveFileExA(finished, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               0;
    });
}

void DeleteLeftover(const char* path) {
    DWORD error = GetLastError();
    RetryWhileShared([&] { return DeleteFileA(path) != 0; });
    SetLastError(error);
}
