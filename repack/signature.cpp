#include "repack/signature.h"

#include <windows.h>

#include <cstring>

#include "base/unique_handle.h"
#include "repack/pe_header.h"

namespace {

struct WritableViewTraits {
    using Handle = void*;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { UnmapViewOfFile(h); }
};

// The whole file mapped for writing. The guards release view, mapping and file in that order.
struct WritableFile {
    UniqueFile file;
    UniqueKernelHandle mapping;
    UniqueHandle<WritableViewTraits> view;
    DWORD size = 0;
    PeFields fields = {};

    uint8_t* bytes() const { return static_cast<uint8_t*>(view.get()); }
};

bool OpenForWriting(const char* path, WritableFile* out) {
    // Readers (a scanner looking at the new file) may stay; nobody else may write meanwhile.
    out->file.reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out->file) return false;
    out->size = GetFileSize(out->file.get(), nullptr);
    if (out->size == INVALID_FILE_SIZE) return false;
    out->mapping.reset(
        CreateFileMappingA(out->file.get(), nullptr, PAGE_READWRITE, 0, 0, nullptr));
    if (!out->mapping) return false;
    out->view.reset(MapViewOfFile(out->mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!out->view) return false;
    if (FindPeFields(out->bytes(), out->size, &out->fields)) return true;
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return false;
}

bool Seek(HANDLE file, DWORD offset) {
    return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) !=
           INVALID_SET_FILE_POINTER;
}

} // namespace

int RemoveCertificateTable(const char* path) {
    WritableFile image;
    if (!OpenForWriting(path, &image)) return 0;
    const PeFields f = image.fields;
    if (f.securityOffset == 0 && f.securitySize == 0) return 1;
    // A table must lie past the headers; an entry pointing into them is damaged, and cutting
    // there would destroy the copy.
    bool endsFile = f.securityOffset >= f.headersSize && f.securityOffset <= image.size &&
                    f.securitySize == image.size - f.securityOffset;
    image.view.reset();
    image.mapping.reset();
    // The table is cut off before its entry is cleared, so a retry after a failed cut (another
    // program mapping the file) still finds it. Whatever else follows a table that does not end
    // the file is left where it is.
    HANDLE file = image.file.get();
    if (endsFile && !(Seek(file, f.securityOffset) && SetEndOfFile(file))) return 0;
    static const uint8_t kNoTable[8] = {};
    DWORD written = 0;
    return Seek(file, static_cast<DWORD>(f.securityEntry)) &&
                   WriteFile(file, kNoTable, sizeof kNoTable, &written, nullptr) &&
                   written == sizeof kNoTable
               ? 1
               : 0;
}

int WritePeChecksum(const char* path) {
    WritableFile image;
    if (!OpenForWriting(path, &image)) return 0;
    uint32_t sum = PeChecksum(image.bytes(), image.size, image.fields.checksum);
    memcpy(image.bytes() + image.fields.checksum, &sum, sizeof sum);
    // The file is moved over the target next: its bytes must be on the disk before that, or a
    // power cut just after the move leaves the target with data never written.
    return FlushViewOfFile(image.view.get(), 0) && FlushFileBuffers(image.file.get()) ? 1 : 0;
}
