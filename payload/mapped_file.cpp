#include "payload/mapped_file.h"

bool MapWholeFile(const char* path, MappedFile* out) {
    out->file.reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_READONLY, nullptr));
    if (!out->file) return false;
    out->size = GetFileSize(out->file.get(), nullptr);
    if (out->size == INVALID_FILE_SIZE) return false;
    out->mapping.reset(CreateFileMappingA(out->file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!out->mapping) return false;
    out->view.reset(MapViewOfFile(out->mapping.get(), FILE_MAP_READ, 0, 0, 0));
    return out->view.valid();
}
