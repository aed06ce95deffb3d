#pragma once
#include <windows.h>

// Another program holding the new updater's file open in a way a step can't share (a virus
// scanner or the search indexer looking at a new executable, some of them through a mapping).
inline bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

// Runs a step again while it fails with an error `passing` takes for a passing hold, for about
// a second in all; such an error after that is reported like any other failure. The step returns
// true on success, or false with the last error set, which stays set when this gives up.
template <typename Passing, typename Step> bool RetryWhile(Passing passing, Step step) {
    constexpr DWORD kPatienceMs = 1000;
    constexpr DWORD kPauseMs = 25;
    DWORD start = GetTickCount();
    while (!step()) {
        DWORD error = GetLastError();
        bool wait = passing(error) && GetTickCount() - start < kPatienceMs;
        SetLastError(error);
        if (!wait) return false;
        Sleep(kPauseMs);
    }
    return true;
}

template <typename Step> bool RetryWhileShared(Step step) {
    return RetryWhile(HeldByAnother, step);
}
