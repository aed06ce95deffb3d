#include "app/main_dialog.h"

#include <winsock.h>

#include "app/config_page.h"
#include "base/updater_state.h"
#include "payload/alternate_file.h"
#include "payload/resource_set.h"
#include "repack/update_dialog.h"
#include "resources/resource_ids.h"
#include "transport/drain_wait.h"
#include "transport/net_drain.h"
#include "transport/transport.h"
#include "ui/message_text.h"
#include "ui/messages.h"
#include "ui/common_controls.h"
#include "ui/progress_bar.h"
#include "ui/wait_string.h"

namespace {

constexpr WORD kSocketVersion = 0x0001;
constexpr size_t kCaptionChars = 255;
constexpr size_t kWaitChars = 9;
constexpr int kPrinterNameBuffer = 256;
constexpr char kPrinterLabel[] = "Select Printer to Update:";
constexpr char kNetLabel[] = "Enter network printer name or IP address:";

HWND exitButton;
HWND sendButton;
HWND configButton;
HWND printerList;
HWND printerLabel;
HWND netField;
HWND netLabel;
// A job waits for its printer's acknowledgement; Exit then ends the dialog without ending the
// job's command first.
bool awaitingPrinter;
// Exit or the close command came: the window is going, and what is left happens unseen.
bool leaving;

bool UserLeft() { return leaving; }

// Waits for the printer's acknowledgement of the job just handed over, with Exit usable.
int AwaitPrinter() {
    EnableWindow(exitButton, TRUE);
    awaitingPrinter = true;
    int delivered = AwaitDelivery(UserLeft);
    awaitingPrinter = false;
    return delivered;
}

void StartSockets() {
    WSADATA data;
    int result = WSAStartup(kSocketVersion, &data);
    if (result != 0) {
        // Before the library has started, its last error means nothing: show what start-up said.
        displayWSAErrorCode("WSAStartup", result);
        ExitProcess(1);
    }
}

void RemoveWindowMenuEntries(HWND dialog) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    for (int position = 0; position < 3; ++position) DeleteMenu(menu, position, MF_BYPOSITION);
}

WNDPROC buttonProc;

// A click of one of the zero-size buttons (its mnemonic sends BM_CLICK) must reach the dialog.
// Some platforms' buttons report a simulated click only when its point lies inside the button,
// which never holds for a button of zero size, so the click is reported here directly.
LRESULT CALLBACK HiddenButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BM_CLICK) {
        SendMessageA(GetParent(button), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        return 0;
    }
    return CallWindowProcA(buttonProc, button, message, wParam, lParam);
}

void HookHiddenButtons(HWND dialog) {
    static const int kHidden[] = {IDC_NET, IDC_UPDATE, IDC_ALTERNATE};
    for (int id : kHidden) {
        auto previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(GetDlgItem(dialog, id), GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(HiddenButtonProc)));
        if (previous != nullptr) buttonProc = previous;
    }
}

void FindControls(HWND dialog) {
    exitButton = GetDlgItem(dialog, IDC_EXIT);
    sendButton = GetDlgItem(dialog, IDC_SEND_FIRMWARE);
    configButton = GetDlgItem(dialog, IDC_PRINT_CONFIG);
    printerList = GetDlgItem(dialog, IDC_PRINTER_LIST);
    printerLabel = GetDlgItem(dialog, IDC_PRINTER_LABEL);
    netField = GetDlgItem(dialog, IDC_NET_HOST);
    netLabel = GetDlgItem(dialog, IDC_NET_LABEL);
}

void ReadResourceStrings(HWND dialog) {
    SetWindowTextA(dialog, LoadOwnString(appInstance, IDS_CAPTION, kCaptionChars).c_str());
    waitSeconds = ParseWaitString(LoadOwnString(appInstance, IDS_WAIT, kWaitChars).c_str());
}

void OnInitDialog(HWND dialog) {
    mainDialog = dialog;
    StartSockets();
    if (!LoadCommonControls()) displayLastError();
    progressBar = new CProgressBar(dialog, appInstance, 55, 102, 350, 20);
    progressBar->setBarColor(0, 0, 136);
    RemoveWindowMenuEntries(dialog);
    SetClassLongPtrA(dialog, GCLP_HICON,
                     reinterpret_cast<LONG_PTR>(LoadIconA(nullptr, IDI_EXCLAMATION)));
    smileBitmap = LoadBitmapA(appInstance, MAKEINTRESOURCEA(IDB_SMILE));
    FindControls(dialog);
    HookHiddenButtons(dialog);
    SetWindowTextA(printerLabel, kPrinterLabel);
    SetWindowTextA(netLabel, kNetLabel);
    ShowWindow(netField, SW_HIDE);
    ShowWindow(netLabel, SW_HIDE);
    netMode = 0;
    ReadResourceStrings(dialog);
    if (!FindDownloadableFile()) displayLastError();
    EnumLocalPrinters(dialog);
}

