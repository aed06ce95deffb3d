#pragma once
#include <windows.h>

INT_PTR CALLBACK DialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
