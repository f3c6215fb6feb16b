#include "platform/VersionRecord.h"

#include "platform/ElfSection.h"

#include <algorithm>
#include <utility>

namespace {

// Reads the record's fields in order and fails for any read past its end.
class RecordReader {
public:
    explicit RecordReader(std::span<const unsigned char> bytes) : m_bytes(bytes) {}

    [[nodiscard]] bool Number(std::size_t size, uint64_t& value) {
        if (m_bytes.size() - m_pos < size) {
            return false;
        }
        value = 0;
        for (std::size_t i = size; i-- > 0;) {
            value = (value << 8) | m_bytes[m_pos + i];
        }
        m_pos += size;
        return true;
    }

    [[nodiscard]] bool Text(std::string& text) {
        uint64_t length = 0;
        if (!Number(2, length) || m_bytes.size() - m_pos < length) {
            return false;
        }
        text.assign(reinterpret_cast<const char*>(m_bytes.data() + m_pos),
                    static_cast<std::size_t>(length));
        m_pos += static_cast<std::size_t>(length);
        return true;
    }

    std::size_t Position() const { return m_pos; }

private:
    std::span<const unsigned char> m_bytes;
    std::size_t m_pos = 0;
};

bool EqualAsciiNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return lower(x) == lower(y);
    });
}

} // namespace

const std::string* VersionInfo::FindString(std::string_view blockKey, std::string_view name) const {
    for (const VersionStringBlock& block : blocks) {
        if (!EqualAsciiNoCase(block.key, blockKey)) {
            continue;
        }
        for (const VersionString& string : block.strings) {
            if (EqualAsciiNoCase(string.name, name)) {
                return &string.value;
            }
        }
        return nullptr;
    }
    return nullptr;
}

bool ParseVersionRecord(std::span<const unsigned char> bytes, VersionInfo& info) {
    if (bytes.size() < kVersionRecordHeaderSize ||
        !std::equal(kVersionRecordMagic.begin(), kVersionRecordMagic.end(), bytes.begin())) {
        return false;
    }
    RecordReader reader(bytes.subspan(kVersionRecordMagic.size()));
    uint64_t format = 0, flags = 0, length = 0, productMS = 0, productLS = 0, fileMS = 0,
             fileLS = 0, blockCount = 0;
    if (!reader.Number(2, format) || !reader.Number(2, flags) || !reader.Number(4, length) ||
        !reader.Number(4, productMS) || !reader.Number(4, productLS) || !reader.Number(4, fileMS) ||
        !reader.Number(4, fileLS) || !reader.Number(2, blockCount)) {
        return false;
    }
    if (format != kVersionRecordFormat || length < kVersionRecordHeaderSize ||
        length > bytes.size()) {
        return false;
    }
    // From here on nothing may be read past the record's own length.
    RecordReader body(bytes.subspan(kVersionRecordHeaderSize,
                                    static_cast<std::size_t>(length) - kVersionRecordHeaderSize));
    VersionInfo result;
    result.hasFixedInfo = (flags & kVersionFlagFixedInfo) != 0;
    result.productVersionMS = static_cast<uint32_t>(productMS);
    result.productVersionLS = static_cast<uint32_t>(productLS);
    result.fileVersionMS = static_cast<uint32_t>(fileMS);
    result.fileVersionLS = static_cast<uint32_t>(fileLS);
    for (uint64_t b = 0; b < blockCount; ++b) {
        VersionStringBlock block;
        uint64_t stringCount = 0;
        if (!body.Text(block.key) || !body.Number(2, stringCount)) {
            return false;
        }
        for (uint64_t s = 0; s < stringCount; ++s) {
            VersionString string;
            if (!body.Text(string.name) || !body.Text(string.value)) {
                return false;
            }
            block.strings.push_back(std::move(string));
        }
        result.blocks.push_back(std::move(block));
    }
    if (kVersionRecordHeaderSize + body.Position() != length) {
        return false;
    }
    info = std::move(result);
    return true;
}

bool ReadVersionRecord(const std::string& path, VersionInfo& info) {
    std::vector<unsigned char> section;
    return ReadElfSection(path, kVersionSectionName, section, kVersionRecordMaxSize) &&
           ParseVersionRecord(section, info);
}
