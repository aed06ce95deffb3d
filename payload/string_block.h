#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// String-table block 1: 16 strings, each a 16-bit little-endian count of UTF-16 code units
// followed by exactly that many units, no terminator, no alignment.
namespace string_block {

inline constexpr int kStringsPerBlock = 16;

// The block the repackager writes: string 0 empty, the caption as string 1, the wait string as
// string 2, strings 3 to 15 empty. Each byte becomes the code unit of the same value.
std::vector<uint8_t> Build(const std::string& caption, const std::string& wait);

// The size Build produces: twice each length plus one count for each of the 16 strings.
size_t BuildSize(size_t captionLength, size_t waitLength);

// Writes the block into a caller's zeroed buffer of BuildSize bytes.
void WriteInto(uint8_t* out, const std::string& caption, const std::string& wait);

// String `index` of a block as code units. The block is untrusted data: a count that runs past
// the end yields the units that are there; a missing string is empty.
std::u16string Read(const uint8_t* block, size_t size, int index);

} // namespace string_block
