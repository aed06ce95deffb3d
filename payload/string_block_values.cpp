#include "payload/string_block_values.h"

namespace string_block {

std::vector<uint8_t> Build(const std::u16string& caption, const std::u16string& wait) {
    std::vector<uint8_t> block(BuildSize(caption.size(), wait.size()), 0);
    WriteInto(block.data(), caption.data(), caption.size(), wait.data(), wait.size());
    return block;
}

std::u16string Read(const uint8_t* block, size_t size, int index) {
    const uint8_t* units = nullptr;
    size_t count = 0;
    Find(block, size, index, &units, &count);
    std::u16string text(count, u'\0');
    for (size_t u = 0; u < count; ++u)
        text[u] = static_cast<char16_t>(units[2 * u] | (units[2 * u + 1] << 8));
    return text;
}

} // namespace string_block
