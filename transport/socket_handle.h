#pragma once
#include <winsock.h>

#include "base/unique_handle.h"

struct SocketTraits {
    using Handle = SOCKET;
    static Handle invalid() { return INVALID_SOCKET; }
    static void close(Handle s) { closesocket(s); }
};

using UniqueSocket = UniqueHandle<SocketTraits>;

// Makes the socket's close a reset: the printer is told the job ended unfinished, where an
// orderly close would end it the way a whole one ends, and nothing more of it goes out.
inline void ResetOnClose(SOCKET s, decltype(&::setsockopt) setOption = ::setsockopt) {
    static const linger kAbort = {1, 0};
    setOption(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&kAbort), sizeof kAbort);
}
