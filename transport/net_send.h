#pragma once
#include <winsock.h>

#include <cstdint>

using SendFunction = int(PASCAL*)(SOCKET, const char*, int, int);
// Waits until the socket can take more bytes or has failed; 0 on success, as select() answers.
using WaitFunction = int (*)(SOCKET);

// Waits with select() for a non-blocking socket to become writable or to fail.
int WaitWritable(SOCKET socket);

// Sends the whole range over a non-blocking socket, calling `sendFn` again for whatever a call
// did not take and `waitFn` whenever the socket's buffer is full. Returns 1 when every byte
// went, 0 on the first error (the socket library's last error is left as it set it).
int SendAll(SOCKET socket, const uint8_t* data, uint32_t length, SendFunction sendFn,
            WaitFunction waitFn = WaitWritable);
