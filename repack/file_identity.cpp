#include "repack/file_identity.h"

#include <windows.h>

#include "app/unique_handle.h"

namespace {

// Opens the file for its attributes only, sharing everything, so a file others hold open
// (the running updater's own image among them) can still be identified.
bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), info);
}

} // namespace

bool SameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a = {};
    BY_HANDLE_FILE_INFORMATION b = {};
    if (!Identify(first, &a) || !Identify(second, &b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
