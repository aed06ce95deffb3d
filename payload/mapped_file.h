#pragma once
#include <windows.h>

#include <cstdint>

#include "base/unique_handle.h"

// A whole file mapped read-only. The guards release view, mapping and file in that order.
struct MappedFile {
    UniqueFile file;
    UniqueKernelHandle mapping;
    UniqueView view;
    uint32_t size = 0;
};

// Opens `path` for reading (others may read it meanwhile but not write it) and maps all of it.
// On failure returns false with the last error set; what was opened stays in `out`, so the
// caller can show the error before it is released.
bool MapWholeFile(const char* path, MappedFile* out);
