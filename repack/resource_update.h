#pragma once
#include <windows.h>

#include "app/unique_handle.h"

struct ResourceUpdateTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { EndUpdateResourceA(h, TRUE); } // discard
};

// A resource update of another executable that is discarded unless committed.
class ResourceUpdate {
  public:
    explicit ResourceUpdate(const char* path) : update_(BeginUpdateResourceA(path, FALSE)) {}

    bool opened() const { return update_.valid(); }
    bool write(LPCSTR type, LPCSTR name, const void* data, DWORD size) {
        return UpdateResourceA(update_.get(), type, name, 0, const_cast<void*>(data), size) != 0;
    }
    // Writes the changes; the handle is spent whether or not that succeeds.
    bool commit() { return EndUpdateResourceA(update_.release(), FALSE) != 0; }

  private:
    UniqueHandle<ResourceUpdateTraits> update_;
};
