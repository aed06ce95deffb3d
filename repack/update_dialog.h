#pragma once
#include <windows.h>

INT_PTR CALLBACK UpdateDialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int OnUpdateBrowse(HWND dialog);
