#include <gtest/gtest.h>

#include <string>

#include "transport/net_send.h"

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
    static int Wait(SOCKET) { return ++waits, 0; }
    static int FailingWait(SOCKET) { return WSASetLastError(WSAENOTSOCK), SOCKET_ERROR; }
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
