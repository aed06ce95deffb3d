#include <gtest/gtest.h>

#include <climits>

#include "ui/wait_string.h"

TEST(WaitString, ParsesAsAtoiDoes) {
    EXPECT_EQ(ParseWaitString("180"), 180);
    EXPECT_EQ(ParseWaitString("  \t42x"), 42);
    EXPECT_EQ(ParseWaitString("+7"), 7);
    EXPECT_EQ(ParseWaitString("-5"), -5);
    EXPECT_EQ(ParseWaitString(""), 0);
    EXPECT_EQ(ParseWaitString("abc"), 0);
    EXPECT_EQ(ParseWaitString("- 5"), 0);
    EXPECT_EQ(ParseWaitString(nullptr), 0);
}

TEST(WaitString, HugeValuesSaturateInsteadOfOverflowing) {
    EXPECT_EQ(ParseWaitString("99999999999"), INT32_MAX);
    EXPECT_EQ(ParseWaitString("-99999999999"), INT32_MIN);
}

TEST(WaitTicks, TenTicksASecond) {
    EXPECT_EQ(WaitTicks(0), 0u);
    EXPECT_EQ(WaitTicks(180), 1800u);
    EXPECT_EQ(WaitTicks(6553), 65530u);
    EXPECT_EQ(WaitTicks(6554), 65540u);
}

TEST(WaitTicks, NegativeWaitsNothing) {
    EXPECT_EQ(WaitTicks(-5), 0u);
    EXPECT_EQ(WaitTicks(INT32_MIN), 0u);
}

TEST(WaitTicks, TooLongIsHeldAtTheLargestCountNotWrapped) {
    EXPECT_EQ(WaitTicks(999999999), static_cast<uint32_t>(INT32_MAX));
    EXPECT_EQ(WaitTicks(429496730), static_cast<uint32_t>(INT32_MAX)); // x10 would wrap to 4
    EXPECT_EQ(WaitTicks(INT32_MAX / 10), static_cast<uint32_t>(INT32_MAX / 10 * 10));
}
