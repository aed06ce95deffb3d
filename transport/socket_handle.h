#pragma once
#include <winsock.h>

#include "base/unique_handle.h"

struct SocketTraits {
    using Handle = SOCKET;
    static Handle invalid() { return INVALID_SOCKET; }
    static void close(Handle s) { closesocket(s); }
};

using UniqueSocket = UniqueHandle<SocketTraits>;
