#include "base/updater_state.h"

HINSTANCE appInstance = nullptr;
HWND mainDialog = nullptr;
HWND updateDialog = nullptr;
const uint8_t* payloadData = nullptr;
uint32_t payloadSize = 0;
int32_t waitSeconds = 0;
int netMode = 0;
int firmwareSent = 0;
CProgressBar* progressBar = nullptr;
HBITMAP smileBitmap = nullptr;
