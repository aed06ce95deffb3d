#include "transport/drain_wait.h"

#include "base/updater_state.h"
#include "transport/net_drain.h"
#include "transport/transport.h"
#include "ui/messages.h"

namespace {

constexpr DWORD kTurnMs = 50;
// How often the open window looks at the connections still draining.
constexpr UINT kSweepMs = 1000;
// A printer that still talks may still be reading the last job, which a close now would cut
// short; a new job waits this long for it before closing it anyway.
constexpr DWORD kTalkingPrinterMs = 30 * 1000;

// Takes the next message of the kinds `kinds` (PM_QS_*) names, or of those from `first` to
// `last`. A quit comes whatever the filter; it belongs to the message loop outside, so it is
// posted again and ends this turn.
bool TakeMessage(MSG& message, UINT first, UINT last, UINT kinds) {
    if (!PeekMessageA(&message, nullptr, first, last, PM_REMOVE | kinds)) return false;
    if (message.message != WM_QUIT) return true;
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
}

// Painting, messages other windows send and the drain's own, nothing else posted: no command
// posted by another program can start a second job inside this one. With `userInput`, also the
// mouse and the keyboard, through the dialog's keyboard interface, and a close request: a
// click or key reaches only the controls that are enabled.
void PumpFor(DWORD milliseconds, bool userInput) {
    // Posted messages left for later never wake this wait: it must not spin on them.
    DWORD wake = QS_PAINT | QS_SENDMESSAGE | (userInput ? QS_INPUT : 0);
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, wake, MWMO_INPUTAVAILABLE);
    MSG message;
    while (TakeMessage(message, WM_NET_DRAIN, WM_NET_DRAIN, 0)) DispatchMessageA(&message);
    UINT kinds = PM_QS_PAINT | PM_QS_SENDMESSAGE | (userInput ? PM_QS_INPUT : 0);
    // The characters keystrokes make (a mnemonic among them) and the close command come posted.
    while (TakeMessage(message, 0, 0, kinds) ||
           (userInput && (TakeMessage(message, WM_KEYFIRST, WM_KEYLAST, 0) ||
                          TakeMessage(message, WM_SYSCOMMAND, WM_SYSCOMMAND, 0) ||
                          TakeMessage(message, WM_CLOSE, WM_CLOSE, 0)))) {
        if (userInput && IsDialogMessageA(mainDialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

void EndDrainingTo(in_addr printer) {
    DWORD start = GetTickCount();
    while (SweepDrainingConnections(&printer) > 0 && GetTickCount() - start < kTalkingPrinterMs)
        PumpFor(kTurnMs, false);
    CloseDrainingConnections(&printer);
}

void DrainBeforeLeaving() {
    DWORD start = GetTickCount();
    while (SweepDrainingConnections() > 0 && GetTickCount() - start < deliveryBoundMs) {
        fd_set readable;
        FD_ZERO(&readable);
        WatchDrainingConnections(readable);
        timeval turn = {0, static_cast<long>(kTurnMs) * 1000};
        // A failing select, or one with nothing to watch, must not make this a busy loop.
        if (select(0, &readable, nullptr, nullptr, &turn) == SOCKET_ERROR) Sleep(kTurnMs);
    }
    CloseDrainingConnections();
}

void StartSweeping() { SetTimer(mainDialog, kSweepTimer, kSweepMs, nullptr); }

void OnSweepTimer() {
    if (SweepDrainingConnections() == 0) KillTimer(mainDialog, kSweepTimer);
}

int AwaitDelivery(bool (*userLeft)()) {
    int error = 0;
    Delivery result;
    DWORD start = GetTickCount();
    while ((result = AwaitedDelivery(error)) == Delivery::Delivering) {
        // The window is gone: the rest happens unseen, as after Exit.
        if (userLeft()) return 0;
        if (GetTickCount() - start >= deliveryBoundMs) {
            AbandonAwaitedJob(WSAETIMEDOUT);
            result = Delivery::Failed;
            error = WSAETIMEDOUT;
            break;
        }
        PumpFor(kTurnMs, true);
    }
    ForgetAwaitedJob();
    if (result != Delivery::Failed) return 1;
    displayWSAErrorCode("send", error);
    return 0;
}

bool DeliveryFailed() {
    int error = 0;
    return AwaitedDelivery(error) == Delivery::Failed;
}
