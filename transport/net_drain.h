#pragma once
#include <winsock.h>

// A printer on port 9100 may send status bytes back at any time. Closing a socket with such bytes
// unread makes the close a reset, and the printer's side then drops whatever part of the job it
// had not read yet. So after the last byte and the half-close, the connection stays open, and
// whatever the printer sends is read and dropped, until the printer closes its end.

// Posted to the main dialog by the socket library when a draining connection has bytes to read
// or the printer has closed it.
constexpr UINT WM_NET_DRAIN = WM_APP + 1;

using RecvFunction = int(PASCAL*)(SOCKET, char*, int, int);

enum class DrainResult {
    Open,    // nothing more to read for now; the printer may still send or close
    Finished // the printer closed or reset its end: the connection is done
};

// Reads and drops what the printer sent, without blocking, until a read would block or the
// printer's end is closed. Stops early after a bounded amount, so the dialog is never held; the
// socket library announces what is left with another message.
DrainResult DrainReadable(SOCKET socket, RecvFunction recvFn);

// Takes ownership of a connected socket whose sending side is shut down, and keeps it open,
// draining, until the printer closes its end or the updater ends. Returns at once.
void KeepDraining(SOCKET socket);

// WM_NET_DRAIN: wParam is the socket.
void OnNetDrain(WPARAM socket, LPARAM event);

// The updater ends: reads what is waiting on every connection still open, then closes them.
void CloseDrainingConnections();
