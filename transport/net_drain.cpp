#include "transport/net_drain.h"

#include <utility>

#include "base/unique_handle.h"
#include "base/updater_state.h"

DrainCalls drainCalls = {::recv, ::closesocket, ::WSAAsyncSelect, ::GetTickCount};

namespace {

constexpr int kReadBuffer = 4096;
// About 1 MB per message: a printer that never stops talking cannot hold the dialog.
constexpr int kReadsPerTurn = 256;
// Jobs in one run that may drain at once; a printer that keeps every connection open costs one
// entry per job, and one is closed, in turn, only when all are taken.
constexpr int kMostConnections = 32;

struct DrainedSocketTraits {
    using Handle = SOCKET;
    static Handle invalid() { return INVALID_SOCKET; }
    static void close(Handle s) { drainCalls.close(s); }
};

struct Connection {
    UniqueHandle<DrainedSocketTraits> socket;
    in_addr printer;
    DWORD lastHeard;
};

Connection draining[kMostConnections];
int nextToClose;

Connection* Find(SOCKET socket) {
    for (Connection& c : draining)
        if (c.socket.valid() && c.socket.get() == socket) return &c;
    return nullptr;
}

bool GoesTo(const Connection& c, const in_addr* printer) {
    return c.socket.valid() && (printer == nullptr || c.printer.s_addr == printer->s_addr);
}

// Reads what the printer sent; the connection ends once the printer has closed its end.
DrainResult Read(Connection& c) {
    DrainResult result = DrainReadable(c.socket.get(), drainCalls.recv);
    if (result == DrainResult::Heard) c.lastHeard = drainCalls.now();
    if (result == DrainResult::Finished) c.socket.reset();
    return result;
}

// Drops what is readable and closes; used when a connection must end now.
void Finish(Connection& c) {
    DrainReadable(c.socket.get(), drainCalls.recv);
    c.socket.reset();
}

// A free entry; when every one holds an open connection, the next in turn is read dry and
// closed to make room.
Connection& FreeSlot() {
    for (Connection& c : draining)
        if (!c.socket.valid()) return c;
    Connection& taken = draining[nextToClose];
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
        if (WSAGetLastError() != WSAEWOULDBLOCK) return DrainResult::Finished;
        return read > 0 ? DrainResult::Heard : DrainResult::Open;
    }
    return DrainResult::Heard;
}

void KeepDraining(SOCKET socket, in_addr printer) {
    Connection owned = {UniqueHandle<DrainedSocketTraits>(socket), printer, drainCalls.now()};
    // No message would ever come for it, so nothing would read it or see the printer close it.
    if (drainCalls.announce(socket, mainDialog, WM_NET_DRAIN, FD_READ | FD_CLOSE) != 0) {
        Finish(owned);
        return;
    }
    // Bytes already waiting, or a close already seen, are announced by a message too; reading
    // them now as well does no harm.
    if (Read(owned) == DrainResult::Finished) return;
    FreeSlot() = std::move(owned);
}

void OnNetDrain(WPARAM socket, LPARAM) {
    // A message may come for a socket already closed, whose number a new one may have taken.
    // The reads decide, not the event: a stale close must not end a newer connection.
    Connection* c = Find(static_cast<SOCKET>(socket));
    if (c != nullptr) Read(*c);
}

int SweepDrainingConnections(const in_addr* printer) {
    int open = 0;
    for (Connection& c : draining) {
        if (!GoesTo(c, printer)) continue;
        // Nothing unread, so the close sends no reset; and after so long a silence the printer
        // is most likely not about to talk, which would meet a closed socket.
        if (Read(c) == DrainResult::Open && drainCalls.now() - c.lastHeard >= kQuietMs)
            c.socket.reset();
        if (c.socket.valid()) ++open;
    }
    return open;
}

void CloseDrainingConnections(const in_addr* printer) {
    for (Connection& c : draining)
        if (GoesTo(c, printer)) Finish(c);
}

void WatchDrainingConnections(fd_set& set) {
    for (Connection& c : draining)
        if (c.socket.valid()) FD_SET(c.socket.get(), &set);
}
