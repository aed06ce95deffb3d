#pragma once
#include <windows.h>

#include "base/unique_handle.h"

struct ResourceUpdateTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    // Discards; the error of the step that failed stays the thread's last error.
    static void close(Handle h) {
        DWORD error = GetLastError();
        EndUpdateResourceA(h, TRUE);
        SetLastError(error);
    }
};

// A resource update of another executable that is discarded unless committed. Opening and
// committing fail with the last error set, also where the platform's own call leaves none.
class ResourceUpdate {
  public:
    explicit ResourceUpdate(const char* path);

    bool opened() const { return update_.valid(); }
    bool write(LPCSTR type, LPCSTR name, const void* data, DWORD size) {
        return UpdateResourceA(update_.get(), type, name, 0, const_cast<void*>(data), size) != 0;
    }
    // Writes the changes; the handle is spent whether or not that succeeds.
    bool commit();

  private:
    const char* path_;
    UniqueHandle<ResourceUpdateTraits> update_;
};
