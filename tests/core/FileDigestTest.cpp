#include "core/HashAlgorithms.h"
#include "platform/LastError.h"
#include "support/Cancellation.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Hex(const unsigned char* p, int n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// The read(2) seam: counts reads, and on the n-th one does what the test asked for.
struct ReadSeam {
    static inline int calls = 0;
    static inline int failAt = 0;   // this read fails with EIO (0: none)
    static inline int changeAt = 0; // before this read the file changes (0: none)
    static inline void (*change)(int fd) = nullptr;

    static ssize_t Read(int fd, void* buffer, std::size_t count) {
        ++calls;
        if (calls == failAt) {
            errno = EIO;
            return -1;
        }
        if (calls == changeAt && change != nullptr)
            change(fd);
        return ::read(fd, buffer, count);
    }

    ReadSeam() {
        calls = failAt = changeAt = 0;
        change = nullptr;
        previous = SetFileDigestRead(&Read);
    }
    ~ReadSeam() { (void)SetFileDigestRead(previous); }
    ReadSeam(const ReadSeam&) = delete;
    ReadSeam& operator=(const ReadSeam&) = delete;

    FileReadFunction previous = nullptr;
};

class FileDigestTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("mivo-digest-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const auto path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path m_dir;
};

} // namespace

TEST(HashAlgorithmTable, CodesNamesOidsAndLengths) {
    struct Row {
        int code;
        const char* name;
        const char* oid;
        int length;
    } const rows[] = {
        {0, "SHA1", "1.3.14.3.2.26", 20},
        {1, "MD5", "1.2.840.113549.2.5", 16},
        {2, "SHA-256", "2.16.840.1.101.3.4.2.1", 32},
        {3, "SHA-384", "2.16.840.1.101.3.4.2.2", 48},
        {4, "SHA-512", "2.16.840.1.101.3.4.2.3", 64},
    };
    for (const auto& r : rows) {
        const HashAlgorithm* a = HashAlgorithmByCode(r.code);
        ASSERT_NE(a, nullptr);
        EXPECT_STREQ(a->szName, r.name);
        EXPECT_STREQ(a->szOid, r.oid);
        EXPECT_EQ(a->nDigestLength, r.length);
        EXPECT_EQ(HashAlgorithmByOid(r.oid), a);
        EXPECT_STREQ(HashOidForRequest(r.code), r.oid);
    }
    // Requests fall back to SHA-1 for every code outside 1..4.
    EXPECT_STREQ(HashOidForRequest(7), "1.3.14.3.2.26");
    EXPECT_STREQ(HashOidForRequest(-1), "1.3.14.3.2.26");
    EXPECT_EQ(HashAlgorithmByCode(5), nullptr);
    EXPECT_EQ(HashAlgorithmByOid("2.16.840.1.101.3.4.2.1 "), nullptr);
    EXPECT_EQ(HashAlgorithmByOid("1.2.3"), nullptr);
}

TEST_F(FileDigestTest, KnownVectorsForEveryAlgorithm) {
    const auto abc = Write("abc.txt", "abc");
    const auto empty = Write("empty.bin", "");
    struct Vector {
        const char* oid;
        const char* abc;
        const char* empty;
    } const vectors[] = {
        {"1.3.14.3.2.26", "a9993e364706816aba3e25717850c26c9cd0d89d",
         "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"1.2.840.113549.2.5", "900150983cd24fb0d6963f7d28e17f72",
         "d41d8cd98f00b204e9800998ecf8427e"},
        {"2.16.840.1.101.3.4.2.1",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"2.16.840.1.101.3.4.2.2",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baec"
         "a134c825a7",
         "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2"
         "f14898b95b"},
        {"2.16.840.1.101.3.4.2.3",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c"
         "23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318"
         "d2877eec2f63b931bd47417a81a538327af927da3e"},
    };
    for (const auto& v : vectors) {
        unsigned char digest[kDigestBufferSize] = {};
        std::int32_t length = -1;
        ASSERT_EQ(FileDigest(abc, v.oid, digest, length), RESULT_OK) << v.oid;
        EXPECT_EQ(Hex(digest, length), v.abc) << v.oid;
        // An empty file is the digest of zero bytes.
        ASSERT_EQ(FileDigest(empty, v.oid, digest, length), RESULT_OK) << v.oid;
        EXPECT_EQ(Hex(digest, length), v.empty) << v.oid;
    }
}

