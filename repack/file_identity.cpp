#include "repack/file_identity.h"

#include <windows.h>

#include "base/unique_handle.h"

namespace {

// Opens the file for its attributes only, sharing everything, so a file others hold open
// (the running updater's own image among them) can still be identified.
bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), info);
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Both full paths, compared without regard to case: the fallback where identity can't be read.
bool SameFullPath(const char* first, const char* second) {
    char a[MAX_PATH] = {};
    char b[MAX_PATH] = {};
    DWORD lengthA = GetFullPathNameA(first, sizeof a, a, nullptr);
    DWORD lengthB = GetFullPathNameA(second, sizeof b, b, nullptr);
    if (lengthA == 0 || lengthA >= sizeof a || lengthB == 0 || lengthB >= sizeof b)
        return lstrcmpiA(first, second) == 0;
    return lstrcmpiA(a, b) == 0;
}

} // namespace

bool SameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a = {};
    BY_HANDLE_FILE_INFORMATION b = {};
    if (Identify(first, &a) && Identify(second, &b))
        return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
               a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    // A file that exists but can't be identified is compared by its full path rather than
    // taken for another file, so it is never overwritten on a guess.
    return Exists(first) && Exists(second) && SameFullPath(first, second);
}
