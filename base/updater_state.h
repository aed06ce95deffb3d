#pragma once
#include <windows.h>

#include <cstdint>

class CProgressBar;

// Process-wide updater state, owned by the main dialog and used by the other modules on the
// one UI thread.
extern HINSTANCE appInstance;
extern HWND mainDialog;
extern HWND updateDialog;
extern const uint8_t* payloadData;
extern uint32_t payloadSize;
extern int32_t waitSeconds;
extern int netMode;
extern int firmwareSent;
extern CProgressBar* progressBar;
extern HBITMAP smileBitmap;
