#include "transport/drain_wait.h"

#include "base/updater_state.h"
#include "transport/net_drain.h"
#include "transport/transport.h"
#include "ui/messages.h"

namespace {

constexpr DWORD kTurnMs = 50;
// How often the open window looks at the connections still draining.
constexpr UINT kSweepMs = 1000;
// A printer still talking after this long is taken to talk for ever.
constexpr DWORD kLongestStayMs = 3 * 60 * 1000;
// A printer that still talks may still be reading the last job, which a close now would cut
// short; a new job waits this long for it before closing it anyway.
constexpr DWORD kTalkingPrinterMs = 30 * 1000;

// Painting, messages other windows send and the drain's own, nothing else posted: no click or
// command, whether the user's or posted by another program, can start a second job inside
// this one.
void PaintFor(DWORD milliseconds) {
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_PAINT | QS_SENDMESSAGE,
                                MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_NET_DRAIN, WM_NET_DRAIN, PM_REMOVE))
        DispatchMessageA(&message);
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) {
        // A quit taken here belongs to the message loop outside.
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        DispatchMessageA(&message);
    }
}

} // namespace

void EndDrainingTo(in_addr printer) {
    DWORD start = GetTickCount();
    while (SweepDrainingConnections(&printer) > 0 && GetTickCount() - start < kTalkingPrinterMs)
        PaintFor(kTurnMs);
    CloseDrainingConnections(&printer);
}

void DrainBeforeLeaving() {
    DWORD start = GetTickCount();
    while (SweepDrainingConnections() > 0 && GetTickCount() - start < kLongestStayMs) {
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

int AwaitDelivery() {
    int error = 0;
    Delivery result;
    while ((result = AwaitedDelivery(error)) == Delivery::Delivering) PaintFor(kTurnMs);
    ForgetAwaitedJob();
    if (result != Delivery::Failed) return 1;
    displayWSAErrorCode("send", error);
    return 0;
}

bool DeliveryFailed() {
    int error = 0;
    return AwaitedDelivery(error) == Delivery::Failed;
}
