#pragma once
#include <cstdint>

// How far a network job got, judged from what the system's TCP table showed of its connection
// and what reads of the socket said, look by look. Portable: no socket calls, so every sequence
// can be tried without a printer.

// What one look at the table showed of our connection, after our sending side was shut down.
enum class TableRow {
    NotRead,            // not looked at this time
    Unreadable,         // the table could not be read, or our own end is unknown
    Missing,            // not listed: finished in order, or reset
    SendingOurEnd,      // FIN_WAIT1, CLOSING: bytes or our end of the job not acknowledged yet
    OurEndAcknowledged, // FIN_WAIT2, TIME_WAIT: the printer has every byte and our end
    PrinterClosedFirst, // CLOSE_WAIT, LAST_ACK: the printer closed its side before us
    Ended,              // CLOSED: listed, but over, in order or by a reset (some emulations)
    Established,        // a half-closed connection cannot be here: the table does not tell
    SaysNothing         // DELETE_TCB, anything else
};

// The row for a state number of the system's TCP table.
TableRow RowForState(uint32_t state);

// What a read of the socket said at the same look, after the table.
enum class SocketRead {
    Open,         // nothing to read, or bytes read and dropped
    PrinterEnded, // the printer's end of stream, with no error
    Failed        // an error: the connection was reset or aborted
};

enum class Outcome { Delivering, Delivered, Failed };

// What earlier looks at one connection established.
struct EndSeen {
    bool acknowledged = false;       // our end was acknowledged: nothing later undoes it
    bool printerClosedFirst = false; // the printer's close came before ours
};

// Judges one look. `tableTells`: whether this system's table shows a half-closed connection's
// states at all; where it does not, a job the system took whole counts as delivered unless a
// read fails. Nothing unknown counts as delivered.
Outcome JudgeLook(EndSeen& seen, TableRow row, SocketRead read, bool tableTells);

// Whether a look made right after our own close shows that the table cannot tell: a connection
// we have half-closed is in a closing state on a system whose table follows TCP.
bool ShowsTableCannotTell(TableRow firstLookAfterOurClose);
