#include "payload/string_block.h"

namespace string_block {
namespace {

uint8_t* PutString(uint8_t* out, const std::string& text) {
    size_t count = text.size();
    *out++ = static_cast<uint8_t>(count & 0xFF);
    *out++ = static_cast<uint8_t>((count >> 8) & 0xFF);
    for (unsigned char byte : text) {
        *out++ = byte;
        *out++ = 0;
    }
    return out;
}

} // namespace

size_t BuildSize(size_t captionLength, size_t waitLength) {
    return 2 * captionLength + 2 * waitLength + 2 * kStringsPerBlock;
}

void WriteInto(uint8_t* out, const std::string& caption, const std::string& wait) {
    out += 2; // string 0: a count of 0
    out = PutString(out, caption);
    PutString(out, wait); // strings 3 to 15 stay zero counts
}

std::vector<uint8_t> Build(const std::string& caption, const std::string& wait) {
    std::vector<uint8_t> block(BuildSize(caption.size(), wait.size()), 0);
    WriteInto(block.data(), caption, wait);
    return block;
}

std::u16string Read(const uint8_t* block, size_t size, int index) {
    if (block == nullptr || index < 0 || index >= kStringsPerBlock) return {};
    size_t offset = 0;
    for (int i = 0;; ++i) {
        if (size - offset < 2) return {};
        size_t count = block[offset] | (static_cast<size_t>(block[offset + 1]) << 8);
        offset += 2;
        size_t available = (size - offset) / 2;
        if (i == index) {
            size_t units = count < available ? count : available;
            std::u16string text(units, u'\0');
            for (size_t u = 0; u < units; ++u) {
                const uint8_t* p = block + offset + 2 * u;
                text[u] = static_cast<char16_t>(p[0] | (p[1] << 8));
            }
            return text;
        }
        if (count > available) return {};
        offset += 2 * count;
    }
}

} // namespace string_block
