#pragma once
#include <winsock.h>

// A printer on port 9100 may send status bytes back at any time. Closing a socket with such bytes
// unread makes the close a reset, and the printer's side then drops whatever part of the job it
// had not read yet. So after the last byte and the half-close, the connection stays open, and
// whatever the printer sends is read and dropped, until the printer closes its end.

// Posted to the main dialog by the socket library when a draining connection has bytes to read
// or the printer has closed it.
constexpr UINT WM_NET_DRAIN = WM_APP + 1;

// A connection quiet this long, with nothing unread, may be closed: the close sends no reset,
// and the system still delivers what it holds for the printer. Longer than the 5 s at which
// printers' timed status reports come at their most frequent, so a printer still reading and
// reporting on a timer is not taken for one that has finished.
constexpr DWORD kQuietMs = 6000;

using RecvFunction = int(PASCAL*)(SOCKET, char*, int, int);

enum class DrainResult {
    Open,    // nothing to read now; the printer may still send or close
    Heard,   // as Open, after reading what the printer sent
    Finished // the printer closed or reset its end: the connection is done
};

// Reads and drops what the printer sent, without blocking, until a read would block or the
// printer's end is closed. Stops early after a bounded amount, so the dialog is never held; the
// socket library announces what is left with another message.
DrainResult DrainReadable(SOCKET socket, RecvFunction recvFn);

// The calls the draining connections make, so a test can stand in for them.
struct DrainCalls {
    RecvFunction recv;
    decltype(&::closesocket) close;
    decltype(&::WSAAsyncSelect) announce;
    decltype(&::GetTickCount) now;
};
extern DrainCalls drainCalls;

// Takes ownership of a connected socket to `printer` whose sending side is shut down, and keeps
// it open, draining, until the printer closes its end or it is closed below. Returns at once.
void KeepDraining(SOCKET socket, in_addr printer);

// WM_NET_DRAIN: wParam is the socket.
void OnNetDrain(WPARAM socket, LPARAM event);

// One turn over the connections still draining (to `printer` only, when given): reads what each
// printer sent, and closes those the printer closed and those quiet for kQuietMs. Returns how
// many stay open.
int SweepDrainingConnections(const in_addr* printer = nullptr);

// Reads what is waiting on every connection still open (to `printer` only, when given), then
// closes them.
void CloseDrainingConnections(const in_addr* printer = nullptr);

// Adds every connection still open to `set`, for select().
void WatchDrainingConnections(fd_set& set);
