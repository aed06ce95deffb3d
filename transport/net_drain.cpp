#include "transport/net_drain.h"

#include <utility>

#include "base/unique_handle.h"
#include "base/updater_state.h"

DrainCalls drainCalls = {::recv,       ::closesocket, ::WSAAsyncSelect, ::GetTickCount,
                         ::getsockopt, ReadTcpEnd};

namespace {

constexpr int kReadBuffer = 4096;
// About 1 MB per turn: a printer that never stops talking cannot hold the dialog.
constexpr int kReadsPerTurn = 256;
// Jobs in one run that may drain at once; a printer that keeps every connection open costs one
// entry per job, and the one quiet longest is closed only when all are taken.
constexpr int kMostConnections = 32;

struct DrainedSocketTraits {
    using Handle = SOCKET;
    static Handle invalid() { return INVALID_SOCKET; }
    static void close(Handle s) { drainCalls.close(s); }
};

struct Connection {
    UniqueHandle<DrainedSocketTraits> socket;
    Endpoints ends;
    DWORD lastHeard;
    unsigned serial;   // order of hand-over
    bool delivered;    // the printer has acknowledged every byte and the end of the job
    bool printerEnded; // the printer closed its sending side
    bool printerClosedFirst; // the printer's close came before ours
};

Connection draining[kMostConnections];
unsigned handedOver;
unsigned awaited; // serial of the job whose delivery the dialog waits for
Delivery awaitedResult = Delivery::None;
int awaitedError;

Connection* Find(SOCKET socket) {
    for (Connection& c : draining)
        if (c.socket.valid() && c.socket.get() == socket) return &c;
    return nullptr;
}

bool GoesTo(const Connection& c, const in_addr* printer) {
    return c.socket.valid() &&
           (printer == nullptr || c.ends.remote.sin_addr.s_addr == printer->s_addr);
}

void Settle(const Connection& c, Delivery result, int error) {
    if (c.serial != awaited || awaitedResult != Delivery::Delivering) return;
    awaitedResult = result;
    awaitedError = error;
}

// Once the printer has closed its side, the socket reads as at its end for good, and only
// the connection's pending error still tells of a reset.
DrainResult ReadPendingError(SOCKET socket) {
    int error = PendingError(socket, drainCalls.getsockopt);
    if (error == 0) return DrainResult::Open;
    WSASetLastError(error);
    return DrainResult::Reset;
}

// Reads what the printer sent and learns how far the job got. The table is read first: a
// reset the read then finds came after it, so the state read tells whether it cost bytes.
// Closes the connection once it is done: the printer has every byte and has closed its side,
// or the connection failed.
void Update(Connection& c) {
    TcpEnd end = c.delivered ? TcpEnd::Acknowledged : drainCalls.tcpEnd(c.ends);
    if (end == TcpEnd::Acknowledged) c.delivered = true;
    if (end == TcpEnd::PrinterClosedFirst) c.printerClosedFirst = true;
    DrainResult read = c.printerEnded ? ReadPendingError(c.socket.get())
                                      : DrainReadable(c.socket.get(), drainCalls.recv);
    // An orderly end leaves the connection in TIME_WAIT, in the table for minutes, unless the
    // printer closed first. Gone straight from awaiting the acknowledgement is a reset, however
    // a read shows it (the socket library may already have taken its error).
    if (end == TcpEnd::Gone && !c.printerClosedFirst && read != DrainResult::Reset) {
        WSASetLastError(WSAECONNRESET);
        read = DrainResult::Reset;
    }
    if (read == DrainResult::Reset) {
        if (!c.delivered) Settle(c, Delivery::Failed, WSAGetLastError());
        c.socket.reset();
        return;
    }
    if (end == TcpEnd::Gone) c.delivered = true;
    if (read == DrainResult::Heard) c.lastHeard = drainCalls.now();
    if (read == DrainResult::Closed && !c.printerEnded) {
        c.printerEnded = true;
        // The socket stays readable from now on: no more messages for it; sweeps look at it.
        drainCalls.announce(c.socket.get(), mainDialog, 0, 0);
    }
    if (c.delivered) Settle(c, Delivery::Delivered, 0);
    if (c.delivered && c.printerEnded) c.socket.reset();
}

// Drops what is readable and closes; used when a connection must end now.
void Finish(Connection& c) {
    if (!c.printerEnded) DrainReadable(c.socket.get(), drainCalls.recv);
    if (!c.delivered) Settle(c, Delivery::Failed, WSAECONNABORTED);
    c.socket.reset();
}

// Whether `a` is the better one to close: a delivered one before one still delivering, then the
// one quiet longer, then the older.
bool CloseSooner(const Connection& a, const Connection& b) {
    if (a.delivered != b.delivered) return a.delivered;
    DWORD now = drainCalls.now();
    if (now - a.lastHeard != now - b.lastHeard) return now - a.lastHeard > now - b.lastHeard;
    return a.serial < b.serial;
}

// A free entry; when every one holds an open connection, the one best closed is read dry and
// closed to make room.
Connection& FreeSlot() {
    Connection* chosen = nullptr;
    for (Connection& c : draining) {
        if (!c.socket.valid()) return c;
        if (chosen == nullptr || CloseSooner(c, *chosen)) chosen = &c;
    }
    Finish(*chosen);
    return *chosen;
}

} // namespace

