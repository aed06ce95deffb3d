#pragma once
#include <windows.h>

#include "ui/text.h"

// Modal message boxes with no owner window and one OK button.
void displayLastError();
void displayMsg1(const char* text);
void displayMsg2(const char* first, const char* second);
void displayWSAError(const char* operation);
void displayWSAErrorCode(const char* operation, int code);

// Where the boxes go: MessageBoxA with no owner, unless a test has put a recorder here.
extern void (*showMessageBox)(const char* text, const char* caption, UINT flags);

// The system's text for an error code, or an empty text when the platform has none.
Text SystemErrorText(DWORD code);
