#include <winsock.h>

#include "app/main_dialog.h"
#include "app/process_setup.h"
#include "base/updater_state.h"
#include "resources/resource_ids.h"
#include "transport/drain_wait.h"
#include "transport/transport.h"

// Three minutes for a printer to acknowledge the end of a job once the completion wait is over,
// the same as it gets after Exit; the tests build a variant with a shorter one.
#ifndef UPDATER_DELIVERY_BOUND_SECONDS
#define UPDATER_DELIVERY_BOUND_SECONDS 180
#endif
const DWORD deliveryBoundMs = UPDATER_DELIVERY_BOUND_SECONDS * 1000;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    PrepareProcess();
    appInstance = instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DialogFunc, 0);
    // The window is gone, but a printer may still be reading what the system holds for it.
    DrainBeforeLeaving();
    WSACleanup();
    return 0;
}
