#pragma once
// The one updater process a driver runs. It lives in a job that is killed when its last handle
// closes, so the updater cannot outlive the driver however the driver ends.
#include <windows.h>

#include <string>

#include "base/unique_handle.h"

class Target {
  public:
    void Start(const std::wstring& commandLine);
    bool Started() const { return process_.valid(); }
    DWORD pid() const { return pid_; }
    DWORD thread() const { return thread_; }
    bool Running() const;
    // Waits up to `ms` for the process to end; false when it is still running.
    bool WaitExit(DWORD ms) const;
    // Waits up to `ms` until the process first waits for input with none pending (its first
    // window shown and painted); false on a timeout or when it ended first.
    bool WaitIdle(DWORD ms) const;
    DWORD ExitCode() const;
    void Kill();

  private:
    UniqueKernelHandle job_;
    UniqueKernelHandle process_;
    DWORD pid_ = 0;
    DWORD thread_ = 0;
};
