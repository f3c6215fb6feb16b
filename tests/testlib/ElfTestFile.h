// Small ELF files made by tests: a header, the sections asked for and a section-name table,
// with the layout of the real thing (ELF64 or ELF32, little-endian), so that a reader can be
// tried on exactly the case a test needs.
#pragma once

#include "platform/VersionRecord.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

struct ElfTestSection {
    std::string name;
    std::vector<unsigned char> bytes;
    uint32_t type = 1; // SHT_PROGBITS; 8 = SHT_NOBITS
};

inline void PutLE(std::vector<unsigned char>& out, std::size_t at, uint64_t value,
                  std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// An ELF image: [0] null section, the given sections, then ".shstrtab" last.
inline std::vector<unsigned char> MakeElfImage(bool is64,
                                               const std::vector<ElfTestSection>& sections) {
    const std::size_t headerSize = is64 ? 64 : 52;
    const std::size_t entrySize = is64 ? 64 : 40;
    std::vector<unsigned char> image(headerSize, 0);

    std::string names(1, '\0');
    std::vector<std::size_t> nameOffsets, dataOffsets;
    for (const ElfTestSection& section : sections) {
        nameOffsets.push_back(names.size());
        names += section.name;
        names += '\0';
        dataOffsets.push_back(image.size());
        if (section.type != 8) {
            image.insert(image.end(), section.bytes.begin(), section.bytes.end());
        }
    }
    const std::size_t shstrtabName = names.size();
    names += ".shstrtab";
    names += '\0';
    const std::size_t namesOffset = image.size();
    image.insert(image.end(), names.begin(), names.end());
    while (image.size() % 8 != 0) {
        image.push_back(0);
    }
    const std::size_t shoff = image.size();
    const std::size_t count = sections.size() + 2;
    image.resize(shoff + count * entrySize, 0);

    auto putHeader = [&](std::size_t index, uint64_t name, uint32_t type, uint64_t offset,
                         uint64_t size) {
        const std::size_t at = shoff + index * entrySize;
        PutLE(image, at, name, 4);
        PutLE(image, at + 4, type, 4);
        PutLE(image, at + (is64 ? 24 : 16), offset, is64 ? 8 : 4);
        PutLE(image, at + (is64 ? 32 : 20), size, is64 ? 8 : 4);
    };
    for (std::size_t i = 0; i < sections.size(); ++i) {
        putHeader(i + 1, nameOffsets[i], sections[i].type, dataOffsets[i],
                  sections[i].bytes.size());
    }
    putHeader(count - 1, shstrtabName, 3 /* SHT_STRTAB */, namesOffset, names.size());

    const unsigned char ident[] = {0x7F, 'E', 'L', 'F', static_cast<unsigned char>(is64 ? 2 : 1),
                                   1,    1};
    std::copy(std::begin(ident), std::end(ident), image.begin());
    PutLE(image, 16, 2, 2);             // ET_EXEC
    PutLE(image, 18, is64 ? 62 : 3, 2); // x86-64 or i386
    PutLE(image, 20, 1, 4);             // EV_CURRENT
    if (is64) {
        PutLE(image, 0x28, shoff, 8);
        PutLE(image, 0x34, headerSize, 2);
        PutLE(image, 0x3A, entrySize, 2);
        PutLE(image, 0x3C, count, 2);
        PutLE(image, 0x3E, count - 1, 2);
    } else {
        PutLE(image, 0x20, shoff, 4);
        PutLE(image, 0x28, headerSize, 2);
        PutLE(image, 0x2E, entrySize, 2);
        PutLE(image, 0x30, count, 2);
        PutLE(image, 0x32, count - 1, 2);
    }
    return image;
}

// The encoded bytes of a version record.
inline std::vector<unsigned char> EncodeVersionRecordBytes(const VersionRecordView& record) {
    std::vector<unsigned char> bytes(EncodeVersionRecord(record, nullptr));
    EncodeVersionRecord(record, bytes.data());
    return bytes;
}
