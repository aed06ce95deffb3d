#include "repack/rebuild.h"

#include <cstdlib>
#include <memory>

#include "base/updater_state.h"
#include "payload/mapped_file.h"
#include "payload/string_block.h"
#include "repack/file_identity.h"
#include "repack/new_file.h"
#include "repack/resource_update.h"
#include "repack/sharing_retry.h"
#include "repack/signature.h"
#include "resources/resource_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_text.h"
#include "ui/messages.h"

namespace {

constexpr size_t kCaptionBuffer = 255; // at most 254 characters
constexpr size_t kWaitBuffer = 9;      // at most 8 characters
constexpr char kPayloadType[] = "FILE";

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// A field's text, cut to what a buffer of that size holds, with its length.
template <size_t N> struct Field {
    char text[N] = {};
    size_t length = 0;
    Field(HWND dialog, int id) : length(GetDlgItemTextA(dialog, id, text, N)) {}
};

// A string for the string block: the field's characters, converted with the ANSI code page as
// the build converts the caption, since the updater reads its strings back through that code
// page. An ANSI character is at least one byte, so N units hold them.
template <size_t N> struct Characters {
    char16_t units[N] = {};
    size_t count = 0;
    explicit Characters(const Field<N>& field) {
        if (field.length == 0) return;
        count = static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, field.text,
                                                        static_cast<int>(field.length),
                                                        reinterpret_cast<LPWSTR>(units), N));
    }
};

// What the new updater gets in place of this one's resources.
struct NewResources {
    const uint8_t* block;
    DWORD blockSize;
    const MappedFile* embed; // null: the payload entry stays as it is
};

// The string block, and the payload when one is embedded, written into the file at `path`.
// False with the last error set; an update not committed is discarded.
bool WriteResources(const char* path, const NewResources& r) {
    ResourceUpdate update(path);
    return update.opened() &&
           update.write(RT_STRING, MAKEINTRESOURCEA(1), r.block, r.blockSize) &&
           (r.embed == nullptr || update.write(kPayloadType, MAKEINTRESOURCEA(IDR_PAYLOAD),
                                               r.embed->view.get(), r.embed->size)) &&
           update.commit();
}

// Makes the new updater at `path`: a copy of this one, without its signature, with the new
// resources and a correct checksum. False with the last error set.
bool BuildNewUpdater(const char* ownPath, const char* path, const NewResources& r) {
    return CopyWritable(ownPath, path) &&
           RetryWhileShared([&] { return RemoveCertificateTable(path) != 0; }) &&
           RetryWhileShared([&] { return WriteResources(path, r); }) &&
           RetryWhileShared([&] { return WritePeChecksum(path) != 0; });
}

} // namespace

int OnUpdateSave(HWND dialog) {
    char ownPath[MAX_PATH] = {};
    char newPath[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(appInstance, ownPath, sizeof ownPath);
    if (length == 0 || length >= sizeof ownPath) {
        if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
        displayLastError();
        return 0;
    }
    if (!GetUpdateFilename(dialog, newPath)) {
        displayMsg1(msg::kCantOpenSaveFile);
        return 0;
    }
    Field<kCaptionBuffer> caption(dialog, IDC_UPDATE_CAPTION);
    Field<kWaitBuffer> wait(dialog, IDC_UPDATE_TIMEOUT);
    Field<MAX_PATH> embedPath(dialog, IDC_UPDATE_EMBED);
    bool embedding = embedPath.length != 0;

    // A target that is the running program or the image to embed would be lost on a save.
    if (SameFile(ownPath, newPath)) {
        displayMsg1(msg::kOwnFileAsTarget);
        return 0;
    }
    if (embedding && SameFile(embedPath.text, newPath)) {
        displayMsg1(msg::kEmbedFileAsTarget);
        return 0;
    }

    // Everything that can fail without writing comes first.
    MappedFile embed;
    if (embedding && !MapWholeFile(embedPath.text, &embed)) {
        displayLastError();
        return 0;
    }
    Characters<kCaptionBuffer> captionUnits(caption);
    Characters<kWaitBuffer> waitUnits(wait);
    size_t blockSize = string_block::BuildSize(captionUnits.count, waitUnits.count);
    std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t*>(std::calloc(blockSize, 1)));
    if (!block) {
        displayMsg1(msg::kOutOfMemory);
        return 0;
    }
    string_block::WriteInto(block.get(), captionUnits.units, captionUnits.count, waitUnits.units,
                            waitUnits.count);

    // The new updater is made beside the target and takes its place only when complete.
    char building[MAX_PATH] = {};
    if (!CreateFileBeside(newPath, building)) {
        displayLastError();
        return 0;
    }
    NewResources resources = {block.get(), static_cast<DWORD>(blockSize),
                              embedding ? &embed : nullptr};
    if (!BuildNewUpdater(ownPath, building, resources) || !MoveOver(building, newPath)) {
        DeleteLeftover(building);
        displayLastError();
        return 0;
    }

    EndDialog(updateDialog, 0);
    EndDialog(mainDialog, 0);
    return 1;
}
