#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "payload/string_block.h"

// Value-returning forms of the block writer and reader, for tests and tools.
namespace string_block {

std::vector<uint8_t> Build(const std::u16string& caption, const std::u16string& wait);
std::u16string Read(const uint8_t* block, size_t size, int index);

} // namespace string_block
