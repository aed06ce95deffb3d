#include "payload/resource_directory.h"

namespace resource_directory {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeader = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

char Upper(uint32_t c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

class Section {
  public:
    Section(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Fits(size_t offset, size_t length) const {
        return data_ != nullptr && offset <= size_ && length <= size_ - offset;
    }
    const uint8_t* At(size_t offset) const { return data_ + offset; }

    // The number of entries of the directory at `offset`, or -1 when it does not fit.
    long Count(size_t offset) const {
        if (!Fits(offset, kDirectoryHeader)) return -1;
        size_t count = size_t{Read16(At(offset + 12))} + Read16(At(offset + 14));
        return Fits(offset + kDirectoryHeader, count * kEntrySize) ? static_cast<long>(count) : -1;
    }

    bool NameMatches(uint32_t nameField, const Key& key) const {
        if ((nameField & kHighBit) == 0) return key.name == nullptr && (nameField & 0xFFFF) == key.id;
        if (key.name == nullptr) return false;
        size_t offset = nameField & ~kHighBit;
        if (!Fits(offset, 2)) return false;
        size_t length = Read16(At(offset));
        if (!Fits(offset + 2, length * 2)) return false;
        const uint8_t* units = At(offset + 2);
        for (size_t i = 0; i < length; ++i) {
            if (key.name[i] == '\0' || Upper(Read16(units + 2 * i)) != Upper(uint8_t(key.name[i])))
                return false;
        }
        return key.name[length] == '\0';
    }

    // The subdirectory offset of the entry matching `key` in the directory at `offset`.
    bool FindSubdirectory(size_t offset, const Key& key, size_t* sub) const {
        long count = Count(offset);
        for (long i = 0; i < count; ++i) {
            const uint8_t* entry = At(offset + kDirectoryHeader + i * kEntrySize);
            uint32_t target = Read32(entry + 4);
            if ((target & kHighBit) != 0 && NameMatches(Read32(entry), key)) {
                *sub = target & ~kHighBit;
                return true;
            }
        }
        return false;
    }

    bool ReadDataEntry(uint32_t target, uint16_t language, Entry* out) const {
        if ((target & kHighBit) != 0 || !Fits(target, kDataEntrySize)) return false;
        out->rva = Read32(At(target));
        out->size = Read32(At(target + 4));
        out->language = language;
        return true;
    }

    bool PickLanguage(size_t offset, Entry* out) const {
        long count = Count(offset);
        long chosen = -1;
        for (long i = 0; i < count; ++i) {
            const uint8_t* entry = At(offset + kDirectoryHeader + i * kEntrySize);
            uint32_t name = Read32(entry);
            if ((name & kHighBit) != 0 || (Read32(entry + 4) & kHighBit) != 0) continue;
            if ((name & 0xFFFF) == kNeutral) {
                chosen = i;
                break;
            }
            if (chosen < 0) chosen = i;
        }
        if (chosen < 0) return false;
        const uint8_t* entry = At(offset + kDirectoryHeader + chosen * kEntrySize);
        return ReadDataEntry(Read32(entry + 4), Read32(entry) & 0xFFFF, out);
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

} // namespace

Lookup Find(const uint8_t* section, size_t size, Key type, Key name, Entry* out) {
    Section rsrc(section, size);
    size_t names = 0;
    size_t languages = 0;
    if (!rsrc.Fits(0, kDirectoryHeader)) return Lookup::kNoSection;
    if (!rsrc.FindSubdirectory(0, type, &names)) return Lookup::kNoType;
    if (!rsrc.FindSubdirectory(names, name, &languages)) return Lookup::kNoName;
    if (!rsrc.PickLanguage(languages, out)) return Lookup::kNoLanguage;
    return Lookup::kFound;
}

} // namespace resource_directory
