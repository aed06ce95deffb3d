#pragma once
#include <winsock.h>

#include "transport/tcp_state.h"

// A printer on port 9100 may send status bytes back at any time. Closing a socket with such bytes
// unread makes the close a reset, and the printer's side then drops whatever part of the job it
// had not read yet. So after the last byte and the half-close, the connection stays open, and
// whatever the printer sends is read and dropped, until the printer closes its end.
//
// The system takes the last byte into its buffers long before a slow printer has it. A job is
// delivered only once the printer has acknowledged every byte and the end of the job; a reset
// before that is the job's failure, a reset after it is no failure.

// Posted to the main dialog by the socket library when a draining connection has bytes to read
// or the printer has closed it.
constexpr UINT WM_NET_DRAIN = WM_APP + 1;

// A delivered connection quiet this long, with nothing unread, may be closed: the close sends no
// reset. Longer than the 5 s at which printers' timed status reports come at their most
// frequent, so a printer still reporting on a timer is not taken for one that has finished.
constexpr DWORD kQuietMs = 6000;

using RecvFunction = int(PASCAL*)(SOCKET, char*, int, int);

enum class DrainResult {
    Open,   // nothing to read now; the printer may still send or close
    Heard,  // as Open, after reading what the printer sent
    Closed, // the printer closed its sending side: it may still be reading
    Reset   // the connection failed; the socket library's last error says how
};

// The connection's pending error, taken and cleared; 0 when there is none.
int PendingError(SOCKET socket, decltype(&::getsockopt) getsockoptFn);

// Reads and drops what the printer sent, without blocking, until a read would block or the
// printer's end is closed. Stops early after a bounded amount, so the dialog is never held; the
// next turn, or the socket library's next message, reads what is left.
DrainResult DrainReadable(SOCKET socket, RecvFunction recvFn);

// The calls the draining connections make, so a test can stand in for them.
struct DrainCalls {
    RecvFunction recv;
    decltype(&::closesocket) close;
    decltype(&::WSAAsyncSelect) announce;
    decltype(&::GetTickCount) now;
    decltype(&::getsockopt) getsockopt;
    decltype(&ReadTcpEnd) tcpEnd;
    decltype(&::setsockopt) setsockopt;
};
extern DrainCalls drainCalls;

// Takes ownership of a connected socket whose sending side is shut down, and keeps it open,
// draining, until the printer has every byte and closes its end or falls quiet, or it is
// closed below. `printerClosedFirst`: the printer had closed its side before ours;
// `firstLook`: the table's row for it right after our close. It becomes the job whose delivery
// AwaitedDelivery tells. Returns at once.
void KeepDraining(SOCKET socket, const Endpoints& connection, bool printerClosedFirst,
                  TableRow firstLook);

// WM_NET_DRAIN: wParam is the socket.
void OnNetDrain(WPARAM socket, LPARAM event);

enum class Delivery { None, Delivering, Delivered, Failed };

// How far the last job handed to KeepDraining got, looked at now; with Failed, `error` is the
// connection's error. None once ForgetAwaitedJob has run.
Delivery AwaitedDelivery(int& error);
void ForgetAwaitedJob();
// Ends the awaited job's connection with a reset; its delivery fails with `error`.
void AbandonAwaitedJob(int error);

// One turn over the connections still draining (to `printer` only, when given): reads what each
// printer sent, and closes those whose printer has everything and closed or fell quiet for
// kQuietMs. Returns how many stay open.
int SweepDrainingConnections(const in_addr* printer = nullptr);

// Reads what is waiting on every connection still open (to `printer` only, when given), then
// closes them.
void CloseDrainingConnections(const in_addr* printer = nullptr);

// Adds every connection that can still turn readable to `set`, for select().
void WatchDrainingConnections(fd_set& set);
