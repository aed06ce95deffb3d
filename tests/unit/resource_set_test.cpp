#include <gtest/gtest.h>

#include <string>

#include "base/updater_state.h"
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

namespace {
DWORD LastErrorOfLookup(HMODULE module, resource_directory::Key type, uint16_t name) {
    uint32_t size = 0;
    SetLastError(0);
    EXPECT_EQ(FindOwnResource(module, type, resource_directory::Id(name), &size), nullptr);
    return GetLastError();
}
} // namespace

TEST(ResourceSet, MissingEntrySetsThePlatformsError) {
    EXPECT_EQ(LastErrorOfLookup(Self(), resource_directory::Named("FILE"), 9),
              static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LastErrorOfLookup(Self(), resource_directory::Named("NOFILE"), 1013),
              static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(ResourceSet, ImageWithoutResourceSectionSetsThePlatformsError) {
    // The headers of an image whose resource directory entry is empty.
    alignas(8) static uint8_t image[0x200] = {};
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image);
    dos->e_magic = IMAGE_DOS_SIGNATURE;
    dos->e_lfanew = 0x40;
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(image + dos->e_lfanew);
    nt->Signature = IMAGE_NT_SIGNATURE;
    nt->OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    nt->OptionalHeader.SizeOfImage = sizeof image;
    EXPECT_EQ(LastErrorOfLookup(reinterpret_cast<HMODULE>(image),
                                resource_directory::Named("FILE"), 1013),
              static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}
