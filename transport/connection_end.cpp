#include "transport/connection_end.h"

namespace {

// The state numbers of the system's TCP table.
constexpr uint32_t kClosed = 1;
constexpr uint32_t kEstablished = 5;
constexpr uint32_t kFinWait1 = 6;
constexpr uint32_t kFinWait2 = 7;
constexpr uint32_t kCloseWait = 8;
constexpr uint32_t kClosing = 9;
constexpr uint32_t kLastAck = 10;
constexpr uint32_t kTimeWait = 11;

} // namespace

TableRow RowForState(uint32_t state) {
    switch (state) {
    case kClosed:
        return TableRow::Ended;
    case kEstablished:
        return TableRow::Established;
    case kFinWait1:
    case kClosing:
        return TableRow::SendingOurEnd;
    case kFinWait2:
    case kTimeWait:
        return TableRow::OurEndAcknowledged;
    case kCloseWait:
    case kLastAck:
        return TableRow::PrinterClosedFirst;
    default:
        return TableRow::SaysNothing;
    }
}

Outcome JudgeLook(EndSeen& seen, TableRow row, SocketRead read, bool tableTells) {
    if (seen.acknowledged) return Outcome::Delivered;
    // The table is read before the socket: a failure the read finds came after what the table
    // showed, so a reset after the acknowledgement costs nothing.
    if (row == TableRow::OurEndAcknowledged) {
        seen.acknowledged = true;
        return Outcome::Delivered;
    }
    if (read == SocketRead::Failed) return Outcome::Failed;
    if (!tableTells) { // all there is to know: the system took the job whole
        seen.acknowledged = true;
        return Outcome::Delivered;
    }
    if (row == TableRow::PrinterClosedFirst) seen.printerClosedFirst = true;
    // An orderly end after our close stays listed (TIME_WAIT): leaving straight from awaiting
    // the acknowledgement is a reset.
    if (row == TableRow::Missing && !seen.printerClosedFirst) return Outcome::Failed;
    if (row != TableRow::Missing && row != TableRow::Ended) return Outcome::Delivering;
    // After the printer's close an orderly end and a reset both leave the table at once, and a
    // table that lists ended connections shows both alike: only a read that reports the reset
    // tells them apart, and an end of stream with no error is taken as the orderly end.
    if (read == SocketRead::PrinterEnded) {
        seen.acknowledged = true;
        return Outcome::Delivered;
    }
    return Outcome::Delivering;
}

bool ShowsTableCannotTell(TableRow firstLookAfterOurClose) {
    return firstLookAfterOurClose == TableRow::Established;
}
