#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "transport/net_drain.h"
#include "transport/net_send.h"
#include "transport/transport.h"

// The updater's executables each set how long a job waits for its printer.
const DWORD deliveryBoundMs = 1000;

namespace {

// A send that takes at most a few bytes a call and fails once a budget of calls is spent.
struct TrickleSend {
    static inline std::string received;
    static inline int callsLeft = 0;
    static inline int piece = 3;

    static int PASCAL Send(SOCKET, const char* data, int length, int flags) {
        EXPECT_EQ(flags, 0);
        if (callsLeft-- <= 0) {
            WSASetLastError(WSAECONNRESET);
            return SOCKET_ERROR;
        }
        int taken = length < piece ? length : piece;
        received.append(data, static_cast<size_t>(taken));
        return taken;
    }
};

const std::string kPayload = "The whole payload, in order, byte for byte.";

} // namespace

TEST(SendAll, KeepsSendingWhatASendDidNotTake) {
    TrickleSend::received.clear();
    TrickleSend::callsLeft = 1000;
    TrickleSend::piece = 3;
    EXPECT_EQ(SendAll(0, reinterpret_cast<const uint8_t*>(kPayload.data()),
                      static_cast<uint32_t>(kPayload.size()), TrickleSend::Send),
              1);
    EXPECT_EQ(TrickleSend::received, kPayload);
}

