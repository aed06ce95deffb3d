#include "ui/common_controls.h"

#include "base/system_library.h"

namespace {

HMODULE commonControls;

} // namespace

HMODULE CommonControlsModule() { return commonControls; }

int LoadCommonControls() {
    // Not imported: a library of that name beside the executable would be loaded in its place.
    if (commonControls == nullptr) commonControls = LoadSystemLibrary("comctl32.dll");
    auto init = ExportOf<void(WINAPI*)()>(commonControls, "InitCommonControls");
    if (init == nullptr) {
        if (commonControls != nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    init();
    return 1;
}
