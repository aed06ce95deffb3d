#include <winsock.h>

#include "app/main_dialog.h"
#include "app/process_setup.h"
#include "base/updater_state.h"
#include "resources/resource_ids.h"
#include "transport/drain_wait.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    PrepareProcess();
    appInstance = instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DialogFunc, 0);
    // The window is gone, but a printer may still be reading what the system holds for it.
    DrainBeforeLeaving();
    WSACleanup();
    return 0;
}
