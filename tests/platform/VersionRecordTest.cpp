#include "platform/VersionRecord.h"
#include "platform/ElfSection.h"

#include "testlib/ElfTestFile.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>
#include <random>

namespace {

constexpr VersionStringView kCzech[] = {{"ProductName", "MIVO klient"},
                                        {"ProductVersion", "1, 6, 0, 16"}};
constexpr VersionStringView kEnglish[] = {{"ProductVersion", "1.6.0.16"}};
constexpr VersionBlockView kBlocks[] = {{kVersionBlockCzech, kCzech},
                                        {kVersionBlockUsEnglish, kEnglish}};
constexpr VersionRecordView kRecord{
    true, VersionHalf(1, 6), VersionHalf(0, 16), VersionHalf(1, 6), VersionHalf(0, 17), kBlocks};

std::string ImageText(const std::vector<unsigned char>& image) {
    return std::string(image.begin(), image.end());
}

TEST(VersionRecordTest, EncodesAndParsesBack) {
    const std::vector<unsigned char> bytes = EncodeVersionRecordBytes(kRecord);
    ASSERT_FALSE(bytes.empty());
    // The record length in the header is the whole record.
    EXPECT_EQ(bytes[12] | bytes[13] << 8 | bytes[14] << 16 | bytes[15] << 24,
              static_cast<int>(bytes.size()));

    VersionInfo info;
    ASSERT_TRUE(ParseVersionRecord(bytes, info));
    EXPECT_TRUE(info.hasFixedInfo);
    EXPECT_EQ(info.productVersionMS, 0x00010006U);
    EXPECT_EQ(info.productVersionLS, 0x00000010U);
    EXPECT_EQ(info.fileVersionLS, 0x00000011U);
    ASSERT_EQ(info.blocks.size(), 2U);
    ASSERT_NE(info.FindString("040504b0", "productversion"), nullptr);
    EXPECT_EQ(*info.FindString("040504B0", "ProductVersion"), "1, 6, 0, 16");
    EXPECT_EQ(*info.FindString("040904B0", "ProductVersion"), "1.6.0.16");
    EXPECT_EQ(info.FindString("040904B0", "ProductName"), nullptr);
    EXPECT_EQ(info.FindString("041904B0", "ProductVersion"), nullptr);

    // Bytes after the record are not part of it.
    std::vector<unsigned char> padded = bytes;
    padded.resize(padded.size() + 16, 0);
    EXPECT_TRUE(ParseVersionRecord(padded, info));
}

TEST(VersionRecordTest, RefusesDamagedRecords) {
    const std::vector<unsigned char> bytes = EncodeVersionRecordBytes(kRecord);
    VersionInfo info;
    // Every truncation fails.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(ParseVersionRecord(std::span(bytes.data(), size), info)) << size;
    }
    auto damaged = [&bytes](std::size_t at, unsigned char value) {
        std::vector<unsigned char> copy = bytes;
        copy[at] = value;
        return copy;
    };
    EXPECT_FALSE(ParseVersionRecord(damaged(0, 'X'), info));            // magic
    EXPECT_FALSE(ParseVersionRecord(damaged(8, 2), info));              // format version
    EXPECT_FALSE(ParseVersionRecord(damaged(12, bytes[12] - 1), info)); // length too short
    EXPECT_FALSE(ParseVersionRecord(damaged(32, 3), info));             // more blocks than bytes
    EXPECT_FALSE(ParseVersionRecord(damaged(34, 0xFF), info));          // key runs past the end

    // Random damage never reads outside the bytes (the sanitizers watch) nor crashes.
    std::mt19937 random(99);
    for (int round = 0; round < 5000; ++round) {
        std::vector<unsigned char> copy = bytes;
        for (int n = 0; n < 3; ++n) {
            copy[random() % copy.size()] = static_cast<unsigned char>(random());
        }
        [[maybe_unused]] const bool parsed = ParseVersionRecord(copy, info);
    }
}

TEST(ElfSectionTest, FindsTheSectionInElf64AndElf32) {
    const std::vector<unsigned char> record = EncodeVersionRecordBytes(kRecord);
    for (bool is64 : {true, false}) {
        const std::vector<unsigned char> image = MakeElfImage(
            is64, {{".text", {0x90, 0x90}}, {".mivo_version", record}, {".bss", {1, 2}, 8}});
        std::vector<unsigned char> contents;
        ASSERT_TRUE(FindElfSection(image, ".mivo_version", contents, 65536)) << is64;
        EXPECT_EQ(contents, record);
        EXPECT_TRUE(FindElfSection(image, ".text", contents, 65536));
        EXPECT_FALSE(FindElfSection(image, ".mivo_version", contents, record.size() - 1));
        EXPECT_FALSE(FindElfSection(image, ".mivo", contents, 65536)); // prefix is not a match
        EXPECT_FALSE(FindElfSection(image, ".bss", contents, 65536));  // no bytes in the file

        TempDir dir;
        const std::string path = dir.Write("prog", ImageText(image));
        VersionInfo info;
        ASSERT_TRUE(ReadVersionRecord(path, info));
        EXPECT_EQ(*info.FindString(kVersionBlockCzech, "ProductVersion"), "1, 6, 0, 16");
    }
}

