#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "repack/pe_header.h"

namespace {

constexpr size_t kNt = 0x80;
constexpr size_t kOptional = kNt + 24;

// The headers of a 32-bit image, with a certificate table entry, and `extra` bytes after them.
std::vector<uint8_t> Image(uint32_t certOffset, uint32_t certSize, size_t extra = 0) {
    std::vector<uint8_t> bytes(kOptional + 96 + 16 * 8 + extra, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&bytes[at], &v, 4); };
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put32(0x3C, kNt);
    memcpy(&bytes[kNt], "PE\0\0", 4);
    bytes[kOptional] = 0x0B;
    bytes[kOptional + 1] = 0x01;
    put32(kOptional + 60, 0x400);
    put32(kOptional + 92, 16);
    put32(kOptional + 96 + 4 * 8, certOffset);
    put32(kOptional + 96 + 4 * 8 + 4, certSize);
    return bytes;
}

} // namespace

TEST(PeHeader, FindsTheChecksumAndTheCertificateTable) {
    std::vector<uint8_t> bytes = Image(0x1000, 0x238);
    PeFields f;
    ASSERT_TRUE(FindPeFields(bytes.data(), bytes.size(), &f));
    EXPECT_EQ(f.checksum, kOptional + 64);
    EXPECT_EQ(f.securityEntry, kOptional + 96 + 32);
    EXPECT_EQ(f.securityOffset, 0x1000u);
    EXPECT_EQ(f.securitySize, 0x238u);
    EXPECT_EQ(f.headersSize, 0x400u);
}

TEST(PeHeader, RejectsWhatIsNoWholeImageHeader) {
    std::vector<uint8_t> bytes = Image(0, 0);
    PeFields f;
    // Every length short of the certificate entry's end, each in a buffer of exactly that size,
    // so a read past the end would show.
    for (size_t cut = 0; cut < kOptional + 96 + 40; ++cut) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + cut);
        EXPECT_FALSE(FindPeFields(prefix.data(), prefix.size(), &f)) << cut;
    }
    std::vector<uint8_t> noPe = bytes;
    noPe[kNt] = 'X';
    EXPECT_FALSE(FindPeFields(noPe.data(), noPe.size(), &f));
    std::vector<uint8_t> badMagic = bytes;
    badMagic[kOptional] = 0x07;
    EXPECT_FALSE(FindPeFields(badMagic.data(), badMagic.size(), &f));
    std::vector<uint8_t> fewDirectories = bytes;
    fewDirectories[kOptional + 92] = 4;
    EXPECT_FALSE(FindPeFields(fewDirectories.data(), fewDirectories.size(), &f));
    std::vector<uint8_t> farHeader = bytes;
    farHeader[0x3F] = 0x80; // e_lfanew beyond any file
    EXPECT_FALSE(FindPeFields(farHeader.data(), farHeader.size(), &f));
}

TEST(PeHeader, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheLength) {
    // Words 0x0001 + 0xFFFF carry into 0x0001, then the odd last byte 0x02: 3, plus 5 bytes.
    const uint8_t words[] = {0x01, 0x00, 0xFF, 0xFF, 0x02};
    EXPECT_EQ(PeChecksum(words, sizeof words, 1000), 8u);
    // The same bytes with a checksum field of junk in the middle count it as zero.
    const uint8_t withField[] = {0x01, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xFF, 0xFF, 0x02};
    EXPECT_EQ(PeChecksum(withField, sizeof withField, 2), 3u + sizeof withField);
}

TEST(PeHeader, ChecksumKeepsTheFoldsOwnZeroAndAllOnes) {
    // A non-zero multiple of 0xFFFF counts as 0, as all zeros do.
    const uint8_t zeros[] = {0, 0, 0, 0};
    EXPECT_EQ(PeChecksum(zeros, sizeof zeros, 1000), 4u);
    const uint8_t ones[] = {0xFF, 0xFF};
    EXPECT_EQ(PeChecksum(ones, sizeof ones, 1000), 2u);
    const uint8_t halves[] = {0x00, 0x80, 0xFF, 0x7F};
    EXPECT_EQ(PeChecksum(halves, sizeof halves, 1000), 4u);
    const uint8_t carry[] = {0xFF, 0xFF, 0x01, 0x00};
    EXPECT_EQ(PeChecksum(carry, sizeof carry, 1000), 1u + 4);
    // A field at an odd offset that runs past the end: its bytes inside the file count as zero.
    const uint8_t tail[] = {0x01, 0x00, 0x02, 0xAA, 0xBB};
    EXPECT_EQ(PeChecksum(tail, sizeof tail, 3), 3u + sizeof tail);
}

// The platform's check adds every word, the stored field's too, with an end-around carry, then
// takes the field's words off with a borrow: it finds a multiple of 0xFFFF as the length + 0.
TEST(PeHeader, ChecksumIsWhatThePlatformsCheckFindsAgain) {
    std::vector<uint8_t> bytes(70001, 0);
    bytes[100] = bytes[101] = 0xFF;
    uint32_t sum = PeChecksum(bytes.data(), bytes.size(), 8);
    memcpy(&bytes[8], &sum, 4);
    uint32_t check = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        check += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        check = (check & 0xFFFF) + (check >> 16);
    }
    for (uint32_t w : {sum & 0xFFFF, sum >> 16}) check = (check - (check < w) - w) & 0xFFFF;
    EXPECT_EQ(check + bytes.size(), sum);
    EXPECT_EQ(sum, 70001u);
}

#ifdef _WIN32
#include <windows.h>

#include "base/system_library.h"

TEST(PeHeader, ChecksumAgreesWithTheSystemsOnThisExecutable) {
    char path[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    ASSERT_EQ(read, bytes.size());

    using CheckSumMappedFileFn = void*(WINAPI*)(void*, DWORD, DWORD*, DWORD*);
    auto system = ExportOf<CheckSumMappedFileFn>(LoadSystemLibrary("imagehlp.dll"),
                                                 "CheckSumMappedFile");
    ASSERT_NE(system, nullptr);
    DWORD stored = 0;
    DWORD computed = 0;
    ASSERT_NE(system(bytes.data(), read, &stored, &computed), nullptr);
    PeFields f;
    ASSERT_TRUE(FindPeFields(bytes.data(), bytes.size(), &f));
    EXPECT_EQ(PeChecksum(bytes.data(), bytes.size(), f.checksum), computed);
    // And on an odd length with the checksum field set to junk.
    bytes.push_back(0x5A);
    memset(&bytes[f.checksum], 0xEE, 4);
    ASSERT_NE(system(bytes.data(), static_cast<DWORD>(bytes.size()), &stored, &computed), nullptr);
    EXPECT_EQ(PeChecksum(bytes.data(), bytes.size(), f.checksum), computed);
}
#endif
