#include "platform/ElfSection.h"

#include "platform/LastError.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Random access to the bytes of the file; Read fails for any range outside it.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    [[nodiscard]] virtual bool ReadAt(uint64_t offset, void* out, std::size_t length) const = 0;

    [[nodiscard]] bool InBounds(uint64_t offset, uint64_t length) const {
        return offset <= Size() && length <= Size() - offset;
    }
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const unsigned char> image) : m_image(image) {}
    uint64_t Size() const override { return m_image.size(); }
    bool ReadAt(uint64_t offset, void* out, std::size_t length) const override {
        if (!InBounds(offset, length)) {
            return false;
        }
        if (length != 0) {
            std::memcpy(out, m_image.data() + offset, length);
        }
        return true;
    }

private:
    std::span<const unsigned char> m_image;
};

class FileSource final : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* out, std::size_t length) const override {
        if (!InBounds(offset, length)) {
            return false;
        }
        auto* bytes = static_cast<unsigned char*>(out);
        while (length > 0) {
            const ssize_t n = pread(m_fd, bytes, length, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            bytes += n;
            offset += static_cast<uint64_t>(n);
            length -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int m_fd;
    uint64_t m_size;
};

uint64_t LoadLE(const unsigned char* p, std::size_t bytes) {
    uint64_t value = 0;
    for (std::size_t i = bytes; i-- > 0;) {
        value = (value << 8) | p[i];
    }
    return value;
}

struct SectionHeader {
    uint32_t name = 0;
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t link = 0;
};

constexpr uint32_t kShtNobits = 8;
constexpr uint16_t kShnXindex = 0xFFFF;
// More sections than any real executable has; bounds the work on a hostile file.
constexpr uint64_t kMaxSections = 1U << 20;
constexpr uint64_t kMaxNameTable = 16U << 20;

// Where the section headers are and how to read them, from the file header.
struct ElfLayout {
    bool is64 = false;
    uint64_t shoff = 0;        // offset of the section header table
    uint64_t shentsize = 0;    // size of one entry as the file states it
    std::size_t entrySize = 0; // the bytes of an entry that we read
    uint64_t shnum = 0;
    uint64_t shstrndx = 0; // the section that holds the section names
};

// The file header of a little-endian ELF file of either class, version 1.
bool ReadLayout(const ByteSource& source, ElfLayout& layout) {
    static constexpr unsigned char kMagic[4] = {0x7F, 'E', 'L', 'F'};
    unsigned char ident[64] = {};
    if (!source.ReadAt(0, ident, 16) || std::memcmp(ident, kMagic, sizeof kMagic) != 0) {
        return false;
    }
    const bool is64 = ident[4] == 2;
    if ((ident[4] != 1 && !is64) || ident[5] != 1 /* little-endian */ || ident[6] != 1) {
        return false;
    }
    const std::size_t headerSize = is64 ? 64 : 52;
    if (!source.ReadAt(0, ident, headerSize)) {
        return false;
    }
    layout.is64 = is64;
    layout.shoff = is64 ? LoadLE(ident + 0x28, 8) : LoadLE(ident + 0x20, 4);
    layout.shentsize = LoadLE(ident + (is64 ? 0x3A : 0x2E), 2);
    layout.shnum = LoadLE(ident + (is64 ? 0x3C : 0x30), 2);
    layout.shstrndx = LoadLE(ident + (is64 ? 0x3E : 0x32), 2);
    layout.entrySize = is64 ? 64 : 40;
    return layout.shoff != 0 && layout.shoff <= source.Size() &&
           layout.shentsize >= layout.entrySize;
}

bool ReadSectionHeader(const ByteSource& source, const ElfLayout& layout, uint64_t index,
                       SectionHeader& header) {
    unsigned char raw[64];
    if (index >= kMaxSections ||
        !source.ReadAt(layout.shoff + index * layout.shentsize, raw, layout.entrySize)) {
        return false;
    }
    const bool is64 = layout.is64;
    header.name = static_cast<uint32_t>(LoadLE(raw, 4));
    header.type = static_cast<uint32_t>(LoadLE(raw + 4, 4));
    header.offset = is64 ? LoadLE(raw + 24, 8) : LoadLE(raw + 16, 4);
    header.size = is64 ? LoadLE(raw + 32, 8) : LoadLE(raw + 20, 4);
    header.link = static_cast<uint32_t>(LoadLE(is64 ? raw + 40 : raw + 24, 4));
    return true;
}

// Extended numbering: a count or name-table index too large for the file header lives in
// the first section header. Then the count and index must fit the file.
bool ResolveSectionCount(const ByteSource& source, ElfLayout& layout) {
    if (layout.shnum == 0 || layout.shstrndx == kShnXindex) {
        SectionHeader first;
        if (!ReadSectionHeader(source, layout, 0, first)) {
            return false;
        }
        if (layout.shnum == 0) {
            layout.shnum = first.size;
        }
        if (layout.shstrndx == kShnXindex) {
            layout.shstrndx = first.link;
        }
    }
    return layout.shnum != 0 && layout.shnum <= kMaxSections && layout.shstrndx < layout.shnum &&
           source.InBounds(layout.shoff, layout.shnum * layout.shentsize);
}

bool ReadNameTable(const ByteSource& source, const ElfLayout& layout,
                   std::vector<unsigned char>& table) {
    SectionHeader names;
    if (!ReadSectionHeader(source, layout, layout.shstrndx, names) || names.type == kShtNobits ||
        names.size > kMaxNameTable || !source.InBounds(names.offset, names.size)) {
        return false;
    }
    table.resize(static_cast<std::size_t>(names.size));
    return source.ReadAt(names.offset, table.data(), table.size());
}

// Whether the name at `offset` of the name table is `name`; it must end with its NUL inside
// the table.
bool NameIs(const std::vector<unsigned char>& table, uint32_t offset, std::string_view name) {
    return offset < table.size() && table.size() - offset > name.size() &&
           std::memcmp(table.data() + offset, name.data(), name.size()) == 0 &&
           table[offset + name.size()] == 0;
}

bool FindSection(const ByteSource& source, std::string_view name,
                 std::vector<unsigned char>& contents, std::size_t maxSize) {
    ElfLayout layout;
    std::vector<unsigned char> table;
    if (!ReadLayout(source, layout) || !ResolveSectionCount(source, layout) ||
        !ReadNameTable(source, layout, table)) {
        return false;
    }
    for (uint64_t i = 0; i < layout.shnum; ++i) {
        SectionHeader header;
        if (!ReadSectionHeader(source, layout, i, header)) {
            return false;
        }
        if (!NameIs(table, header.name, name)) {
            continue;
        }
        if (header.type == kShtNobits || header.size > maxSize ||
            !source.InBounds(header.offset, header.size)) {
            return false;
        }
        std::vector<unsigned char> bytes(static_cast<std::size_t>(header.size));
        if (!source.ReadAt(header.offset, bytes.data(), bytes.size())) {
            return false;
        }
        contents = std::move(bytes);
        return true;
    }
    return false;
}

} // namespace

bool ReadElfSection(const std::string& path, std::string_view name,
                    std::vector<unsigned char>& contents, std::size_t maxSize) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    struct stat st {};
    bool found = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const FileSource source(fd, static_cast<uint64_t>(st.st_size));
        found = FindSection(source, name, contents, maxSize);
    }
    close(fd);
    return found;
}

bool FindElfSection(std::span<const unsigned char> image, std::string_view name,
                    std::vector<unsigned char>& contents, std::size_t maxSize) {
    const MemorySource source(image);
    return FindSection(source, name, contents, maxSize);
}
