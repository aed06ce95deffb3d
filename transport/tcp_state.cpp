#include "transport/tcp_state.h"

#include <cstdlib>

#include "base/system_library.h"

namespace {

// The table's rows and states, as the IP helper library lays them out.
struct TcpRow {
    DWORD state;
    DWORD localAddress;
    DWORD localPort; // network byte order, in the low 16 bits
    DWORD remoteAddress;
    DWORD remotePort;
};
struct TcpTable {
    DWORD entries;
    TcpRow rows[1];
};
using GetTcpTableFunction = ULONG(WINAPI*)(TcpTable*, ULONG*, BOOL);

GetTcpTableFunction TableReader() {
    // Loaded on the first network job only, and from the system folder.
    static GetTcpTableFunction reader =
        ExportOf<GetTcpTableFunction>(LoadSystemLibrary("iphlpapi.dll"), "GetTcpTable");
    return reader;
}

bool Matches(const TcpRow& row, const Endpoints& c) {
    return row.localAddress == c.local.sin_addr.s_addr &&
           static_cast<u_short>(row.localPort) == c.local.sin_port &&
           row.remoteAddress == c.remote.sin_addr.s_addr &&
           static_cast<u_short>(row.remotePort) == c.remote.sin_port;
}

// The table's buffer, kept from one look to the next and sized from the table's last answer
// with room to spare: a look is one call, even while the table grows a little.
TcpTable* buffer;
ULONG capacity;

TcpTable* ReadTable(GetTcpTableFunction reader) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        ULONG size = capacity;
        ULONG result = reader(buffer, &size, FALSE);
        if (result == NO_ERROR && buffer != nullptr) return buffer;
        if (result != ERROR_INSUFFICIENT_BUFFER && buffer != nullptr) return nullptr;
        free(buffer);
        capacity = size + size / 4 + 4096;
        buffer = static_cast<TcpTable*>(malloc(capacity));
        if (buffer == nullptr) {
            capacity = 0;
            return nullptr;
        }
    }
    return nullptr;
}

} // namespace

TableRow ReadTcpEnd(const Endpoints& connection) {
    // Without our own end the connection cannot be found.
    if (connection.local.sin_port == 0) return TableRow::Unreadable;
    GetTcpTableFunction reader = TableReader();
    TcpTable* table = reader != nullptr ? ReadTable(reader) : nullptr;
    if (table == nullptr) return TableRow::Unreadable;
    // A connection of the same ends that finished earlier may linger in TIME_WAIT beside the
    // live one: any other row of those ends is the live one's.
    TableRow found = TableRow::Missing;
    for (DWORD i = 0; i < table->entries; ++i) {
        if (!Matches(table->rows[i], connection)) continue;
        TableRow row = RowForState(table->rows[i].state);
        if (found == TableRow::Missing || row != TableRow::OurEndAcknowledged) found = row;
    }
    return found;
}
