// Reads every string of an arbitrary block, and checks that a block built from the input's
// bytes reads back as those bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "payload/string_block_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int i = -1; i <= string_block::kStringsPerBlock; ++i) {
        std::u16string text = string_block::Read(data, size, i);
        if (text.size() > size / 2) std::abort();
    }

    size_t split = size > 0 ? data[0] % (size + 1) : 0;
    std::u16string caption(data, data + split);
    std::u16string wait(data + split, data + size);
    std::vector<uint8_t> block = string_block::Build(caption, wait);
    if (block.size() != string_block::BuildSize(caption.size(), wait.size())) std::abort();
    if (string_block::Read(block.data(), block.size(), 1) != caption ||
        string_block::Read(block.data(), block.size(), 2) != wait)
        std::abort();
    return 0;
}
