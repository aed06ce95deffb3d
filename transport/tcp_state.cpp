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
constexpr DWORD kFinWait1 = 6;
constexpr DWORD kCloseWait = 8;
constexpr DWORD kLastAck = 10;
constexpr DWORD kClosing = 9;

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

// The table, asked for its size first; it may grow between the two calls, so ask again then.
TcpTable* ReadTable(GetTcpTableFunction reader) {
    ULONG size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        TcpTable* table = size != 0 ? static_cast<TcpTable*>(malloc(size)) : nullptr;
        if (size != 0 && table == nullptr) return nullptr;
        ULONG result = reader(table, &size, FALSE);
        if (result == NO_ERROR && table != nullptr) return table;
        free(table);
        if (result != ERROR_INSUFFICIENT_BUFFER) return nullptr;
    }
    return nullptr;
}

} // namespace

TcpEnd ReadTcpEnd(const Endpoints& connection) {
    // Without our own end the connection cannot be found.
    if (connection.local.sin_port == 0) return TcpEnd::Acknowledged;
    GetTcpTableFunction reader = TableReader();
    TcpTable* table = reader != nullptr ? ReadTable(reader) : nullptr;
    if (table == nullptr) return TcpEnd::Acknowledged;
    TcpEnd end = TcpEnd::Gone;
    for (DWORD i = 0; i < table->entries; ++i) {
        if (!Matches(table->rows[i], connection)) continue;
        DWORD state = table->rows[i].state;
        // FIN_WAIT2 and TIME_WAIT: acknowledged. An old connection of the same ends may linger
        // in TIME_WAIT beside the live one. A table that shows a half-closed connection in none
        // of the closing states (some emulations list their own idea of it) cannot tell: taken
        // as acknowledged too.
        if (state == kFinWait1 || state == kClosing)
            end = TcpEnd::Unacknowledged;
        else if (state == kCloseWait || state == kLastAck)
            end = TcpEnd::PrinterClosedFirst;
        else if (end == TcpEnd::Gone)
            end = TcpEnd::Acknowledged;
    }
    free(table);
    return end;
}
