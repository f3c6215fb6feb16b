#include "support/SupportFunctions.h"
#include "platform/LastError.h"

#include "testlib/ElfTestFile.h"
#include "testlib/TempDir.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ProgramWith(const TempDir& dir, const char* name, const VersionRecordView& record,
                        bool is64 = true) {
    const std::vector<unsigned char> image = MakeElfImage(
        is64, {{".text", {0xC3}}, {".mivo_version", EncodeVersionRecordBytes(record)}});
    return dir.Write(name, std::string(image.begin(), image.end()));
}

std::string ProductVersion(const std::string& path) {
    std::string text = "previous";
    GetProductVersion(path, text);
    return text;
}

TEST(GetProductVersionTest, LooksUpCzechThenEnglishThenTheFixedNumbers) {
    TempDir dir;
    static constexpr VersionStringView czech[] = {{"ProductVersion", "1, 6, 0, 16"}};
    static constexpr VersionStringView english[] = {{"ProductVersion", "1.6.0.16"}};
    static constexpr VersionStringView otherName[] = {{"FileVersion", "9.9"}};
    static constexpr VersionBlockView both[] = {{"040904B0", english}, {"040504B0", czech}};
    static constexpr VersionBlockView usOnly[] = {{"040904B0", english}};
    static constexpr VersionBlockView noProductVersion[] = {{"040504B0", otherName}};
    static constexpr VersionBlockView otherLanguage[] = {{"040704B0", czech}};

    EXPECT_EQ(ProductVersion(ProgramWith(dir, "both", {true, 1, 2, 3, 4, both})), "1, 6, 0, 16");
    EXPECT_EQ(ProductVersion(ProgramWith(dir, "us", {true, 1, 2, 3, 4, usOnly}, false)),
              "1.6.0.16");
    const VersionRecordView fixedOnly{true, VersionHalf(1, 6), VersionHalf(0, 16), 0, 0, {}};
    EXPECT_EQ(ProductVersion(ProgramWith(dir, "fixed", fixedOnly)), "1.6.0.16");
    EXPECT_EQ(ProductVersion(ProgramWith(
                  dir, "max", {true, 0xFFFFFFFF, VersionHalf(0, 65535), 0, 0, noProductVersion})),
              "65535.65535.0.65535");
    EXPECT_EQ(ProductVersion(
                  ProgramWith(dir, "other", {true, VersionHalf(2, 0), 0, 0, 0, otherLanguage})),
              "2.0.0.0");
    // Nothing usable: the text keeps what it had.
    EXPECT_EQ(ProductVersion(ProgramWith(dir, "none", {false, 1, 2, 3, 4, noProductVersion})),
              "previous");
    const std::vector<unsigned char> noSection = MakeElfImage(true, {{".text", {0xC3}}});
    EXPECT_EQ(
        ProductVersion(dir.Write("nosection", std::string(noSection.begin(), noSection.end()))),
        "previous");
    EXPECT_EQ(ProductVersion(dir.Write("script", "#!/bin/sh\necho hi\n")), "previous");
    EXPECT_EQ(ProductVersion(dir.File("missing")), "previous");
    EXPECT_EQ(ProductVersion(""), "previous");
}

TEST(GetProductVersionTest, ReadsTheBuiltExecutable) {
    EXPECT_EQ(ProductVersion(MIVO_BINARY_DIR "/cli/mivoklient-cli"), "1, 0, 0, 1");
}

TEST(SplitPathTest, SplitsAtTheLastSlash) {
    std::string dir, name;
    SplitPath("/home/a/b.tsr", dir, name);
    EXPECT_EQ(dir, "/home/a");
    EXPECT_EQ(name, "b.tsr");

    dir = "", name = "kept";
    SplitPath("/home/a/", dir, name);
    EXPECT_EQ(dir, "/home/a");
    EXPECT_EQ(name, "kept");

    dir = "d", name = "n";
    SplitPath("b.tsr", dir, name);
    EXPECT_EQ(dir, "d");
    EXPECT_EQ(name, "n");

    dir = "d", name = "n";
    SplitPath("/b.tsr", dir, name);
    EXPECT_EQ(dir, "");
    EXPECT_EQ(name, "b.tsr");
}

