#include "transport/drain_wait.h"

#include "transport/net_drain.h"

namespace {

constexpr DWORD kTurnMs = 50;
// A printer still talking after this long is taken to talk for ever.
constexpr DWORD kLongestStayMs = 3 * 60 * 1000;
// A printer that still talks may still be reading the last job, which a close now would cut
// short; a new job waits this long for it before closing it anyway.
constexpr DWORD kTalkingPrinterMs = 30 * 1000;

// Painting and the socket library's messages, not input: a click waits until the job is sent,
// as it always has.
void DispatchFor(DWORD milliseconds) {
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds,
                                QS_POSTMESSAGE | QS_PAINT | QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0,
                        PM_REMOVE | PM_QS_POSTMESSAGE | PM_QS_PAINT | PM_QS_SENDMESSAGE))
        DispatchMessageA(&message);
}

} // namespace

void EndDrainingTo(in_addr printer) {
    DWORD start = GetTickCount();
    while (SweepDrainingConnections(&printer) > 0 && GetTickCount() - start < kTalkingPrinterMs)
        DispatchFor(kTurnMs);
    CloseDrainingConnections(&printer);
}

void DrainBeforeLeaving() {
    DWORD start = GetTickCount();
    while (SweepDrainingConnections() > 0 && GetTickCount() - start < kLongestStayMs) {
        fd_set readable;
        FD_ZERO(&readable);
        WatchDrainingConnections(readable);
        timeval turn = {0, static_cast<long>(kTurnMs) * 1000};
        // A failing select must not make this a busy loop.
        if (select(0, &readable, nullptr, nullptr, &turn) == SOCKET_ERROR) Sleep(kTurnMs);
    }
    CloseDrainingConnections();
}
