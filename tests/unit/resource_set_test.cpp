#include <gtest/gtest.h>

#include <string>

#include "app/updater_state.h"
#include "payload/resource_set.h"

// The test program carries its own resources in two languages (test_resources.rc).
namespace {
HMODULE Self() { return GetModuleHandleA(nullptr); }
} // namespace

TEST(ResourceSet, StringsComeFromTheNeutralBlock) {
    EXPECT_STREQ(LoadOwnString(Self(), 1, 255).c_str(), "Neutral caption");
    EXPECT_STREQ(LoadOwnString(Self(), 2, 9).c_str(), "7");
}

TEST(ResourceSet, StringsAreCutToTheReadersLimit) {
    EXPECT_STREQ(LoadOwnString(Self(), 1, 7).c_str(), "Neutral");
}

TEST(ResourceSet, BlockOnlyInEnglishIsUsed) {
    EXPECT_STREQ(LoadOwnString(Self(), 17, 255).c_str(), "only in English");
}

TEST(ResourceSet, MissingStringsReadEmpty) {
    EXPECT_STREQ(LoadOwnString(Self(), 3, 255).c_str(), "");
    EXPECT_STREQ(LoadOwnString(Self(), 40, 255).c_str(), "");
}

TEST(ResourceSet, PayloadIsTheNeutralEntryInPlace) {
    appInstance = Self();
    payloadData = nullptr;
    payloadSize = 0;
    ASSERT_EQ(FindDownloadableFile(), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payloadData), payloadSize),
              "neutral payload bytes");
    // In place: the bytes lie inside the loaded image, not in a copy.
    auto base = reinterpret_cast<const uint8_t*>(Self());
    EXPECT_GT(payloadData, base);
}

TEST(ResourceSet, MissingEntrySetsTheLastError) {
    uint32_t size = 0;
    SetLastError(0);
    EXPECT_EQ(FindOwnResource(Self(), resource_directory::Named("FILE"), resource_directory::Id(9),
                              &size),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}
