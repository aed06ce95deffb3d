#pragma once
#include <winsock.h>

// Both ends of a connection, as the system's TCP table names them.
struct Endpoints {
    sockaddr_in local;
    sockaddr_in remote;
};

enum class TcpEnd {
    Unacknowledged,     // bytes or the end of the job still wait for the printer's acknowledgement
    PrinterClosedFirst, // as Unacknowledged, after the printer had closed its side
    Acknowledged,       // the printer has acknowledged every byte and the end of the job
    Gone                // the connection has left the table: finished in order, or reset
};

// Where a connection whose sending side we shut down stands, read from the system's TCP table:
// once the printer has acknowledged our end of the job, our side only waits for the printer's
// end (FIN_WAIT2) or has finished (TIME_WAIT). Before our own close, CLOSE_WAIT tells that the
// printer closed first. When the table cannot be read, or our end is unknown, the job is taken
// as acknowledged, as a send the system took whole always was.
TcpEnd ReadTcpEnd(const Endpoints& connection);