int PendingError(SOCKET socket, decltype(&::getsockopt) getsockoptFn) {
    int error = 0;
    int size = sizeof error;
    if (getsockoptFn(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        return 0;
    return error;
}

DrainResult DrainReadable(SOCKET socket, RecvFunction recvFn) {
    char dropped[kReadBuffer];
    for (int read = 0; read < kReadsPerTurn; ++read) {
        int got = recvFn(socket, dropped, sizeof dropped, 0);
        if (got > 0) continue;
        if (got == 0) return DrainResult::Closed;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return DrainResult::Reset;
        return read > 0 ? DrainResult::Heard : DrainResult::Open;
    }
    return DrainResult::Heard;
}

void KeepDraining(SOCKET socket, const Endpoints& ends, bool printerClosedFirst) {
    Connection owned = {UniqueHandle<DrainedSocketTraits>(socket), ends, drainCalls.now(),
                        ++handedOver, false, false, printerClosedFirst};
    awaited = owned.serial;
    awaitedResult = Delivery::Delivering;
    // Messages only hasten the reads: without them the sweeps still read every connection. The
    // first look comes with the next wait's turn, once the system has had time to pass on the
    // end of the job.
    drainCalls.announce(socket, mainDialog, WM_NET_DRAIN, FD_READ | FD_CLOSE);
    FreeSlot() = std::move(owned);
}

void OnNetDrain(WPARAM socket, LPARAM) {
    // A message may come for a socket already closed, whose number a new one may have taken.
    // The reads decide, not the event: a stale close must not end a newer connection.
    Connection* c = Find(static_cast<SOCKET>(socket));
    if (c != nullptr) Update(*c);
}

Delivery AwaitedDelivery(int& error) {
    if (awaitedResult == Delivery::Delivering)
        for (Connection& c : draining)
            if (c.socket.valid() && c.serial == awaited) Update(c);
    error = awaitedError;
    return awaitedResult;
}

void ForgetAwaitedJob() {
    awaited = 0;
    awaitedResult = Delivery::None;
}

int SweepDrainingConnections(const in_addr* printer) {
    int open = 0;
    for (Connection& c : draining) {
        if (!GoesTo(c, printer)) continue;
        Update(c);
        // Every byte acknowledged and nothing unread, so the close sends no reset; and after so
        // long a silence the printer is most likely not about to talk, which would meet a closed
        // socket. A printer still taking the job may be silent far longer (erasing its flash).
        if (c.socket.valid() && c.delivered && drainCalls.now() - c.lastHeard >= kQuietMs)
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
        if (c.socket.valid() && !c.printerEnded) FD_SET(c.socket.get(), &set);
}
