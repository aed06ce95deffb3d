#include "repack/pe_header.h"

namespace {

constexpr size_t kNtOffsetField = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kHeadersSizeInOptional = 60;
constexpr size_t kChecksumInOptional = 64;
constexpr size_t kSecurityDirectory = 4;
constexpr uint16_t kMagic32 = 0x10B;
constexpr uint16_t kMagic64 = 0x20B;

uint32_t Read16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Read32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

bool FindPeFields(const uint8_t* data, size_t size, PeFields* out) {
    if (size < kNtOffsetField + 4 || data[0] != 'M' || data[1] != 'Z') return false;
    size_t nt = Read32(data + kNtOffsetField);
    size_t optional = nt + 4 + kFileHeaderSize;
    if (nt > size || size - nt < 4 + kFileHeaderSize + 2) return false;
    if (Read32(data + nt) != 0x00004550) return false; // "PE\0\0"
    uint32_t magic = Read16(data + optional);
    if (magic != kMagic32 && magic != kMagic64) return false;
    size_t directories = optional + (magic == kMagic32 ? 96 : 112);
    size_t entry = directories + 8 * kSecurityDirectory;
    if (entry + 8 > size || Read32(data + directories - 4) <= kSecurityDirectory) return false;
    out->checksum = optional + kChecksumInOptional;
    out->securityEntry = entry;
    out->securityOffset = Read32(data + entry);
    out->securitySize = Read32(data + entry + 4);
    out->headersSize = Read32(data + optional + kHeadersSizeInOptional);
    return true;
}

uint32_t PeChecksum(const uint8_t* data, size_t size, size_t checksumOffset) {
    // The words added with an end-around carry after each, as the platform's check does, are
    // their sum modulo 0xFFFF. That check adds the stored field too and then takes it off with
    // a borrow, which turns a sum that is a multiple of 0xFFFF into 0, never 0xFFFF: storing
    // the remainder is what it finds again. One pass of plain additions runs twice as fast as
    // folding after every word.
    uint64_t total = 0;
    size_t even = size & ~static_cast<size_t>(1);
    for (size_t i = 0; i < even; i += 2) total += data[i] | data[i + 1] << 8;
    if (even < size) total += data[even];
    // The checksum field counts as zero: take away what its bytes added.
    for (size_t k = checksumOffset; k < size && k - checksumOffset < 4; ++k)
        total -= static_cast<uint64_t>(data[k]) << (k % 2 * 8);
    return static_cast<uint32_t>(total % 0xFFFF) + static_cast<uint32_t>(size);
}
