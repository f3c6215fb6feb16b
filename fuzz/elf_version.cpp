// Fuzzes the reading of the version record: an ELF image (the section is looked up first)
// or a bare record. Nothing may crash or read out of bounds, whatever the bytes claim.
#include "platform/ElfSection.h"
#include "platform/VersionRecord.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const unsigned char> bytes(data, size);
    VersionInfo info;
    std::vector<unsigned char> section;
    if (FindElfSection(bytes, kVersionSectionName, section, kVersionRecordMaxSize)) {
        [[maybe_unused]] const bool parsed = ParseVersionRecord(section, info);
    } else if (ParseVersionRecord(bytes, info)) {
        [[maybe_unused]] const std::string* version =
            info.FindString(kVersionBlockCzech, "ProductVersion");
    }
    return 0;
}
