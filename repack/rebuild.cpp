#include <windows.h>

#include <cstdlib>
#include <memory>

#include "app/updater_state.h"
#include "payload/mapped_file.h"
#include "payload/string_block.h"
#include "repack/file_identity.h"
#include "repack/resource_update.h"
#include "repack/signature.h"
#include "repack/update_dialog.h"
#include "resources/resource_ids.h"
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

// Writes the new resources into the copy, without the old signature and with a correct checksum;
// shows the failure and returns 0 when one step fails, and an update not yet committed is then
// discarded.
template <size_t C, size_t W>
int RewriteResources(const char* copyPath, const Field<C>& caption, const Field<W>& wait,
                     const MappedFile* embed) {
    size_t blockSize = string_block::BuildSize(caption.length, wait.length);
    std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t*>(std::calloc(blockSize, 1)));
    if (!block) {
        displayMsg1(msg::kOutOfMemory);
        return 0;
    }
    string_block::WriteInto(block.get(), caption.text, caption.length, wait.text, wait.length);

    if (!RemoveCertificateTable(copyPath)) {
        displayLastError();
        return 0;
    }
    ResourceUpdate update(copyPath);
    if (!update.opened() ||
        !update.write(RT_STRING, MAKEINTRESOURCEA(1), block.get(), static_cast<DWORD>(blockSize)) ||
        (embed != nullptr &&
         !update.write(kPayloadType, MAKEINTRESOURCEA(IDR_PAYLOAD), embed->view.get(), embed->size)) ||
        !update.commit() || !WritePeChecksum(copyPath)) {
        displayLastError();
        return 0;
    }
    return 1;
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

    // The copy step overwrites the target before anything is read from the file to embed: a
    // target that is the running program or the image to embed would be destroyed.
    if (SameFile(ownPath, newPath)) {
        displayMsg1(msg::kOwnFileAsTarget);
        return 0;
    }
    if (embedding && SameFile(embedPath.text, newPath)) {
        displayMsg1(msg::kEmbedFileAsTarget);
        return 0;
    }
    if (!CopyFileA(ownPath, newPath, FALSE)) {
        displayLastError();
        return 0;
    }

    MappedFile embed;
    if (embedding && !MapWholeFile(embedPath.text, &embed)) {
        displayLastError();
        return 0;
    }
    if (!RewriteResources(newPath, caption, wait, embedding ? &embed : nullptr)) return 0;

    EndDialog(updateDialog, 0);
    EndDialog(mainDialog, 0);
    return 1;
}
