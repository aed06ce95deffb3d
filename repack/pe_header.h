#pragma once
#include <cstddef>
#include <cstdint>

// Where the fields of a PE file's optional header that a rewritten copy must fix lie.
struct PeFields {
    size_t checksum;         // offset of the 32-bit header checksum
    size_t securityEntry;    // offset of the certificate table's directory entry (offset, size)
    uint32_t securityOffset; // the certificate table's file offset, 0 when there is none
    uint32_t securitySize;
    uint32_t headersSize;    // the headers' size on disk: a certificate table lies past them
};

// Reads the field offsets of a 32- or 64-bit PE image held in `data`. False when the bytes are
// not a PE image whose headers lie wholly inside them.
bool FindPeFields(const uint8_t* data, size_t size, PeFields* out);

// The PE header checksum of the file: the 16-bit words of the file, the checksum field counted
// as zero, added with end-around carry (a multiple of 0xFFFF counting as 0), plus the file's
// length.
uint32_t PeChecksum(const uint8_t* data, size_t size, size_t checksumOffset);
