#include <gtest/gtest.h>

#include "payload/string_block_values.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

} // namespace

TEST(StringBlock, CaptionAbWaitNinetyIsFortyExactBytes) {
    std::vector<uint8_t> expected = Bytes({0, 0, 2, 0, 0x61, 0, 0x62, 0, 2, 0, 0x39, 0, 0x30, 0});
    expected.resize(40, 0);
    EXPECT_EQ(string_block::Build(u"ab", u"90"), expected);
}

TEST(StringBlock, EmptyStringsGiveThirtyTwoZeroBytes) {
    EXPECT_EQ(string_block::Build(u"", u""), std::vector<uint8_t>(32, 0));
}

TEST(StringBlock, CodeUnitsAreStoredAsGiven) {
    std::vector<uint8_t> block = string_block::Build(u"\u00E9\u20AC\u00FF", u"");
    EXPECT_EQ(block.size(), 2u * 3 + 32);
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 2, block.begin() + 10),
              Bytes({3, 0, 0xE9, 0, 0xAC, 0x20, 0xFF, 0}));
    EXPECT_EQ(string_block::Read(block.data(), block.size(), 1), u"\u00E9\u20AC\u00FF");
}

TEST(StringBlock, RoundTripOfLongStrings) {
    std::u16string caption(300, u'c');
    std::u16string wait = u"123456789";
    std::vector<uint8_t> block = string_block::Build(caption, wait);
    EXPECT_EQ(block.size(), string_block::BuildSize(300, 9));
    EXPECT_EQ(string_block::Read(block.data(), block.size(), 1), caption);
    EXPECT_EQ(string_block::Read(block.data(), block.size(), 2), wait);
    for (int i : {0, 3, 15}) EXPECT_TRUE(string_block::Read(block.data(), block.size(), i).empty());
}

TEST(StringBlock, CountRunningPastTheEndYieldsWhatFits) {
    // String 0 empty, string 1 claims 100 units but only 2 and a half are there.
    std::vector<uint8_t> block = Bytes({0, 0, 100, 0, 'x', 0, 'y', 0, 'z'});
    EXPECT_EQ(string_block::Read(block.data(), block.size(), 1), u"xy");
    EXPECT_TRUE(string_block::Read(block.data(), block.size(), 2).empty());
}

TEST(StringBlock, TruncatedOrMissingBlocksReadEmpty) {
    std::vector<uint8_t> block = Bytes({0, 0, 1});
    EXPECT_TRUE(string_block::Read(block.data(), block.size(), 1).empty());
    EXPECT_TRUE(string_block::Read(nullptr, 0, 1).empty());
    EXPECT_TRUE(string_block::Read(block.data(), 0, 0).empty());
    EXPECT_TRUE(string_block::Read(block.data(), block.size(), -1).empty());
    EXPECT_TRUE(string_block::Read(block.data(), block.size(), 16).empty());
}

TEST(StringBlock, BlockWithMaximalCountsStaysInBounds) {
    std::vector<uint8_t> block(64, 0xFF);
    for (int i = 0; i < 16; ++i) EXPECT_LE(string_block::Read(block.data(), block.size(), i).size(), 31u);
}
