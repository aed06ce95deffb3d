#include "transport/net_drain.h"

#include <utility>

#include "base/unique_handle.h"
#include "base/updater_state.h"
#include "transport/socket_handle.h"

DrainCalls drainCalls = {::recv,       ::closesocket, ::WSAAsyncSelect, ::GetTickCount,
                         ::getsockopt, ReadTcpEnd,    ::setsockopt};

namespace {

constexpr int kReadBuffer = 4096;
// About 1 MB per turn: a printer that never stops talking cannot hold the dialog.
constexpr int kReadsPerTurn = 256;
// Jobs in one run that may drain at once; a printer that keeps every connection open costs one
// entry per job, and the one quiet longest is closed only when all are taken.
constexpr int kMostConnections = 32;
// The table is read at every look in a job's first second, when most jobs end, and then at most
// twice a second, and less often where a read is costly: on a machine with many connections each
// read copies the whole table (and the system may search every process for its owners), so the
// reads take at most a fortieth of the time.
constexpr DWORD kEagerLooksMs = 1000;
constexpr DWORD kLookEveryMs = 500;
constexpr DWORD kLookCostShare = 40;

struct DrainedSocketTraits {
    using Handle = SOCKET;
    static Handle invalid() { return INVALID_SOCKET; }
    static void close(Handle s) { drainCalls.close(s); }
};

struct Connection {
    UniqueHandle<DrainedSocketTraits> socket;
    Endpoints ends;
    DWORD handedAt;
    DWORD lastLook;
    DWORD lastHeard;
    unsigned serial; // order of hand-over
    EndSeen seen;    // seen.acknowledged: the printer has every byte and the end of the job
    bool printerEnded; // the printer closed its sending side
};

Connection draining[kMostConnections];
unsigned handedOver;
unsigned awaited; // serial of the job whose delivery the dialog waits for
Delivery awaitedResult = Delivery::None;
int awaitedError;
// How long to wait between reads of the table once a job's first second has passed.
DWORD lookEveryMs = kLookEveryMs;
// Decided once per run: this system's table lists a half-closed connection in none of the
// closing states, so it cannot tell an acknowledged end from an unacknowledged one.
bool tableCannotTell;

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

// The table's row for the connection, when it is time for another look.
TableRow Look(Connection& c) {
    if (c.seen.acknowledged || tableCannotTell) return TableRow::NotRead;
    DWORD now = drainCalls.now();
    if (now - c.handedAt >= kEagerLooksMs && now - c.lastLook < lookEveryMs)
        return TableRow::NotRead;
    TableRow row = drainCalls.tcpEnd(c.ends);
    c.lastLook = drainCalls.now();
    DWORD took = c.lastLook - now;
    lookEveryMs = took * kLookCostShare > kLookEveryMs ? took * kLookCostShare : kLookEveryMs;
    return row;
}

// Reads and drops what the printer sent, every turn, also after its end of stream: where the
// system reports a later reset at all, the connection's error or a read tells it.
SocketRead ReadSocket(Connection& c, int& error) {
    error = PendingError(c.socket.get(), drainCalls.getsockopt);
    if (error != 0) return SocketRead::Failed;
    DrainResult read = DrainReadable(c.socket.get(), drainCalls.recv);
    if (read == DrainResult::Reset) {
        error = WSAGetLastError();
        return SocketRead::Failed;
    }
    if (read == DrainResult::Heard) c.lastHeard = drainCalls.now();
    if (read != DrainResult::Closed) return SocketRead::Open;
    if (!c.printerEnded) {
        c.printerEnded = true;
        // The socket stays readable from now on: no more messages for it; sweeps look at it.
        drainCalls.announce(c.socket.get(), mainDialog, 0, 0);
    }
    return SocketRead::PrinterEnded;
}

// Acts on a look's outcome: a failed connection is closed, and so is a delivered one whose
// printer has closed its side.
void Conclude(Connection& c, Outcome outcome, SocketRead read, int error) {
    if (outcome == Outcome::Failed) Settle(c, Delivery::Failed, error);
    if (outcome == Outcome::Delivered) Settle(c, Delivery::Delivered, 0);
    if (outcome == Outcome::Failed || read == SocketRead::Failed ||
        (outcome == Outcome::Delivered && c.printerEnded))
        c.socket.reset();
}

// Looks at the table first, then reads: a failure the read finds came after what the table
// showed.
void Update(Connection& c) {
    TableRow row = Look(c);
    int error = 0;
    SocketRead read = ReadSocket(c, error);
    Outcome outcome = JudgeLook(c.seen, row, read, !tableCannotTell);
    // Leaving the table unacknowledged is a reset that no read has reported.
    Conclude(c, outcome, read, read == SocketRead::Failed ? error : WSAECONNRESET);
}

// Drops what is readable and closes; used when a connection must end now.
void Finish(Connection& c) {
    if (!c.printerEnded) DrainReadable(c.socket.get(), drainCalls.recv);
    if (!c.seen.acknowledged) Settle(c, Delivery::Failed, WSAECONNABORTED);
    c.socket.reset();
}

// Whether `a` is the better one to close: a delivered one before one still delivering, then the
// one quiet longer, then the older.
bool CloseSooner(const Connection& a, const Connection& b) {
    if (a.seen.acknowledged != b.seen.acknowledged) return a.seen.acknowledged;
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

void KeepDraining(SOCKET socket, const Endpoints& ends, bool printerClosedFirst,
                  TableRow firstLook) {
    if (ShowsTableCannotTell(firstLook)) tableCannotTell = true;
    DWORD now = drainCalls.now();
    Connection owned = {UniqueHandle<DrainedSocketTraits>(socket), ends, now, now, now,
                        ++handedOver, EndSeen{false, printerClosedFirst}, false};
    awaited = owned.serial;
    awaitedResult = Delivery::Delivering;
    // Messages only hasten the reads: without them the sweeps still read every connection. The
    // first read comes with the next wait's turn, once the system has had time to pass on the
    // end of the job.
    drainCalls.announce(socket, mainDialog, WM_NET_DRAIN, FD_READ | FD_CLOSE);
    Connection& c = FreeSlot();
    c = std::move(owned);
    Conclude(c, JudgeLook(c.seen, firstLook, SocketRead::Open, !tableCannotTell),
             SocketRead::Open, WSAECONNRESET);
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

void AbandonAwaitedJob(int error) {
    for (Connection& c : draining) {
        if (!c.socket.valid() || c.serial != awaited) continue;
        ResetOnClose(c.socket.get(), drainCalls.setsockopt);
        Settle(c, Delivery::Failed, error);
        c.socket.reset();
    }
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
        if (c.socket.valid() && c.seen.acknowledged && drainCalls.now() - c.lastHeard >= kQuietMs)
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
