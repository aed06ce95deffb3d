#pragma once
#include <winsock.h>

#include "transport/connection_end.h"

// Both ends of a connection, as the system's TCP table names them.
struct Endpoints {
    sockaddr_in local;
    sockaddr_in remote;
};

// What the system's TCP table shows of a connection now. Unreadable when the table cannot be
// read or our own end is unknown; Missing when it is not listed.
TableRow ReadTcpEnd(const Endpoints& connection);