TEST_F(FileDigestTest, UnknownOidLeavesTheLengthAsTheCallerSetIt) {
    const auto file = Write("a.txt", "abc");
    unsigned char digest[kDigestBufferSize] = {};
    for (const char* oid : {"2.16.840.1.101.3.4.2.1 ", " 1.3.14.3.2.26", "1.2.3", "", "SHA-256"}) {
        std::int32_t length = 77;
        EXPECT_EQ(FileDigest(file, oid, digest, length), RESULT_E_HASH_UNSUPPORTED) << oid;
        EXPECT_EQ(length, 77) << oid;
    }
    std::int32_t length = 77;
    EXPECT_EQ(FileDigest(file, nullptr, digest, length), RESULT_E_HASH_UNSUPPORTED);
}

TEST_F(FileDigestTest, MissingEmptyOrDirectoryPathGives304AfterTheLengthWasSet) {
    unsigned char digest[kDigestBufferSize] = {};
    for (const std::string& path :
         {(m_dir / "missing.txt").string(), std::string(), m_dir.string()}) {
        std::int32_t length = 0;
        EXPECT_EQ(FileDigest(path, "2.16.840.1.101.3.4.2.3", digest, length), RESULT_E_READ_SOURCE)
            << path;
        EXPECT_EQ(length, 64) << path;
    }
}

TEST_F(FileDigestTest, LargeFileAcrossManyBlocksMatchesOneShotDigestAndReportsProgress) {
    // Not a multiple of any block size, so the last block is short.
    std::string data(3 * 1024 * 1024 + 12345, '\0');
    std::mt19937 rng(42);
    for (auto& c : data)
        c = static_cast<char>(rng());
    const auto file = Write("big.bin", data);

    unsigned char expected[EVP_MAX_MD_SIZE];
    unsigned int expectedLength = 0;
    ASSERT_EQ(
        EVP_Digest(data.data(), data.size(), expected, &expectedLength, EVP_sha512(), nullptr), 1);

    std::uint64_t lastDone = 0, lastTotal = 0;
    int calls = 0;
    unsigned char digest[kDigestBufferSize] = {};
    std::int32_t length = 0;
    ASSERT_EQ(FileDigest(file, "2.16.840.1.101.3.4.2.3", digest, length,
                         [&](std::uint64_t done, std::uint64_t total) {
                             EXPECT_GE(done, lastDone);
                             lastDone = done;
                             lastTotal = total;
                             ++calls;
                         }),
              RESULT_OK);
    ASSERT_EQ(length, static_cast<int>(expectedLength));
    EXPECT_EQ(std::memcmp(digest, expected, expectedLength), 0);
    EXPECT_GT(calls, 1);
    EXPECT_EQ(lastDone, data.size());
    EXPECT_EQ(lastTotal, data.size());
}

TEST_F(FileDigestTest, StopAskedWhileHashingEndsWithoutADigest) {
    const auto file = Write("big.bin", std::string(4 * 1024 * 1024, 'x'));
    std::atomic<bool> stop{false};
    const ScopedCancellation cancellation(stop);
    unsigned char digest[kDigestBufferSize] = {};
    std::int32_t length = 0;
    int calls = 0;
    // The user stops after the first block: the digest ends at the next step.
    EXPECT_EQ(FileDigest(file, "2.16.840.1.101.3.4.2.1", digest, length,
                         [&](std::uint64_t, std::uint64_t) {
                             ++calls;
                             stop = true;
                         }),
              RESULT_E_CANCELLED);
    EXPECT_EQ(calls, 1);
    stop = false;
    EXPECT_EQ(FileDigest(file, "2.16.840.1.101.3.4.2.1", digest, length), RESULT_OK);
}

