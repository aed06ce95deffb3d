#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "payload/resource_directory.h"

namespace rd = resource_directory;

namespace {

// Lays out a resource section with one type, one name and the given languages, in the order
// given, each language's data entry pointing at rva 0x1000 + language.
class SectionBuilder {
  public:
    std::vector<uint8_t> Build(const char* typeName, uint16_t nameId,
                               const std::vector<uint16_t>& languages) {
        bytes_.clear();
        size_t typeDir = Directory(1);
        size_t nameDir = Directory(1);
        size_t langDir = Directory(languages.size());
        std::vector<size_t> data;
        for (size_t i = 0; i < languages.size(); ++i) data.push_back(Append(16));
        size_t name = Append(2 + 2 * std::strlen(typeName));
        Put16(name, static_cast<uint16_t>(std::strlen(typeName)));
        for (size_t i = 0; typeName[i]; ++i) Put16(name + 2 + 2 * i, uint8_t(typeName[i]));

        Entry(typeDir, 0, 0x80000000u | name, 0x80000000u | nameDir);
        Entry(nameDir, 0, nameId, 0x80000000u | langDir);
        for (size_t i = 0; i < languages.size(); ++i) {
            Entry(langDir, i, languages[i], data[i]);
            Put32(data[i], 0x1000u + languages[i]);
            Put32(data[i] + 4, 100u + languages[i]);
        }
        Put16(typeDir + 12, 1); // the type is a named entry
        Put16(typeDir + 14, 0);
        return bytes_;
    }

  private:
    size_t Append(size_t n) {
        size_t at = bytes_.size();
        bytes_.resize(at + n, 0);
        return at;
    }
    size_t Directory(size_t entries) {
        size_t at = Append(16 + 8 * entries);
        Put16(at + 14, static_cast<uint16_t>(entries));
        return at;
    }
    void Entry(size_t dir, size_t index, uint32_t name, uint32_t target) {
        Put32(dir + 16 + 8 * index, name);
        Put32(dir + 20 + 8 * index, target);
    }
    void Put16(size_t at, uint16_t v) {
        bytes_[at] = v & 0xFF;
        bytes_[at + 1] = v >> 8;
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = (v >> (8 * i)) & 0xFF;
    }
    std::vector<uint8_t> bytes_;
};

rd::Lookup FindPayload(const std::vector<uint8_t>& s, rd::Entry* e, const char* type = "FILE") {
    return rd::Find(s.data(), s.size(), rd::Named(type), rd::Id(1013), e);
}

} // namespace

TEST(ResourceDirectory, NeutralLanguageWinsWhereverItStands) {
    SectionBuilder b;
    for (auto languages : {std::vector<uint16_t>{0, 1033}, std::vector<uint16_t>{1033, 0},
                           std::vector<uint16_t>{1031, 1033, 0}}) {
        rd::Entry e{};
        ASSERT_EQ(FindPayload(b.Build("FILE", 1013, languages), &e), rd::Lookup::kFound);
        EXPECT_EQ(e.language, 0);
        EXPECT_EQ(e.rva, 0x1000u);
        EXPECT_EQ(e.size, 100u);
    }
}

TEST(ResourceDirectory, WithoutNeutralTheOtherEntryIsUsed) {
    SectionBuilder b;
    rd::Entry e{};
    ASSERT_EQ(FindPayload(b.Build("FILE", 1013, {1033}), &e), rd::Lookup::kFound);
    EXPECT_EQ(e.language, 1033);
    EXPECT_EQ(e.rva, 0x1000u + 1033);
}

TEST(ResourceDirectory, TypeNamesCompareWithoutCaseButExactly) {
    SectionBuilder b;
    rd::Entry e{};
    EXPECT_EQ(FindPayload(b.Build("FILE", 1013, {1033}), &e, "file"), rd::Lookup::kFound);
    EXPECT_EQ(FindPayload(b.Build("FILES", 1013, {1033}), &e), rd::Lookup::kNoType);
    EXPECT_EQ(FindPayload(b.Build("FIL", 1013, {1033}), &e), rd::Lookup::kNoType);
}

// Each missing level is told apart, as the platform's lookup tells them apart.
TEST(ResourceDirectory, TheFirstMissingLevelIsReported) {
    SectionBuilder b;
    rd::Entry e{};
    std::vector<uint8_t> s = b.Build("FILE", 1013, {1033});
    EXPECT_EQ(rd::Find(nullptr, 0, rd::Named("FILE"), rd::Id(1013), &e), rd::Lookup::kNoSection);
    EXPECT_EQ(rd::Find(s.data(), 15, rd::Named("FILE"), rd::Id(1013), &e), rd::Lookup::kNoSection);
    std::vector<uint8_t> emptyRoot(16, 0);
    EXPECT_EQ(FindPayload(emptyRoot, &e), rd::Lookup::kNoType);
    EXPECT_EQ(rd::Find(s.data(), s.size(), rd::Id(10), rd::Id(1013), &e), rd::Lookup::kNoType);
    EXPECT_EQ(FindPayload(b.Build("FILE", 1014, {1033}), &e), rd::Lookup::kNoName);
    EXPECT_EQ(FindPayload(b.Build("FILE", 1013, {}), &e), rd::Lookup::kNoLanguage);
}

TEST(ResourceDirectory, EveryTruncationOfASectionIsSafe) {
    SectionBuilder b;
    std::vector<uint8_t> full = b.Build("FILE", 1013, {1033, 0});
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + cut);
        rd::Entry e{};
        EXPECT_NE(rd::Find(part.data(), part.size(), rd::Named("FILE"), rd::Id(1013), &e),
                  rd::Lookup::kFound)
            << "cut at " << cut;
    }
}

TEST(ResourceDirectory, WildOffsetsAreRejected) {
    SectionBuilder b;
    std::vector<uint8_t> s = b.Build("FILE", 1013, {1033});
    // Point the type entry's subdirectory far outside the section.
    s[20] = 0xF0;
    s[21] = 0xFF;
    s[22] = 0xFF;
    s[23] = 0xFF;
    rd::Entry e{};
    EXPECT_EQ(FindPayload(s, &e), rd::Lookup::kNoName);
}
