#include <windows.h>

#include "app/main_dialog.h"
#include "app/process_setup.h"
#include "app/updater_state.h"
#include "resources/resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    PrepareProcess();
    appInstance = instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DialogFunc, 0);
    return 0;
}
