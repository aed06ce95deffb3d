#pragma once
#include <windows.h>

// Runs a step on the new updater's file again while another program holds that file open in a
// way the step can't share (a virus scanner or the search indexer looking at a new
// executable), for about a second in all; a sharing violation after that is reported like any
// other failure. The step returns true on success, or false with the last error set.
template <typename Step> bool RetryWhileShared(Step step) {
    constexpr DWORD kPatienceMs = 1000;
    constexpr DWORD kPauseMs = 25;
    DWORD start = GetTickCount();
    while (!step()) {
        if (GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount() - start >= kPatienceMs)
            return false;
        Sleep(kPauseMs);
    }
    return true;
}