TEST(SendAll, AnErrorPartWayIsAFailureWithTheSocketError) {
    TrickleSend::received.clear();
    TrickleSend::callsLeft = 4;
    TrickleSend::piece = 5;
    EXPECT_EQ(SendAll(0, reinterpret_cast<const uint8_t*>(kPayload.data()),
                      static_cast<uint32_t>(kPayload.size()), TrickleSend::Send),
              0);
    EXPECT_EQ(TrickleSend::received, kPayload.substr(0, 20));
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST(SendAll, EmptyRangeSendsNothingAndSucceeds) {
    TrickleSend::received.clear();
    TrickleSend::callsLeft = 0;
    EXPECT_EQ(SendAll(0, nullptr, 0, TrickleSend::Send), 1);
    EXPECT_TRUE(TrickleSend::received.empty());
}

namespace {

// A send whose buffer is full on every other call, and a wait that counts how often it ran.
struct FullBufferSend {
    static inline std::string received;
    static inline int calls = 0;
    static inline int waits = 0;

    static int PASCAL Send(SOCKET, const char* data, int length, int) {
        if (calls++ % 2 == 0) {
            WSASetLastError(WSAEWOULDBLOCK);
            return SOCKET_ERROR;
        }
        int taken = length < 4 ? length : 4;
        received.append(data, static_cast<size_t>(taken));
        return taken;
    }
    static int Wait(SOCKET, bool&) { return ++waits, 0; }
    static int FailingWait(SOCKET, bool&) { return WSASetLastError(WSAENOTSOCK), SOCKET_ERROR; }
};

} // namespace

TEST(SendAll, WaitsForRoomWhenTheBufferIsFull) {
    FullBufferSend::received.clear();
    FullBufferSend::calls = FullBufferSend::waits = 0;
    EXPECT_EQ(SendAll(0, reinterpret_cast<const uint8_t*>(kPayload.data()),
                      static_cast<uint32_t>(kPayload.size()), FullBufferSend::Send,
                      FullBufferSend::Wait),
              1);
    EXPECT_EQ(FullBufferSend::received, kPayload);
    EXPECT_EQ(FullBufferSend::waits, static_cast<int>((kPayload.size() + 3) / 4));
}

TEST(SendAll, AFailedWaitIsAFailure) {
    FullBufferSend::received.clear();
    FullBufferSend::calls = 0;
    EXPECT_EQ(SendAll(0, reinterpret_cast<const uint8_t*>(kPayload.data()),
                      static_cast<uint32_t>(kPayload.size()), FullBufferSend::Send,
                      FullBufferSend::FailingWait),
              0);
    EXPECT_TRUE(FullBufferSend::received.empty());
}

namespace {

constexpr SOCKET kSocket = 7;
constexpr int kStale = WSAEWOULDBLOCK;

// A socket whose select reports it readable and not writable (a printer that reset or closed
// while our buffer was full), or writable only; its pending error and read are set per test.
struct PeerClosedSocket {
    static inline bool readable = true;
    static inline int pendingError = 0;
    static inline int recvResult = SOCKET_ERROR;
    static inline int recvError = 0;
    static inline int reads = 0;

    static inline bool ended = false;

    // The timeout's type follows the headers' select: timeval* in MinGW-w64 10, const in 12.
    template <typename Timeout>
    static int PASCAL Select(int, fd_set* read, fd_set* write, fd_set* except, Timeout limit) {
        // Watching only the write and exception sets would miss a reset, unless the printer's
        // close keeps the socket readable; a time limit always brings the next look.
        if (read == nullptr || FD_ISSET(kSocket, read) == ended || write == nullptr ||
            !FD_ISSET(kSocket, write) || limit == nullptr) {
            ADD_FAILURE() << "the wait must watch the socket for reading and writing";
            WSASetLastError(WSAEINVAL);
            return SOCKET_ERROR;
        }
        FD_ZERO(readable ? write : read);
        if (except != nullptr) FD_ZERO(except);
        return 1;
    }
    static int PASCAL GetSockOpt(SOCKET s, int level, int name, char* value, int* size) {
        EXPECT_EQ(s, kSocket);
        EXPECT_EQ(level, SOL_SOCKET);
        EXPECT_EQ(name, SO_ERROR);
        EXPECT_EQ(*size, static_cast<int>(sizeof(int)));
        *reinterpret_cast<int*>(value) = pendingError;
        return 0;
    }
    static int PASCAL Recv(SOCKET, char* buffer, int length, int) {
        ++reads;
        if (recvResult == SOCKET_ERROR) {
            WSASetLastError(recvError);
            return SOCKET_ERROR;
        }
        for (int i = 0; i < recvResult && i < length; ++i) buffer[i] = 'x';
        return recvResult;
    }
    static int Wait(SOCKET s, bool& e) { return WaitForRoom(s, {Select, GetSockOpt, Recv}, e); }
    static int Wait(SOCKET s) { bool ended = false; return Wait(s, ended); }

    static void Set(bool isReadable, int pending, int result, int error) {
        readable = isReadable;
        pendingError = pending;
        recvResult = result;
        recvError = error;
        reads = 0;
        ended = false;
        WSASetLastError(kStale);
    }
};

// A send whose buffer is always full, so every call ends in the wait.
int PASCAL AlwaysFullSend(SOCKET, const char*, int, int) {
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
}

// A send that takes nothing and says nothing.
int PASCAL SilentZeroSend(SOCKET, const char*, int, int) { return 0; }

} // namespace

TEST(WaitForRoom, AReadableSocketIsAFailureWithTheConnectionsError) {
    struct Case {
        int pendingError, recvResult, recvError, shown;
    };
    const Case cases[] = {
        {0, SOCKET_ERROR, WSAECONNRESET, WSAECONNRESET},           // reset, seen by the read
        {0, SOCKET_ERROR, WSAECONNABORTED, WSAECONNABORTED},       // aborted, seen by the read
        {WSAETIMEDOUT, SOCKET_ERROR, WSAECONNRESET, WSAETIMEDOUT}, // pending error comes first
    };
    for (const Case& c : cases) {
        PeerClosedSocket::Set(true, c.pendingError, c.recvResult, c.recvError);
        EXPECT_EQ(PeerClosedSocket::Wait(kSocket), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), c.shown) << "pending " << c.pendingError;
    }
}

