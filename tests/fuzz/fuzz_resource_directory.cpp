// Looks entries up in an arbitrary resource section: any answer must lie inside what was read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "payload/resource_directory.h"

namespace rd = resource_directory;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so reading one byte past the end is caught.
    std::vector<uint8_t> section(data, data + size);
    const rd::Key types[] = {rd::Named("FILE"), rd::Id(6), rd::Id(2)};
    const rd::Key names[] = {rd::Id(1013), rd::Id(1), rd::Named("X")};
    for (const rd::Key& type : types) {
        for (const rd::Key& name : names) {
            rd::Entry entry{};
            rd::Find(section.data(), section.size(), type, name, &entry);
        }
    }
    return 0;
}