TEST_F(FileDigestTest, ReadErrorPartWayGives303AndNoDigest) {
    const auto file = Write("disk.bin", std::string(4 * 1024 * 1024 + 7, 'd')); // five reads
    for (int failAt : {1, 3, 5}) {
        ReadSeam seam;
        seam.failAt = failAt;
        unsigned char digest[kDigestBufferSize];
        std::memset(digest, 0xAA, sizeof digest);
        std::int32_t length = 0;
        SetLastError(0);
        EXPECT_EQ(FileDigest(file, "2.16.840.1.101.3.4.2.1", digest, length), RESULT_E_READ_FILE)
            << failAt;
        EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(EIO));
        EXPECT_EQ(length, 32);
        EXPECT_EQ(std::count(digest, digest + sizeof digest, 0xAA), kDigestBufferSize)
            << "a digest of part of the file reached the caller";
        EXPECT_EQ(seam.calls, failAt); // nothing is read after the error
    }
    // The kernel's own refusal part-way: this process's memory file cannot be read at 0.
    unsigned char digest[kDigestBufferSize] = {};
    std::int32_t length = 0;
    EXPECT_EQ(FileDigest("/proc/self/mem", "2.16.840.1.101.3.4.2.1", digest, length),
              RESULT_E_READ_FILE);
}

TEST_F(FileDigestTest, SourcesThatAreNoRegularFileAreRefusedBeforeAnyRead) {
    const std::string fifo = (m_dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = (m_dir / "sock").string();
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const std::string link = (m_dir / "zero-link").string();
    fs::create_symlink("/dev/zero", link);

    ReadSeam seam;
    // An unopened FIFO would block the open, /dev/zero the reads, both for ever.
    for (const std::string& path :
         {fifo, socketPath, std::string("/dev/zero"), std::string("/dev/null"), link}) {
        unsigned char digest[kDigestBufferSize] = {};
        std::int32_t length = 0;
        EXPECT_EQ(FileDigest(path, "2.16.840.1.101.3.4.2.1", digest, length),
                  RESULT_E_NOT_REGULAR_FILE)
            << path;
    }
    EXPECT_EQ(seam.calls, 0);
    ::close(sock);
}

TEST_F(FileDigestTest, FileThatChangesWhileHashedIsReported) {
    static std::string path;
    path = Write("growing.log", std::string(600 * 1024, 'g'));
    struct Change {
        const char* what;
        void (*change)(int fd);
    } const changes[] = {
        {"appended",
         [](int) {
             std::ofstream(path, std::ios::app) << "more";
         }},
        {"rewritten in place, same size",
         [](int) {
             std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(1);
             f << 'G';
         }},
        {"touched only",
         [](int fd) {
             struct stat st {};
             ASSERT_EQ(::fstat(fd, &st), 0);
             const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec - 10, 0}};
             ASSERT_EQ(::futimens(fd, times), 0);
         }},
    };
    for (const Change& c : changes) {
        // An hour old, so that a write within the same clock tick still moves the time.
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
        ReadSeam seam;
        seam.changeAt = 2;
        seam.change = c.change;
        unsigned char digest[kDigestBufferSize] = {};
        std::int32_t length = 0;
        EXPECT_EQ(FileDigest(path, "2.16.840.1.101.3.4.2.1", digest, length),
                  RESULT_E_SOURCE_CHANGED)
            << c.what;
    }
    // Left alone, the same file hashes.
    unsigned char digest[kDigestBufferSize] = {};
    std::int32_t length = 0;
    EXPECT_EQ(FileDigest(path, "2.16.840.1.101.3.4.2.1", digest, length), RESULT_OK);
}
