#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/updater_state.h"
#include "payload/mapped_file.h"
#include "payload/string_block.h"
#include "repack/resource_update.h"
#include "repack/update_dialog.h"
#include "resources/resource_ids.h"
#include "ui/message_text.h"
#include "ui/messages.h"

namespace {

constexpr int kCaptionBuffer = 255; // at most 254 characters
constexpr int kWaitBuffer = 9;      // at most 8 characters
constexpr char kPayloadType[] = "FILE";

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

std::string FieldText(HWND dialog, int id, int bufferSize) {
    std::string text(static_cast<size_t>(bufferSize), '\0');
    UINT length = GetDlgItemTextA(dialog, id, &text[0], bufferSize);
    text.resize(length);
    return text;
}

// The full long form of a path, for comparing two names of one file.
std::string ResolvedPath(const char* path) {
    char full[MAX_PATH] = {};
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return path;
    char longForm[MAX_PATH] = {};
    length = GetLongPathNameA(full, longForm, sizeof longForm);
    return length != 0 && length < sizeof longForm ? longForm : full;
}

bool SameFile(const char* a, const char* b) {
    return lstrcmpiA(ResolvedPath(a).c_str(), ResolvedPath(b).c_str()) == 0;
}

// Writes the new resources into the copy; shows the failure and returns 0 when one step fails,
// and the update is then discarded, so the copy stays as it was copied.
int RewriteResources(const char* copyPath, const std::string& caption, const std::string& wait,
                     const MappedFile* embed) {
    size_t blockSize = string_block::BuildSize(caption.size(), wait.size());
    std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t*>(std::calloc(blockSize, 1)));
    if (!block) {
        displayMsg1(msg::kOutOfMemory);
        return 0;
    }
    string_block::WriteInto(block.get(), caption, wait);

    ResourceUpdate update(copyPath);
    if (!update.opened() ||
        !update.write(RT_STRING, MAKEINTRESOURCEA(1), block.get(), static_cast<DWORD>(blockSize)) ||
        (embed != nullptr &&
         !update.write(kPayloadType, MAKEINTRESOURCEA(IDR_PAYLOAD), embed->view.get(), embed->size)) ||
        !update.commit()) {
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
    // Copying over the running program would destroy it where the platform allows it.
    if (SameFile(ownPath, newPath)) {
        displayMsg1(msg::kOwnFileAsTarget);
        return 0;
    }
    if (!CopyFileA(ownPath, newPath, FALSE)) {
        displayLastError();
        return 0;
    }

    std::string caption = FieldText(dialog, IDC_UPDATE_CAPTION, kCaptionBuffer);
    std::string wait = FieldText(dialog, IDC_UPDATE_TIMEOUT, kWaitBuffer);
    std::string embedPath = FieldText(dialog, IDC_UPDATE_EMBED, MAX_PATH);

    MappedFile embed;
    bool embedding = !embedPath.empty();
    if (embedding && !MapWholeFile(embedPath.c_str(), &embed)) {
        displayLastError();
        return 0;
    }
    if (!RewriteResources(newPath, caption, wait, embedding ? &embed : nullptr)) return 0;

    EndDialog(updateDialog, 0);
    EndDialog(mainDialog, 0);
    return 1;
}
