#pragma once
#include <winsock.h>

#include <cstdint>

using SendFunction = int(PASCAL*)(SOCKET, const char*, int, int);
// Waits until the socket can take more bytes or has failed; 0 on success, as select() answers.
using WaitFunction = int (*)(SOCKET);

// The socket calls the wait for room makes, so a test can stand in for them.
struct WaitCalls {
    decltype(&::select) select;
    decltype(&::getsockopt) getsockopt;
    decltype(&::recv) recv;
};

// Waits with select() for a non-blocking socket to become writable or to fail. A socket that
// turns readable was closed or reset by the printer: that is a failure (SOCKET_ERROR) with the
// connection's error as the socket library's last error. Bytes the printer sent back are
// dropped unread by the updater, and are no failure.
int WaitForRoom(SOCKET socket, const WaitCalls& calls);

// WaitForRoom with the socket library's own calls.
int WaitWritable(SOCKET socket);

// Sends the whole range over a non-blocking socket, calling `sendFn` again for whatever a call
// did not take and `waitFn` whenever the socket's buffer is full. Returns 1 when every byte
// went, 0 on the first error, with the socket library's last error telling which.
int SendAll(SOCKET socket, const uint8_t* data, uint32_t length, SendFunction sendFn,
            WaitFunction waitFn = WaitWritable);
