#include <gtest/gtest.h>

#include <vector>

#include "transport/connection_end.h"

namespace {

using R = TableRow;
using S = SocketRead;
using O = Outcome;

struct Look {
    TableRow row;
    SocketRead read;
    Outcome expected;
};

struct Sequence {
    const char* name;
    bool tableTells;
    std::vector<Look> looks;
};

const Sequence kSequences[] = {
    {"our close acknowledged; a reset after it costs nothing", true,
     {{R::SendingOurEnd, S::Open, O::Delivering}, {R::NotRead, S::Open, O::Delivering},
      {R::OurEndAcknowledged, S::Open, O::Delivered}, {R::Missing, S::Failed, O::Delivered}}},
    {"printer closed first, then acknowledged our end", true,
     {{R::PrinterClosedFirst, S::PrinterEnded, O::Delivering},
      {R::Missing, S::PrinterEnded, O::Delivered}}},
    {"printer closed first, then reset, as a read reports it", true,
     {{R::PrinterClosedFirst, S::PrinterEnded, O::Delivering},
      {R::NotRead, S::PrinterEnded, O::Delivering}, {R::Missing, S::Failed, O::Failed}}},
    {"printer closed first, reset while still listed", true,
     {{R::PrinterClosedFirst, S::Open, O::Delivering},
      {R::PrinterClosedFirst, S::Failed, O::Failed}}},
    {"reset while our end waits: gone with no read to tell", true,
     {{R::SendingOurEnd, S::Open, O::Delivering}, {R::Missing, S::Open, O::Failed}}},
    {"reset while our end waits, as a read reports it", true,
     {{R::SendingOurEnd, S::Failed, O::Failed}}},
    {"gone before the first look, the printer's close unseen", true,
     {{R::Missing, S::PrinterEnded, O::Failed}}},
    {"listed as ended: an end of stream without error is the orderly end", true,
     {{R::SendingOurEnd, S::Open, O::Delivering}, {R::Ended, S::Open, O::Delivering},
      {R::Ended, S::PrinterEnded, O::Delivered}}},
    {"listed as ended: a reset the read reports", true, {{R::Ended, S::Failed, O::Failed}}},
    {"unreadable table: look again, never delivered", true,
     {{R::Unreadable, S::Open, O::Delivering}, {R::Unreadable, S::PrinterEnded, O::Delivering},
      {R::NotRead, S::PrinterEnded, O::Delivering}, {R::Unreadable, S::Failed, O::Failed}}},
    {"states that say nothing: look again", true,
     {{R::SaysNothing, S::Open, O::Delivering}, {R::Established, S::PrinterEnded, O::Delivering},
      {R::OurEndAcknowledged, S::Open, O::Delivered}}},
    {"a table that cannot tell: the system took it", false,
     {{R::NotRead, S::Open, O::Delivered}, {R::NotRead, S::Failed, O::Delivered}}},
    {"a table that cannot tell, and a read that fails first", false,
     {{R::Established, S::Failed, O::Failed}}},
};

TEST(JudgeLook, EachSequenceOfLooksEndsAsThePrinterTookIt) {
    for (const Sequence& sequence : kSequences) {
        EndSeen seen;
        for (size_t i = 0; i < sequence.looks.size(); ++i) {
            const Look& look = sequence.looks[i];
            EXPECT_EQ(JudgeLook(seen, look.row, look.read, sequence.tableTells), look.expected)
                << sequence.name << ", look " << i;
        }
    }
    EndSeen closedFirst{false, true}; // known from a look before our close
    EXPECT_EQ(JudgeLook(closedFirst, R::Missing, S::Open, true), O::Delivering);
    EXPECT_EQ(JudgeLook(closedFirst, R::Missing, S::PrinterEnded, true), O::Delivered);
}

TEST(RowForState, TheTableStatesAsTheJudgementReadsThem) {
    const TableRow expected[] = {R::SaysNothing, R::Ended, R::SaysNothing, R::SaysNothing,
                                 R::SaysNothing, R::Established, R::SendingOurEnd,
                                 R::OurEndAcknowledged, R::PrinterClosedFirst, R::SendingOurEnd,
                                 R::PrinterClosedFirst, R::OurEndAcknowledged, R::SaysNothing};
    for (uint32_t state = 0; state < sizeof expected / sizeof expected[0]; ++state)
        EXPECT_EQ(RowForState(state), expected[state]) << "state " << state;
    EXPECT_TRUE(ShowsTableCannotTell(R::Established));
    EXPECT_FALSE(ShowsTableCannotTell(R::Ended));
}

} // namespace
