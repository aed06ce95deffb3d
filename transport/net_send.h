#pragma once
#include <winsock.h>

#include <cstdint>

using SendFunction = int(PASCAL*)(SOCKET, const char*, int, int);
// Waits until the socket can take more bytes or has failed; 0 on success, as select() answers.
// `printerEnded` records, across the waits of one send, that the printer closed its side.
using WaitFunction = int (*)(SOCKET, bool& printerEnded);

// The socket calls the wait for room makes, so a test can stand in for them.
struct WaitCalls {
    decltype(&::select) select;
    decltype(&::getsockopt) getsockopt;
    decltype(&::recv) recv;
};

// Waits with select(), a second at most, for a non-blocking socket to become writable or to
// fail; 0 also when the time is up, so the caller can look at the clock. A reset by the
// printer is a failure (SOCKET_ERROR) with the connection's error as the socket library's last
// error. Bytes the printer sent back are dropped unread, and are no failure; nor is the printer
// closing its sending side, since it may still read the rest of the job.
int WaitForRoom(SOCKET socket, const WaitCalls& calls, bool& printerEnded);

// WaitForRoom with the socket library's own calls.
int WaitWritable(SOCKET socket, bool& printerEnded);

// Sends the whole range over a non-blocking socket, calling `sendFn` again for whatever a call
// did not take and `waitFn` whenever the socket's buffer is full. Returns 1 when every byte
// went, 0 on the first error, with the socket library's last error telling which: WSAETIMEDOUT
// when the socket took nothing for deliveryBoundMs.
int SendAll(SOCKET socket, const uint8_t* data, uint32_t length, SendFunction sendFn,
            WaitFunction waitFn = WaitWritable);
