#pragma once
#include <cstddef>
#include <cstdint>

// String-table block 1: 16 strings, each a 16-bit little-endian count of UTF-16 code units
// followed by exactly that many units, no terminator, no alignment.
namespace string_block {

inline constexpr int kStringsPerBlock = 16;

// The size of the block the repackager writes: twice each length plus one count per string.
size_t BuildSize(size_t captionLength, size_t waitLength);

// Writes that block into a caller's zeroed buffer of BuildSize bytes: string 0 empty, the
// caption as string 1, the wait string as string 2, strings 3 to 15 empty. Each byte becomes
// the code unit of the same value.
void WriteInto(uint8_t* out, const char* caption, size_t captionLength, const char* wait,
               size_t waitLength);

// Finds string `index` of a block in place: its code units (little-endian) and their count.
// The block is untrusted data: a count that runs past the end yields the units that are there;
// a missing string is empty. Returns false when the string is not in the block at all.
bool Find(const uint8_t* block, size_t size, int index, const uint8_t** units, size_t* count);

} // namespace string_block
