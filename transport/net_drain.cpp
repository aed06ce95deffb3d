#include "transport/net_drain.h"

#include <utility>

#include "app/updater_state.h"
#include "transport/socket_handle.h"

namespace {

constexpr int kReadBuffer = 4096;
// About 1 MB per message: a printer that never stops talking cannot hold the dialog.
constexpr int kReadsPerTurn = 256;
// Jobs in one run that may drain at once; a printer that keeps every connection open costs one
// entry per job, and one is closed, in turn, only when all are taken.
constexpr int kMostConnections = 32;

UniqueSocket draining[kMostConnections];
int nextToClose;

UniqueSocket* Find(SOCKET socket) {
    for (UniqueSocket& slot : draining)
        if (slot.valid() && slot.get() == socket) return &slot;
    return nullptr;
}

// Drops what is readable and closes; used when a connection must end now.
void Finish(UniqueSocket& slot) {
    DrainReadable(slot.get(), ::recv);
    slot.reset();
}

// A free entry; when every one holds an open connection, the next in turn is read dry and
// closed to make room.
UniqueSocket& FreeSlot() {
    for (UniqueSocket& slot : draining)
        if (!slot.valid()) return slot;
    UniqueSocket& taken = draining[nextToClose];
    nextToClose = (nextToClose + 1) % kMostConnections;
    Finish(taken);
    return taken;
}

} // namespace

DrainResult DrainReadable(SOCKET socket, RecvFunction recvFn) {
    char dropped[kReadBuffer];
    for (int read = 0; read < kReadsPerTurn; ++read) {
        int got = recvFn(socket, dropped, sizeof dropped, 0);
        if (got > 0) continue;
        if (got == 0) return DrainResult::Finished;
        // A reset after the last byte was handed over is no failure of the send.
        return WSAGetLastError() == WSAEWOULDBLOCK ? DrainResult::Open : DrainResult::Finished;
    }
    return DrainResult::Open;
}

void KeepDraining(SOCKET socket) {
    UniqueSocket owned(socket);
    // Bytes already waiting, or a close already seen, are announced by a message too; reading
    // them now as well does no harm.
    if (WSAAsyncSelect(socket, mainDialog, WM_NET_DRAIN, FD_READ | FD_CLOSE) == 0 &&
        DrainReadable(socket, ::recv) == DrainResult::Finished)
        return;
    FreeSlot() = std::move(owned);
}

void OnNetDrain(WPARAM socket, LPARAM) {
    // A message may come for a socket already closed, whose number a new one may have taken.
    // The reads decide, not the event: a stale close must not end a newer connection.
    UniqueSocket* slot = Find(static_cast<SOCKET>(socket));
    if (slot != nullptr && DrainReadable(slot->get(), ::recv) == DrainResult::Finished)
        slot->reset();
}

void CloseDrainingConnections() {
    for (UniqueSocket& slot : draining)
        if (slot.valid()) Finish(slot);
}