void SetCommandButtons(bool enabled) {
    EnableWindow(sendButton, enabled);
    EnableWindow(configButton, enabled);
    EnableWindow(exitButton, enabled);
}

// The selected printer's name, empty when nothing is selected.
void ReadPrinterName(char (&name)[kPrinterNameBuffer]) {
    name[0] = '\0';
    GetWindowTextA(printerList, name, sizeof name);
}

void OnSendFirmware() {
    char printer[kPrinterNameBuffer];
    ReadPrinterName(printer);
    if (!SendDataTo(printer, payloadData, payloadSize)) return;
    SetCommandButtons(false);
    // The wait stops early if the printer refuses the end of the job it was still taking; the
    // face waits until it has every byte.
    ScrollbarWait(waitSeconds < 0 ? 0u : static_cast<uint32_t>(waitSeconds), DeliveryFailed);
    if (!AwaitPrinter()) {
        SetCommandButtons(true);
        return;
    }
    SendDlgItemMessageA(mainDialog, IDC_RESULT_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(smileBitmap));
    firmwareSent = 1;
    EnableWindow(exitButton, TRUE);
    EnableWindow(configButton, TRUE);
}

void OnPrintConfig() {
    char printer[kPrinterNameBuffer];
    ReadPrinterName(printer);
    SetCommandButtons(false);
    if (SendDataTo(printer, configPageJob, kConfigPageJobSize) == 1 && AwaitPrinter() == 1)
        displayMsg1(msg::kSentConfigPage);
    if (!firmwareSent) EnableWindow(sendButton, TRUE);
    EnableWindow(configButton, TRUE);
    EnableWindow(exitButton, TRUE);
}

void OnNet() {
    bool toNetwork = netMode == 0;
    ShowWindow(netField, toNetwork ? SW_SHOW : SW_HIDE);
    ShowWindow(netLabel, toNetwork ? SW_SHOW : SW_HIDE);
    ShowWindow(printerList, toNetwork ? SW_HIDE : SW_SHOW);
    ShowWindow(printerLabel, toNetwork ? SW_HIDE : SW_SHOW);
    if (toNetwork) SetWindowTextA(netLabel, kNetLabel);
    netMode = toNetwork ? 1 : 0;
}

void OnUpdate() {
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_UPDATE), nullptr, UpdateDialogFunc, 0);
}

// The socket library is released once the connections still draining are done (WinMain).
// During the wait for a printer the window hides at once and the job's command returns first.
void OnExit(HWND dialog) {
    leaving = true;
    if (awaitingPrinter)
        EndDialog(dialog, 0);
    else
        DestroyWindow(dialog);
}

INT_PTR OnCommand(HWND dialog, WORD id) {
    // A command posted by another program comes even while its button is disabled, as it is
    // throughout a job: it must not start a second job inside the first.
    switch (id) {
    case IDC_SEND_FIRMWARE:
        if (IsWindowEnabled(sendButton)) OnSendFirmware();
        return FALSE;
    case IDC_PRINT_CONFIG:
        if (IsWindowEnabled(configButton)) OnPrintConfig();
        return FALSE;
    // While a job waits for its printer the keyboard works, but only Exit may run.
    case IDC_NET:
        if (!awaitingPrinter) OnNet();
        return FALSE;
    case IDC_UPDATE:
        if (!awaitingPrinter) OnUpdate();
        return TRUE;
    case IDC_ALTERNATE:
        if (!awaitingPrinter) OnAlternate(dialog);
        return TRUE;
    case IDC_EXIT:
        if (IsWindowEnabled(exitButton)) OnExit(dialog);
        return FALSE;
    default: // IDOK and IDCANCEL (Enter on no button, Esc) are ignored
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK DialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_NET_DRAIN:
        OnNetDrain(wParam, lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam == kSweepTimer) OnSweepTimer();
        return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
        leaving = true;
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
