#pragma once
#include <cstddef>
#include <cstdint>

// Reads the resource directory of a PE image: the tree of type, name and language that the
// resource section starts with. The section is untrusted bytes; every offset is checked.
namespace resource_directory {

// A type or name: a numeric ID, or a string when `name` is set (compared without case).
struct Key {
    uint16_t id;
    const char* name;
};

inline Key Id(uint16_t id) { return Key{id, nullptr}; }
inline Key Named(const char* name) { return Key{0, name}; }

struct Entry {
    uint32_t rva;  // where the data lies, relative to the image base
    uint32_t size; // in bytes
    uint16_t language;
};

inline constexpr uint16_t kNeutral = 0;

// How far a lookup got: the first level that has no match, as the platform's lookup reports it.
enum class Lookup {
    kFound,
    kNoSection,  // no resource directory at all
    kNoType,     // the type is missing
    kNoName,     // the type is there, the name is not
    kNoLanguage, // the name is there with no usable language entry
};

// Finds type/name and picks its language-0 entry when there is one, else the first other entry.
// `section` is the resource section, `size` its length in bytes.
Lookup Find(const uint8_t* section, size_t size, Key type, Key name, Entry* out);

} // namespace resource_directory
