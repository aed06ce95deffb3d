#include "repack/resource_update.h"

namespace {

// Some platforms' resource update (Wine's among them) reports a failure to open the file
// with no error code. Opening the file as the update does names the cause, a sharing
// violation above all, which the caller waits out; any other cause is named by `otherwise`.
void NameLostError(const char* path, DWORD otherwise) {
    if (GetLastError() != ERROR_SUCCESS) return;
    HANDLE probe = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return;
    CloseHandle(probe);
    SetLastError(otherwise);
}

} // namespace

ResourceUpdate::ResourceUpdate(const char* path)
    : path_(path), update_(BeginUpdateResourceA(path, FALSE)) {
    if (!update_) NameLostError(path_, ERROR_OPEN_FAILED);
}

bool ResourceUpdate::commit() {
    if (EndUpdateResourceA(update_.release(), FALSE)) return true;
    NameLostError(path_, ERROR_WRITE_FAULT);
    return false;
}
