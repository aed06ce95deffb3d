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
    auto byteAt = [&](size_t k) -> uint32_t {
        bool inField = k >= checksumOffset && k - checksumOffset < 4;
        return k < size && !inField ? data[k] : 0;
    };
    uint32_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        bool plain = i + 1 < size && (i + 1 < checksumOffset || i >= checksumOffset + 4);
        sum += plain ? data[i] | data[i + 1] << 8 : byteAt(i) | byteAt(i + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<uint32_t>(size);
}
