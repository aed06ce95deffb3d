#include "payload/string_block.h"

namespace string_block {
namespace {

uint8_t* PutUnit(uint8_t* out, size_t unit) {
    *out++ = static_cast<uint8_t>(unit & 0xFF);
    *out++ = static_cast<uint8_t>((unit >> 8) & 0xFF);
    return out;
}

uint8_t* PutString(uint8_t* out, const char16_t* text, size_t count) {
    out = PutUnit(out, count);
    for (size_t i = 0; i < count; ++i) out = PutUnit(out, text[i]);
    return out;
}

} // namespace

size_t BuildSize(size_t captionUnits, size_t waitUnits) {
    return 2 * captionUnits + 2 * waitUnits + 2 * kStringsPerBlock;
}

void WriteInto(uint8_t* out, const char16_t* caption, size_t captionUnits, const char16_t* wait,
               size_t waitUnits) {
    out += 2; // string 0: a count of 0
    out = PutString(out, caption, captionUnits);
    PutString(out, wait, waitUnits); // strings 3 to 15 stay zero counts
}

bool Find(const uint8_t* block, size_t size, int index, const uint8_t** units, size_t* count) {
    *units = nullptr;
    *count = 0;
    if (block == nullptr || index < 0 || index >= kStringsPerBlock) return false;
    size_t offset = 0;
    for (int i = 0;; ++i) {
        if (size - offset < 2) return false;
        size_t declared = block[offset] | (static_cast<size_t>(block[offset + 1]) << 8);
        offset += 2;
        size_t available = (size - offset) / 2;
        if (i == index) {
            *units = block + offset;
            *count = declared < available ? declared : available;
            return true;
        }
        if (declared > available) return false;
        offset += 2 * declared;
    }
}

} // namespace string_block
