#include "payload/resource_set.h"

#include "base/updater_state.h"
#include "payload/string_block.h"
#include "resources/resource_ids.h"

namespace {

constexpr char kPayloadType[] = "FILE";
constexpr int kStringsPerBlock = string_block::kStringsPerBlock;

// The resource section of a loaded image, bounded by the image's own size.
bool ResourceSection(HMODULE module, const uint8_t** section, size_t* sectionSize,
                     size_t* imageSize) {
    auto base = reinterpret_cast<const uint8_t*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_RESOURCE)
        return false;
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE];
    *imageSize = nt->OptionalHeader.SizeOfImage;
    if (dir.VirtualAddress == 0 || dir.VirtualAddress > *imageSize ||
        dir.Size > *imageSize - dir.VirtualAddress)
        return false;
    *section = base + dir.VirtualAddress;
    *sectionSize = dir.Size;
    return true;
}

// The platform's error for a lookup that stopped at that level.
DWORD LookupError(resource_directory::Lookup result) {
    switch (result) {
    case resource_directory::Lookup::kNoType:
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    case resource_directory::Lookup::kNoName:
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    case resource_directory::Lookup::kNoLanguage:
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    case resource_directory::Lookup::kNoSection:
    default:
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
}

} // namespace

const uint8_t* FindOwnResource(HMODULE module, resource_directory::Key type,
                               resource_directory::Key name, uint32_t* size) {
    const uint8_t* section = nullptr;
    size_t sectionSize = 0;
    size_t imageSize = 0;
    resource_directory::Entry entry{};
    if (!ResourceSection(module, &section, &sectionSize, &imageSize)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    resource_directory::Lookup found =
        resource_directory::Find(section, sectionSize, type, name, &entry);
    if (found != resource_directory::Lookup::kFound) {
        SetLastError(LookupError(found));
        return nullptr;
    }
    // An entry whose data lies outside the image can't be loaded.
    if (entry.rva > imageSize || entry.size > imageSize - entry.rva) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    *size = entry.size;
    return reinterpret_cast<const uint8_t*>(module) + entry.rva;
}

Text LoadOwnString(HMODULE module, int id, size_t maxChars) {
    uint32_t size = 0;
    const uint8_t* block = FindOwnResource(
        module, resource_directory::Id(6 /* RT_STRING */),
        resource_directory::Id(static_cast<uint16_t>(id / kStringsPerBlock + 1)), &size);
    const uint8_t* units = nullptr;
    size_t count = 0;
    if (!string_block::Find(block, block ? size : 0, id % kStringsPerBlock, &units, &count) ||
        count == 0)
        return Text();
    // Entries are aligned in the image, and every count and unit is two bytes.
    auto wide = reinterpret_cast<const wchar_t*>(units);
    int length = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), nullptr, 0,
                                      nullptr, nullptr);
    if (length <= 0) return Text();
    char* ansi = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length + 1));
    if (ansi == nullptr) return Text();
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), ansi, length, nullptr, nullptr);
    if (static_cast<size_t>(length) > maxChars) ansi[maxChars] = '\0';
    Text text = Text::Copy(ansi);
    HeapFree(GetProcessHeap(), 0, ansi);
    return text;
}

int FindDownloadableFile() {
    uint32_t size = 0;
    const uint8_t* data = FindOwnResource(appInstance, resource_directory::Named(kPayloadType),
                                          resource_directory::Id(IDR_PAYLOAD), &size);
    if (data == nullptr) return 0;
    payloadData = data;
    payloadSize = size;
    return 1;
}
