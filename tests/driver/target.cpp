#include "target.h"

#include "protocol.h"

namespace {

// What a shell reports for a killed process, so a killed updater is told apart from one that
// returned 0 or 1.
constexpr UINT kKilledExitCode = 137;
constexpr DWORD kKillWaitMs = 5000;

std::string LastError(const char* call) {
    return std::string(call) + " failed with error " + std::to_string(GetLastError());
}

UniqueKernelHandle KillOnCloseJob() {
    UniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job)
        throw Failure(LastError("CreateJobObject"));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits))
        throw Failure(LastError("SetInformationJobObject"));
    return job;
}

} // namespace

void Target::Start(const std::wstring& commandLine) {
    if (Running())
        throw Failure("the updater is already running");
    UniqueKernelHandle job = KillOnCloseJob();
    std::wstring mutableLine = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    // Suspended until it is in the job, so not even its first window escapes the job.
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &created))
        throw Failure(LastError("CreateProcess"));
    UniqueKernelHandle process(created.hProcess);
    UniqueKernelHandle thread(created.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        TerminateProcess(process.get(), kKilledExitCode);
        throw Failure(LastError("AssignProcessToJobObject"));
    }
    ResumeThread(thread.get());
    job_ = std::move(job);
    process_ = std::move(process);
    pid_ = created.dwProcessId;
    thread_ = created.dwThreadId;
}

bool Target::Running() const {
    return Started() && !WaitExit(0);
}

bool Target::WaitExit(DWORD ms) const {
    if (!Started())
        throw Failure("no updater was started");
    return WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0;
}

bool Target::WaitIdle(DWORD ms) const {
    if (!Started())
        throw Failure("no updater was started");
    return WaitForInputIdle(process_.get(), ms) == 0;
}

DWORD Target::ExitCode() const {
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code))
        throw Failure(LastError("GetExitCodeProcess"));
    return code;
}

void Target::Kill() {
    if (!Running())
        return;
    TerminateProcess(process_.get(), kKilledExitCode);
    if (!WaitExit(kKillWaitMs))
        throw Failure("the updater did not end after TerminateProcess");
}