TEST(ElfSectionTest, UntrustedFilesFailCleanly) {
    const std::vector<unsigned char> image =
        MakeElfImage(true, {{".mivo_version", EncodeVersionRecordBytes(kRecord)}});
    std::vector<unsigned char> contents;
    // Truncated anywhere: the section table sits at the end, so every prefix fails.
    for (std::size_t size = 0; size < image.size(); ++size) {
        EXPECT_FALSE(
            FindElfSection(std::span(image.data(), size), ".mivo_version", contents, 65536))
            << size;
    }
    auto patched = [&image](std::size_t at, uint64_t value, std::size_t size) {
        std::vector<unsigned char> copy = image;
        PutLE(copy, at, value, size);
        return copy;
    };
    const std::size_t shoff = image[0x28] | image[0x29] << 8;
    EXPECT_FALSE(FindElfSection(patched(5, 2, 1), ".mivo_version", contents, 65536)); // big-endian
    EXPECT_FALSE(FindElfSection(patched(4, 3, 1), ".mivo_version", contents, 65536)); // bad class
    EXPECT_FALSE(FindElfSection(patched(0x28, ~0ULL, 8), ".mivo_version", contents, 65536));
    EXPECT_FALSE(FindElfSection(patched(0x28, ~0ULL - 100, 8), ".mivo_version", contents, 65536));
    EXPECT_FALSE(FindElfSection(patched(0x3A, 8, 2), ".mivo_version", contents, 65536));
    EXPECT_FALSE(FindElfSection(patched(0x3C, 0xFFFE, 2), ".mivo_version", contents, 65536));
    EXPECT_FALSE(FindElfSection(patched(0x3E, 0x7000, 2), ".mivo_version", contents, 65536));
    // The section's own offset or size points outside the file.
    EXPECT_FALSE(
        FindElfSection(patched(shoff + 64 + 24, ~0ULL - 3, 8), ".mivo_version", contents, 65536));
    EXPECT_FALSE(FindElfSection(patched(shoff + 64 + 32, image.size(), 8), ".mivo_version",
                                contents, 1U << 30));
    // A name offset outside the name table, and a name table that ends before the name's NUL.
    EXPECT_FALSE(
        FindElfSection(patched(shoff + 64, 0xFFFFFFF0, 4), ".mivo_version", contents, 65536));
    EXPECT_FALSE(
        FindElfSection(patched(shoff + 2 * 64 + 32, 14, 8), ".mivo_version", contents, 65536));
    // Extended numbering with a count of zero sections in section 0.
    EXPECT_FALSE(FindElfSection(patched(0x3C, 0, 2), ".mivo_version", contents, 65536));
    // Extended numbering pointing the name table index somewhere absurd.
    EXPECT_FALSE(FindElfSection(patched(0x3E, 0xFFFF, 2), ".mivo_version", contents, 65536));

    std::mt19937 random(5);
    for (int round = 0; round < 20000; ++round) {
        std::vector<unsigned char> copy = image;
        for (int n = 0; n < 4; ++n) {
            copy[random() % copy.size()] = static_cast<unsigned char>(random());
        }
        [[maybe_unused]] const bool found = FindElfSection(copy, ".mivo_version", contents, 65536);
    }

    TempDir dir;
    VersionInfo info;
    EXPECT_FALSE(ReadVersionRecord(dir.Write("text", "just some text"), info));
    EXPECT_FALSE(ReadVersionRecord(dir.Write("empty", ""), info));
    EXPECT_FALSE(ReadVersionRecord(dir.File("missing"), info));
    EXPECT_FALSE(ReadVersionRecord(dir.Path(), info));
}

// The build writes the record into every executable, and the section holds nothing else.
TEST(ElfSectionTest, TheBuiltExecutableCarriesItsVersion) {
    const std::string program = MIVO_BINARY_DIR "/cli/mivoklient-cli";
    std::vector<unsigned char> section;
    ASSERT_TRUE(ReadElfSection(program, ".mivo_version", section, 65536))
        << "build mivoklient-cli first: " << program;
    VersionInfo info;
    ASSERT_TRUE(ParseVersionRecord(section, info));
    EXPECT_EQ(section.size(), static_cast<std::size_t>(section[12] | section[13] << 8 |
                                                       section[14] << 16 | section[15] << 24));
    EXPECT_TRUE(info.hasFixedInfo);
    EXPECT_EQ(info.productVersionMS, VersionHalf(1, 0));
    EXPECT_EQ(info.productVersionLS, VersionHalf(0, 1));
    EXPECT_EQ(info.fileVersionMS, VersionHalf(1, 0));
    EXPECT_EQ(info.fileVersionLS, VersionHalf(0, 1));
    ASSERT_NE(info.FindString(kVersionBlockCzech, "ProductVersion"), nullptr);
    EXPECT_EQ(*info.FindString(kVersionBlockCzech, "ProductVersion"), "1, 0, 0, 1");
    EXPECT_EQ(*info.FindString(kVersionBlockUsEnglish, "ProductVersion"), "1.0.0.1");
}

} // namespace
