// A stand-in for a virus scanner: every file that appears in a folder is opened for reading as
// soon as it can be, and closed a moment later. Prints "watching" once it knows what the
// folder held at start, then "held NAME" for each file it held. Ends when its standard input
// closes.
//
// usage: scanner FOLDER HOLD_MS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

volatile LONG stopping = 0;

DWORD WINAPI WatchInput(void*) {
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
           got != 0) {
    }
    InterlockedExchange(&stopping, 1);
    return 0;
}

std::set<std::string> Files(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void Say(const char* what, const std::string& name = "") {
    printf(name.empty() ? "%s\n" : "%s %s\n", what, name.c_str());
    fflush(stdout);
}

// As a scanner does, it lets others read, write and delete the file meanwhile, and gets in the
// moment the file's writer shares it or lets go of it.
HANDLE OpenAsSoonAsShared(const std::string& path) {
    HANDLE file = INVALID_HANDLE_VALUE;
    do {
        file = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    } while (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION &&
             !stopping);
    return file;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: scanner FOLDER HOLD_MS\n");
        return 2;
    }
    std::string folder = argv[1];
    DWORD hold = strtoul(argv[2], nullptr, 10);
    std::set<std::string> seen = Files(folder);
    CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr);
    Say("watching");
    while (!stopping) {
        for (const std::string& name : Files(folder)) {
            if (!seen.insert(name).second) continue;
            HANDLE file = OpenAsSoonAsShared(folder + "\\" + name);
            if (file == INVALID_HANDLE_VALUE) continue; // gone already
            Say("held", name);
            Sleep(hold);
            CloseHandle(file);
        }
        Sleep(1);
    }
    return 0;
}
