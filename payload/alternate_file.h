#pragma once
#include <windows.h>

// Lets the operator choose a file that later firmware sends deliver instead of the embedded
// payload. 1 when cancelled or chosen, 0 after a failure has been shown.
int OnAlternate(HWND owner);
