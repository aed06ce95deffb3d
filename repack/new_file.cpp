#include "repack/new_file.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "repack/sharing_retry.h"

namespace {

constexpr int kNameAttempts = 256;

// Candidate `attempt` for the new file's name: eight hex digits and ".tmp", or as many of the
// digits as `room` characters hold; successive attempts differ in their first digit too.
void CandidateName(DWORD base, int attempt, size_t room, char* out) {
    char full[16] = {};
    snprintf(full, sizeof full, "%08lX.tmp",
             static_cast<unsigned long>(base + attempt * 0x9E3779B1u));
    size_t keep = room >= strlen(full) ? strlen(full) : (room < 8 ? room : 8);
    memcpy(out, full, keep);
    out[keep] = '\0';
}

} // namespace

bool CreateFileBeside(const char* target, char* path) {
    char* name = nullptr;
    DWORD length = GetFullPathNameA(target, MAX_PATH, path, &name);
    if (length == 0) return false;
    if (length >= MAX_PATH || name == nullptr) {
        SetLastError(length >= MAX_PATH ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
        return false;
    }
    // Not GetTempFileNameA: it refuses folders longer than MAX_PATH - 14 characters, which a
    // target's folder may be. The name is made to fit beside the target's own.
    char targetName[MAX_PATH] = {};
    lstrcpynA(targetName, name, sizeof targetName);
    size_t room = MAX_PATH - 1 - static_cast<size_t>(name - path);
    DWORD base = GetTickCount() ^ GetCurrentProcessId() << 16;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        CandidateName(base, attempt, room, name);
        if (lstrcmpiA(name, targetName) == 0) continue;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
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
    // Replacing a file another program has open fails with access denied, not a sharing
    // violation; so does replacing a read-only file or a folder, which no wait cures.
    auto passing = [&](DWORD error) {
        if (HeldByAnother(error)) return true;
        DWORD attributes = GetFileAttributesA(target);
        return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    };
    return RetryWhile(passing, [&] {
        return MoveFileExA(finished, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               0;
    });
}

void DeleteLeftover(const char* path) {
    DWORD error = GetLastError();
    RetryWhileShared([&] { return DeleteFileA(path) != 0; });
    SetLastError(error);
}
