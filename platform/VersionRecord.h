// The version record: what an executable says about its own version, kept in the ELF
// section ".mivo_version". The build writes it (cmake/version_section.cpp.in, from the
// project's version); the about page reads it back from the executable's file.
//
// Layout, all integers little-endian, no padding:
//
//   offset  size  field
//   0       8     magic "MIVO-VER"
//   8       2     format version, 1
//   10      2     flags: bit 0 set when the fixed version numbers below are valid
//   12      4     record length in bytes, from the magic to the end of the last block
//   16      4     product version, most significant half: major << 16 | minor
//   20      4     product version, least significant half: patch << 16 | tweak
//   24      4     file version, most significant half
//   28      4     file version, least significant half
//   32      2     number of string blocks
//   34            the string blocks, one after the other:
//                   2  key length, then the key: language and code page as eight hex
//                      digits ("040504B0" Czech, "040904B0" US English, both Unicode)
//                   2  number of strings, then each string:
//                        2 name length, the name ("ProductVersion", ...),
//                        2 value length, the value (UTF-8)
//
// The record length must match the blocks exactly and fit the section; a reader ignores
// flag bits it does not know.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kVersionSectionName = ".mivo_version";
inline constexpr std::array<unsigned char, 8> kVersionRecordMagic = {'M', 'I', 'V', 'O',
                                                                     '-', 'V', 'E', 'R'};
inline constexpr uint16_t kVersionRecordFormat = 1;
inline constexpr uint16_t kVersionFlagFixedInfo = 0x0001;
inline constexpr std::size_t kVersionRecordHeaderSize = 34;
// Larger sections are not version records of ours.
inline constexpr std::size_t kVersionRecordMaxSize = 65536;

// Language-and-code-page keys of the string blocks.
inline constexpr std::string_view kVersionBlockCzech = "040504B0";
inline constexpr std::string_view kVersionBlockUsEnglish = "040904B0";

// A version half from its two 16-bit parts: VersionHalf(1, 6) for "1.6".
constexpr uint32_t VersionHalf(uint32_t high, uint32_t low) {
    return (high & 0xFFFF) << 16 | (low & 0xFFFF);
}

// The record to write, referring to texts that the caller keeps.
struct VersionStringView {
    std::string_view name;
    std::string_view value;
};
struct VersionBlockView {
    std::string_view key;
    std::span<const VersionStringView> strings;
};
struct VersionRecordView {
    bool hasFixedInfo = false;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    std::span<const VersionBlockView> blocks;
};

// Encodes the record into `out` (when not null) and answers its size in bytes; 0 when a
// text or a count does not fit its 16-bit length field. Usable at compile time.
constexpr std::size_t EncodeVersionRecord(const VersionRecordView& record, unsigned char* out) {
    std::size_t pos = 0;
    bool fits = true;
    auto put = [&](uint64_t value, std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i) {
            if (out != nullptr) {
                out[pos] = static_cast<unsigned char>(value >> (8 * i));
            }
            ++pos;
        }
    };
    auto putText = [&](std::string_view text) {
        fits = fits && text.size() <= 0xFFFF;
        put(text.size(), 2);
        for (char c : text) {
            put(static_cast<unsigned char>(c), 1);
        }
    };
    for (unsigned char c : kVersionRecordMagic) {
        put(c, 1);
    }
    put(kVersionRecordFormat, 2);
    put(record.hasFixedInfo ? kVersionFlagFixedInfo : 0, 2);
    const std::size_t lengthAt = pos;
    put(0, 4); // the record length, filled in below
    put(record.productVersionMS, 4);
    put(record.productVersionLS, 4);
    put(record.fileVersionMS, 4);
    put(record.fileVersionLS, 4);
    fits = fits && record.blocks.size() <= 0xFFFF;
    put(record.blocks.size(), 2);
    for (const VersionBlockView& block : record.blocks) {
        putText(block.key);
        fits = fits && block.strings.size() <= 0xFFFF;
        put(block.strings.size(), 2);
        for (const VersionStringView& string : block.strings) {
            putText(string.name);
            putText(string.value);
        }
    }
    const std::size_t size = pos;
    if (!fits || size > 0xFFFFFFFF) {
        return 0;
    }
    pos = lengthAt;
    put(size, 4);
    return size;
}

// A record as read back.
struct VersionString {
    std::string name;
    std::string value;
};
struct VersionStringBlock {
    std::string key;
    std::vector<VersionString> strings;
};
struct VersionInfo {
    bool hasFixedInfo = false;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    std::vector<VersionStringBlock> blocks;

    // The value of `name` in the first block with key `blockKey`; both compared without
    // regard to the case of ASCII letters. Null when absent.
    const std::string* FindString(std::string_view blockKey, std::string_view name) const;
};

// Decodes a record from untrusted bytes (the record may be followed by other bytes).
[[nodiscard]] bool ParseVersionRecord(std::span<const unsigned char> bytes, VersionInfo& info);

// Reads the record from the ".mivo_version" section of the ELF file at `path`. False when
// the file cannot be read, is not ELF, has no such section or the section is not a record.
[[nodiscard]] bool ReadVersionRecord(const std::string& path, VersionInfo& info);
