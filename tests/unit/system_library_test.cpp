#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

#include "app/process_setup.h"
#include "base/system_library.h"
#include "transport/spooler_api.h"
#include "ui/common_controls.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, sizeof path);
    return Lower(path);
}

std::string SystemFolderEntry(const char* name) {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, sizeof folder);
    return Lower(std::string(folder) + "\\" + name);
}

} // namespace

TEST(SystemLibrary, SpoolerComesFromTheSystemFolderWithEveryCall) {
    SpoolerApi saved = spooler;
    spooler = SpoolerApi{};
    ASSERT_EQ(LoadSpooler(), 1);
    EXPECT_EQ(ModulePath(SpoolerModule()), SystemFolderEntry("winspool.drv"));
    EXPECT_EQ(reinterpret_cast<void*>(spooler.writePrinter),
              reinterpret_cast<void*>(GetProcAddress(SpoolerModule(), "WritePrinter")));
    EXPECT_NE(spooler.enumPrinters, nullptr);
    EXPECT_NE(spooler.closePrinter, nullptr);
    spooler = saved;
}

TEST(SystemLibrary, CommonControlsComeFromTheSystemFolderAndRegisterTheBar) {
    ASSERT_EQ(LoadCommonControls(), 1);
    EXPECT_EQ(ModulePath(CommonControlsModule()), SystemFolderEntry("comctl32.dll"));
    WNDCLASSA bar;
    EXPECT_TRUE(GetClassInfoA(nullptr, "msctls_progress32", &bar));
}

TEST(SystemLibrary, MissingLibraryFailsWithTheSystemsError) {
    SetLastError(0);
    EXPECT_EQ(LoadSystemLibrary("no-such-library-here.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

namespace {

struct Calls {
    std::string dllDirectory = "(not called)";
    int ghostingDisabled = 0;
};
Calls calls;

BOOL WINAPI FakeSetDllDirectory(LPCSTR path) {
    calls.dllDirectory = path == nullptr ? "(null)" : path;
    return TRUE;
}
void WINAPI FakeDisableGhosting() { ++calls.ghostingDisabled; }

FARPROC FakeLookup(const char* module, const char* name) {
    void* found = nullptr;
    if (strcmp(module, "kernel32.dll") == 0 && strcmp(name, "SetDllDirectoryA") == 0)
        found = reinterpret_cast<void*>(FakeSetDllDirectory);
    if (strcmp(module, "user32.dll") == 0 && strcmp(name, "DisableProcessWindowsGhosting") == 0)
        found = reinterpret_cast<void*>(FakeDisableGhosting);
    return reinterpret_cast<FARPROC>(found);
}

FARPROC NothingThere(const char*, const char*) { return nullptr; }

} // namespace

TEST(ProcessSetup, EmptiesTheDllDirectoryAndDisablesGhosting) {
    calls = Calls{};
    PrepareProcess(FakeLookup);
    EXPECT_EQ(calls.dllDirectory, "");
    EXPECT_EQ(calls.ghostingDisabled, 1);
}

TEST(ProcessSetup, SystemsWithoutTheCallsAreLeftAlone) {
    calls = Calls{};
    PrepareProcess(NothingThere);
    EXPECT_EQ(calls.dllDirectory, "(not called)");
    EXPECT_EQ(calls.ghostingDisabled, 0);
}

TEST(ProcessSetup, TheRealSystemHasBothCalls) {
    EXPECT_NE(LoadedExport("kernel32.dll", "SetDllDirectoryA"), nullptr);
    EXPECT_NE(LoadedExport("user32.dll", "DisableProcessWindowsGhosting"), nullptr);
}
