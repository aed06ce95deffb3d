#include "payload/alternate_file.h"

#include "base/updater_state.h"
#include "payload/mapped_file.h"
#include "ui/file_chooser.h"
#include "ui/message_text.h"
#include "ui/messages.h"

int OnAlternate(HWND owner) {
    char path[MAX_PATH] = {};
    if (!ChooseExistingFile(owner, "Select an alternate download file", path)) return 1;

    MappedFile mapped;
    if (!MapWholeFile(path, &mapped)) {
        displayLastError();
        return 0;
    }
    // The view stays mapped, and the file open, for the rest of the run: it is the payload now.
    payloadSize = mapped.size;
    payloadData = static_cast<const uint8_t*>(mapped.view.release());
    mapped.mapping.release();
    mapped.file.release();
    displayMsg1(msg::kAlternateSelected);
    return 1;
}
