// The platform floor of each delivery path: the fewest system calls that path needs, in a program
// built and run exactly like the updater. It prepares what the updater has ready before a click
// (the mapped file), waits for the click that says go, does the work, and exits.
//   floor net FILE              look up 127.0.0.1, connect to its port 9100, send the file, close
//   floor spool QUEUE FILE      one RAW job of the file's bytes
//   floor repack SOURCE TARGET  copy SOURCE to TARGET and write one string block into it
//   floor saveas SOURCE         no click: ask for a name in the platform's save chooser, copy
//                               SOURCE beside it, write the string block into the copy and
//                               move the copy over the name
#include <winsock2.h>
#include <windows.h>
#include <commdlg.h>
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

// The button that says go has the ID of the updater's Send Firmware.
constexpr int kGoButton = 1001;
constexpr int kUpdaterTemplate = 102;
bool clicked;

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kGoButton) clicked = true;
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK FloorDialogProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == kGoButton) clicked = true;
    return message == WM_INITDIALOG;
}

DWORD WINAPI ClickOnGoLine(void* button) {
    char line[16];
    DWORD read = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), line, sizeof line, &read, nullptr) && read > 0)
        PostMessageA(static_cast<HWND>(button), BM_CLICK, 0, 0);
    return 0;
}

// The window whose button says go: the updater's own main dialog when its template is linked
// in (the benchmarks' build), so a click there costs what it costs in the updater; else a
// window with one button.
HWND ShowGoWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(kUpdaterTemplate), nullptr,
                                     FloorDialogProc, 0);
    if (dialog != nullptr) {
        ShowWindow(dialog, SW_SHOW);
        return dialog;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FloorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "floor";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "floor", "floor", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 240, 100, nullptr, nullptr,
                                  instance, nullptr);
    CreateWindowExA(0, "BUTTON", "Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 70, 20, 90, 24,
                    window, reinterpret_cast<HMENU>(kGoButton), instance, nullptr);
    return window;
}

// Shows the go window, says it is ready with its button's handle, and waits until the button
// is clicked. The benchmark clicks it through the UI driver, exactly as it clicks the updater's
// Send Firmware; a line on standard input clicks it too.
void WaitForGo() {
    HWND window = ShowGoWindow();
    HWND button = GetDlgItem(window, kGoButton);
    printf("ready %lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(button)));
    fflush(stdout);
    CloseHandle(CreateThread(nullptr, 0, ClickOnGoLine, button, 0, nullptr));
    MSG message;
    while (!clicked && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
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

// Writes the string block of caption "Bench caption" and wait "3" into the file at `path`.
bool WriteStringBlock(const char* path) {
    static const char caption[] = "Bench caption";
    static const char wait[] = "3";
    WORD block[16 + sizeof caption + sizeof wait] = {};
    size_t at = 1;
    block[at++] = static_cast<WORD>(strlen(caption));
    for (const char* c = caption; *c; ++c) block[at++] = static_cast<unsigned char>(*c);
    block[at++] = static_cast<WORD>(strlen(wait));
    for (const char* c = wait; *c; ++c) block[at++] = static_cast<unsigned char>(*c);
    DWORD bytes = static_cast<DWORD>((at + 13) * sizeof(WORD));
    HANDLE update = BeginUpdateResourceA(path, FALSE);
    return update != nullptr &&
           UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(1), 0, block, bytes) &&
           EndUpdateResourceA(update, FALSE);
}

int Repack(const char* source, const char* target) {
    WaitForGo();
    return CopyFileA(source, target, FALSE) && WriteStringBlock(target) ? 0 : 1;
}

// The save the updater's repackager makes, from the OK in its chooser (same title, filter and
// flags) to the new file in place: built beside the target and moved over it when complete.
int SaveAs(const char* source) {
    char target[MAX_PATH] = {};
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = sizeof chooser;
    chooser.lpstrFilter = "*.exe\0*.exe\0";
    chooser.lpstrFile = target;
    chooser.nMaxFile = sizeof target;
    chooser.lpstrTitle = "Select new file to save to";
    chooser.lpstrDefExt = "exe";
    chooser.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameA(&chooser)) return 1;
    char folder[MAX_PATH] = {};
    char building[MAX_PATH] = {};
    char* name = nullptr;
    if (GetFullPathNameA(target, sizeof folder, folder, &name) == 0 || name == nullptr) return 1;
    *name = '\0';
    bool ok = GetTempFileNameA(folder, "flr", 0, building) != 0 &&
              CopyFileA(source, building, FALSE) && WriteStringBlock(building) &&
              MoveFileExA(building, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // Started by the UI driver, whose standard output is its own channel: the exit code says it.
    if (argc == 3 && strcmp(argv[1], "saveas") == 0) return SaveAs(argv[2]);
    int result = 2;
    if (argc == 3 && strcmp(argv[1], "net") == 0) result = Net(argv[2]);
    if (argc == 4 && strcmp(argv[1], "spool") == 0) result = Spool(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "repack") == 0) result = Repack(argv[2], argv[3]);
    printf("%s\n", result == 0 ? "done" : "failed");
    return result;
}
