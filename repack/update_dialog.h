#pragma once
#include <windows.h>

INT_PTR CALLBACK UpdateDialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int OnUpdateBrowse(HWND dialog);
int GetUpdateFilename(HWND owner, char* path);
int OnUpdateSave(HWND dialog);