TEST(ModulePathTest, NamesThisProgram) {
    std::string path, name = "x", directory = "x";
    EXPECT_EQ(&ModulePath(path), &path);
    char expected[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", expected, sizeof expected - 1), 0);
    EXPECT_EQ(path, expected);
    EXPECT_EQ(ModuleFileName(name), "test_support");
    EXPECT_EQ(ModuleDirectory(directory) + "/" + name, path);
}

TEST(UrlObjectPathTest, PagePaths) {
    std::string text;
    EXPECT_EQ(UrlObjectPath("res://app/certif.htm", text), "/certif.htm");
    EXPECT_EQ(UrlObjectPath("res://app/about.htm", text), "/about.htm");
    EXPECT_EQ(UrlObjectPath("https://tsa.example.net/cgi-bin/razitko.cgi", text),
              "/cgi-bin/razitko.cgi");
    EXPECT_EQ(UrlObjectPath("http://tsa.example.net:8080/x/config.htm?a=b", text),
              "/x/config.htm?a=b");
    // Not a URL the parser takes: the text from the last "/".
    EXPECT_EQ(UrlObjectPath("res://C:\\Program Files\\mivo.exe/about.htm", text), "/about.htm");
    EXPECT_EQ(UrlObjectPath("pages/certif.htm", text), "/certif.htm");
    text = "old";
    EXPECT_EQ(UrlObjectPath("about:blank", text), "");
    SetLastError(7);
    EXPECT_EQ(UrlObjectPath("nonsense", text), "");
    EXPECT_EQ(GetLastError(), 7U);
}

TEST(AbsolutePathTest, JoinsAndNormalisesByTheTextAlone) {
    const struct {
        const char* path;
        const char* base;
        const char* expected;
    } cases[] = {
        {"a.txt", "/home/jan", "/home/jan/a.txt"},
        {"a.txt", "/home/jan/", "/home/jan/a.txt"},
        {"./a.txt", "/home/jan", "/home/jan/a.txt"},
        {"../eva/a.txt", "/home/jan", "/home/eva/a.txt"},
        {"../../../../a.txt", "/home/jan", "/a.txt"}, // nothing above the root
        {"/data//smlouvy/./2024/../a.txt", "/ignored", "/data/smlouvy/a.txt"},
        {"/a/b/..", "/x", "/a"},
        {"/..", "/x", "/"},
        {"dir/", "/x", "/x/dir/"},               // a folder keeps its slash
        {"Smlouva.txt", "/x", "/x/Smlouva.txt"}, // case is kept
        {"a b/č.txt", "/x", "/x/a b/č.txt"},
        {"", "/x", ""},
        // An unknown base keeps a relative path relative.
        {"a/../../b.txt", "", "../b.txt"},
        {".", "", "."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AbsolutePath(c.path, c.base), c.expected) << c.path << " in " << c.base;
    // Without a base: the current folder.
    const std::string cwd = CurrentDirectory();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(AbsolutePath("x/y.txt"), AbsolutePath(cwd + "/x/y.txt", ""));
    EXPECT_EQ(AbsolutePath("/abs/./y.txt"), "/abs/y.txt");
}

TEST(ReadWholeFileTest, ReadsExactlyTheFile) {
    TempDir dir;
    const std::string content("DER\0\x30\x82", 6);
    std::vector<unsigned char> bytes(100, 0xAA); // longer than the file
    ASSERT_TRUE(ReadWholeFile(dir.Write("a.tsr", content), bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);

    bytes.assign(3, 1);
    ASSERT_TRUE(ReadWholeFile(dir.Write("empty.tst", ""), bytes));
    EXPECT_TRUE(bytes.empty());

    const std::string big(3 << 20, 'b');
    ASSERT_TRUE(ReadWholeFile(dir.Write("big", big), bytes));
    EXPECT_EQ(bytes.size(), big.size());
}

TEST(ReadWholeFileTest, FailuresLeaveTheBufferAndSayWhy) {
    TempDir dir;
    const std::vector<unsigned char> original = {1, 2, 3};
    std::vector<unsigned char> bytes = original;

    EXPECT_FALSE(ReadWholeFile(dir.File("missing.tsr"), bytes));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_FALSE(ReadWholeFile(dir.Path(), bytes));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EISDIR));
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(fifo, bytes)); // and does not wait for a writer
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));

    // Larger than 2^31 - 1 bytes: refused before anything is allocated (a sparse file).
    const std::string huge = dir.File("huge");
    const int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0x80000000LL), 0);
    close(fd);
    EXPECT_FALSE(ReadWholeFile(huge, bytes));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EFBIG));

    EXPECT_EQ(bytes, original);
}

} // namespace
