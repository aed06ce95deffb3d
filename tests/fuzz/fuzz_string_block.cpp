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
    std::string caption(reinterpret_cast<const char*>(data), split);
    std::string wait(reinterpret_cast<const char*>(data) + split, size - split);
    std::vector<uint8_t> block = string_block::Build(caption, wait);
    if (block.size() != string_block::BuildSize(caption.size(), wait.size())) std::abort();
    const std::string* expected[] = {&caption, &wait};
    for (int i = 0; i < 2; ++i) {
        std::u16string back = string_block::Read(block.data(), block.size(), i + 1);
        if (back.size() != expected[i]->size()) std::abort();
        for (size_t u = 0; u < back.size(); ++u)
            if (back[u] != static_cast<unsigned char>((*expected[i])[u])) std::abort();
    }
    return 0;
}
