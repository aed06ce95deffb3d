#pragma once
#include <cstddef>
#include <cstdint>

// String-table block 1: 16 strings, each a 16-bit little-endian count of UTF-16 code units
// followed by exactly that many units, no terminator, no alignment.
namespace string_block {

inline constexpr int kStringsPerBlock = 16;

// The size of the block the repackager writes: two bytes for each code unit of the two strings
// plus one count per string.
size_t BuildSize(size_t captionUnits, size_t waitUnits);

// Writes that block into a caller's zeroed buffer of BuildSize bytes: string 0 empty, the
// caption as string 1, the wait string as string 2, strings 3 to 15 empty.
void WriteInto(uint8_t* out, const char16_t* caption, size_t captionUnits, const char16_t* wait,
               size_t waitUnits);

// Finds string `index` of a block in place: its code units (little-endian) and their count.
// The block is untrusted data: a count that runs past the end yields the units that are there;
// a missing string is empty. Returns false when the string is not in the block at all.
bool Find(const uint8_t* block, size_t size, int index, const uint8_t** units, size_t* count);

} // namespace string_block