TEST(WaitForRoom, BytesFromThePrinterAreDroppedAndTheWaitGoesOn) {
    PeerClosedSocket::Set(true, 0, 5, 0);
    EXPECT_EQ(PeerClosedSocket::Wait(kSocket), 0);
    EXPECT_EQ(PeerClosedSocket::reads, 1);
}

TEST(WaitForRoom, APrinterClosingItsSideStillReadsAndALaterResetEndsTheSend) {
    PeerClosedSocket::Set(true, 0, 0, 0);
    bool ended = false;
    EXPECT_EQ(PeerClosedSocket::Wait(kSocket, ended), 0);
    EXPECT_TRUE(PeerClosedSocket::ended = ended); // from now on no read set, and a time limit
    PeerClosedSocket::pendingError = WSAECONNRESET;
    EXPECT_EQ(PeerClosedSocket::Wait(kSocket, ended), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(PeerClosedSocket::reads, 1);
}

TEST(WaitForRoom, AWritableSocketIsRoomAndNothingIsRead) {
    PeerClosedSocket::Set(false, 0, SOCKET_ERROR, WSAECONNRESET);
    EXPECT_EQ(PeerClosedSocket::Wait(kSocket), 0);
    EXPECT_EQ(PeerClosedSocket::reads, 0);
}

TEST(SendAll, AResetWhileTheBufferIsFullEndsTheSendWithItsError) {
    PeerClosedSocket::Set(true, 0, SOCKET_ERROR, WSAECONNRESET);
    EXPECT_EQ(SendAll(kSocket, reinterpret_cast<const uint8_t*>(kPayload.data()),
                      static_cast<uint32_t>(kPayload.size()), AlwaysFullSend,
                      PeerClosedSocket::Wait),
              0);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(PeerClosedSocket::reads, 1);
}

TEST(SendAll, ASendTakingNothingShowsAResetNotAStaleError) {
    WSASetLastError(kStale);
    EXPECT_EQ(SendAll(kSocket, reinterpret_cast<const uint8_t*>(kPayload.data()),
                      static_cast<uint32_t>(kPayload.size()), SilentZeroSend),
              0);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

namespace {

// A printer's side of a connection after the job: what each read returns, in order. A positive
// entry is that many bytes; 0 an orderly close; a negative entry fails with that error.
struct ScriptedRecv {
    static inline std::vector<int> script;
    static inline size_t next = 0;

    static int PASCAL Recv(SOCKET, char*, int length, int flags) {
        EXPECT_EQ(flags, 0);
        EXPECT_LT(next, script.size()) << "read past the script";
        int step = next < script.size() ? script[next++] : -WSAEWOULDBLOCK;
        if (step >= 0) return step < length ? step : length;
        WSASetLastError(-step);
        return SOCKET_ERROR;
    }
};

DrainResult Drain(std::vector<int> script) {
    ScriptedRecv::script = std::move(script);
    ScriptedRecv::next = 0;
    DrainResult result = DrainReadable(0, ScriptedRecv::Recv);
    EXPECT_EQ(ScriptedRecv::next, ScriptedRecv::script.size()) << "reads left unread";
    return result;
}

} // namespace

TEST(DrainReadable, EndsAtTheCloseOrResetAndWaitsWhileThePrinterIsQuiet) {
    EXPECT_EQ(Drain({-WSAEWOULDBLOCK}), DrainResult::Open);
    EXPECT_EQ(Drain({40, 4096, 7, -WSAEWOULDBLOCK}), DrainResult::Heard);
    EXPECT_EQ(Drain({40, 7, 0}), DrainResult::Closed);
    EXPECT_EQ(Drain({0}), DrainResult::Closed);
    EXPECT_EQ(Drain({12, -WSAECONNRESET}), DrainResult::Reset);
    EXPECT_EQ(Drain({-WSAECONNABORTED}), DrainResult::Reset);
}

TEST(DrainReadable, APrinterThatNeverStopsTalkingDoesNotHoldTheDialog) {
    EXPECT_EQ(Drain(std::vector<int>(256, 4096)), DrainResult::Heard);
}

// Draining connections whose printers stay quiet, but for one that closes its end or resets,
// and whose ends the system's table shows as `end` says.
struct DrainTable : ::testing::Test {
    static inline std::vector<SOCKET> closed;
    static inline SOCKET closedByPrinter = INVALID_SOCKET;
    static inline int reset = 0;
    static inline TableRow end = TableRow::OurEndAcknowledged;
    static int PASCAL Recv(SOCKET s, char*, int, int) {
        if (s == closedByPrinter && reset == 0) return 0;
        return WSASetLastError(reset != 0 ? reset : WSAEWOULDBLOCK), SOCKET_ERROR;
    }
    static int PASCAL Close(SOCKET s) { return closed.push_back(s), 0; }
    static int PASCAL Announce(SOCKET, HWND, u_int, long) { return 0; }
    static int PASCAL Error(SOCKET, int, int, char* value, int*) {
        return *reinterpret_cast<int*>(value) = 0, 0;
    }
    static TableRow End(const Endpoints&) { return end; }
    DrainCalls saved =
        std::exchange(drainCalls, {Recv, Close, Announce, ::GetTickCount, Error, End, nullptr});
    ~DrainTable() override {
        CloseDrainingConnections(), drainCalls = saved, closed.clear();
        closedByPrinter = INVALID_SOCKET, reset = 0, end = TableRow::OurEndAcknowledged;
    }
};

TEST_F(DrainTable, AResetFailsTheJobOnlyBeforeThePrinterAcknowledgedItsEnd) {
    int error = 0;
    end = TableRow::SendingOurEnd;
    KeepDraining(7, {}, false, end);
    OnNetDrain(closedByPrinter = 7, FD_CLOSE); // the printer's close: it may still be reading
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Delivering);
    reset = WSAECONNRESET; // reported by a read after the printer's close
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Failed);
    EXPECT_EQ(error, WSAECONNRESET);

    reset = 0;
    KeepDraining(8, {}, false, end);
    end = TableRow::Missing; // gone while unacknowledged: a reset, though the reads showed none
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Failed);

    KeepDraining(9, {}, true, end); // the printer closed first: gone is no proof by itself
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Delivering);
    closedByPrinter = 9; // its end of stream, with no error: the orderly end
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Delivered);

    end = TableRow::Unreadable; // nothing known is never delivered
    KeepDraining(10, {}, false, end);
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Delivering);
    end = TableRow::OurEndAcknowledged;
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Delivered);
    reset = WSAECONNRESET; // a reset after that is no failure
    OnNetDrain(10, FD_CLOSE);
    EXPECT_EQ(AwaitedDelivery(error), Delivery::Delivered);
    EXPECT_EQ(closed, (std::vector<SOCKET>{7, 8, 9, 10}));
}

TEST_F(DrainTable, WhenEveryEntryHoldsAnOpenConnectionTheNextInTurnMakesRoom) {
    for (SOCKET s = 100; s < 134; ++s) KeepDraining(s, {}, false, TableRow::NotRead);
    EXPECT_EQ(closed, (std::vector<SOCKET>{100, 101}));
    OnNetDrain(closedByPrinter = 133, FD_CLOSE); // the newest is held until its printer closes
    EXPECT_EQ(closed, (std::vector<SOCKET>{100, 101, 133}));
}

TEST_F(DrainTable, AStaleMessageForAReusedSocketNumberLeavesTheNewConnectionOpen) {
    KeepDraining(7, {}, false, TableRow::NotRead);
    OnNetDrain(closedByPrinter = 7, FD_CLOSE);
    closedByPrinter = INVALID_SOCKET;
    KeepDraining(7, {}, false, TableRow::NotRead);
    OnNetDrain(7, FD_CLOSE); // the first connection's close, come late
    EXPECT_EQ(closed, std::vector<SOCKET>{7});
}
