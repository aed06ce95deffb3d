#pragma once
#include <winsock.h>

#include <cstdint>

using SendFunction = int(PASCAL*)(SOCKET, const char*, int, int);

// Sends the whole range, calling `sendFn` again for whatever a call did not take. Returns 1 when
// every byte went, 0 on the first error (the socket library's last error is left as it set it).
int SendAll(SOCKET socket, const uint8_t* data, uint32_t length, SendFunction sendFn);
