// The platform floor of each delivery path: the fewest system calls that path needs, in a program
// built and run exactly like the updater. It prepares what the updater has ready before a click
// (the mapped file), waits to be told go, does the work, and exits.
//   floor net FILE              look up 127.0.0.1, connect to its port 9100, send the file, close
//   floor spool QUEUE FILE      one RAW job of the file's bytes
//   floor repack SOURCE TARGET  copy SOURCE to TARGET and write one string block into it
#include <winsock2.h>
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>

namespace {

struct View {
    const char* data = nullptr;
    DWORD size = 0;
};

View MapWhole(const char* path) {
    View view;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return view;
    view.size = GetFileSize(file, nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping != nullptr)
        view.data = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    return view;
}

DWORD WINAPI ForwardGoLine(void* window) {
    char line[16];
    DWORD read = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), line, sizeof line, &read, nullptr) && read > 0)
        PostMessageA(static_cast<HWND>(window), WM_USER, 0, 0);
    return 0;
}

// Says it is ready, with a window of its own, then blocks until that window gets WM_USER. The
// benchmark posts it through the UI driver, the same way as the click that starts the updater's
// work; a line on standard input says go too.
void WaitForGo() {
    HWND window = CreateWindowExA(0, "STATIC", "floor", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
    printf("ready %lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    fflush(stdout);
    CloseHandle(CreateThread(nullptr, 0, ForwardGoLine, window, 0, nullptr));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0 && message.message != WM_USER)
        DispatchMessageA(&message);
}

int Net(const char* path) {
    View view = MapWhole(path);
    WSADATA data;
    if (view.data == nullptr || WSAStartup(0x0001, &data) != 0) return 1;
    WaitForGo();
    // The host is typed, so it is looked up like any name.
    hostent* host = gethostbyname("127.0.0.1");
    if (host == nullptr) return 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(9100);
    memcpy(&address.sin_addr, host->h_addr_list[0], sizeof address.sin_addr);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    for (DWORD sent = 0; sent < view.size;) {
        int n = send(s, view.data + sent, static_cast<int>(view.size - sent), 0);
        if (n <= 0) return 1;
        sent += static_cast<DWORD>(n);
    }
    shutdown(s, SD_SEND);
    closesocket(s);
    return 0;
}

int Spool(char* queue, const char* path) {
    View view = MapWhole(path);
    if (view.data == nullptr) return 1;
    WaitForGo();
    HANDLE printer = nullptr;
    char name[] = "Firmware Update";
    char type[] = "RAW";
    DOC_INFO_1A job = {name, nullptr, type};
    DWORD written = 0;
    if (!OpenPrinterA(queue, &printer, nullptr)) return 1;
    bool ok = StartDocPrinterA(printer, 1, reinterpret_cast<LPBYTE>(&job)) != 0 &&
              StartPagePrinter(printer) &&
              WritePrinter(printer, const_cast<char*>(view.data), view.size, &written) &&
              EndPagePrinter(printer) && EndDocPrinter(printer);
    ClosePrinter(printer);
    return ok && written == view.size ? 0 : 1;
}

int Repack(const char* source, const char* target) {
    // The string block of caption "Bench caption" and wait "3": counts and widened bytes.
    static const char caption[] = "Bench caption";
    static const char wait[] = "3";
    WORD block[16 + sizeof caption + sizeof wait] = {};
    size_t at = 1;
    block[at++] = static_cast<WORD>(strlen(caption));
    for (const char* c = caption; *c; ++c) block[at++] = static_cast<unsigned char>(*c);
    block[at++] = static_cast<WORD>(strlen(wait));
    for (const char* c = wait; *c; ++c) block[at++] = static_cast<unsigned char>(*c);
    DWORD bytes = static_cast<DWORD>((at + 13) * sizeof(WORD));
    WaitForGo();
    if (!CopyFileA(source, target, FALSE)) return 1;
    HANDLE update = BeginUpdateResourceA(target, FALSE);
    if (update == nullptr) return 1;
    if (!UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(1), 0, block, bytes))
        return 1;
    return EndUpdateResourceA(update, FALSE) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    int result = 2;
    if (argc == 3 && strcmp(argv[1], "net") == 0) result = Net(argv[2]);
    if (argc == 4 && strcmp(argv[1], "spool") == 0) result = Spool(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "repack") == 0) result = Repack(argv[2], argv[3]);
    printf("%s\n", result == 0 ? "done" : "failed");
    return result;
}
