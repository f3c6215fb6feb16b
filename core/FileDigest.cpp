#include "core/HashAlgorithms.h"

#include "core/tti/tti.h"
#include "platform/LastError.h"
#include "support/Cancellation.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr HashAlgorithm kTable[kHashAlgorithmCount] = {
    {0, "SHA1", "1.3.14.3.2.26", 20},
    {1, "MD5", "1.2.840.113549.2.5", 16},
    {2, "SHA-256", "2.16.840.1.101.3.4.2.1", 32},
    {3, "SHA-384", "2.16.840.1.101.3.4.2.2", 48},
    {4, "SHA-512", "2.16.840.1.101.3.4.2.3", 64},
};

struct DigestFunctions {
    int nCode;
    TTI_DIGEST_CTX (*init)();
    void (*update)(TTI_DIGEST_CTX, const void*, unsigned long);
    void (*final)(TTI_DIGEST_CTX, unsigned char*);
};

// The order in which an OID is matched: SHA-1, SHA-256, SHA-384, SHA-512, MD5.
constexpr DigestFunctions kFunctions[] = {
    {0, TTI_SHA1_Init, TTI_SHA1_Update, TTI_SHA1_Final},
    {2, TTI_SHA256_Init, TTI_SHA256_Update, TTI_SHA256_Final},
    {3, TTI_SHA384_Init, TTI_SHA384_Update, TTI_SHA384_Final},
    {4, TTI_SHA512_Init, TTI_SHA512_Update, TTI_SHA512_Final},
    {1, TTI_MD5_Init, TTI_MD5_Update, TTI_MD5_Final},
};

// Blocks larger than 1024 bytes give the same digest and far fewer calls. At 1 MiB the
// hand-over between the reading and the hashing thread is rare enough that hashing a file
// in the page cache runs at 0.97 of the hash alone (at 256 KiB: 0.91); the three buffers
// of the ring stay 3 MiB whatever the file's size.
constexpr std::size_t kReadBlock = 1024 * 1024;

std::atomic<FileReadFunction> g_read{nullptr};

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

ssize_t ReadBlock(int fd, void* buffer, std::size_t count) {
    const FileReadFunction read = g_read.load();
    return read != nullptr ? read(fd, buffer, count) : ::read(fd, buffer, count);
}

// A device, FIFO or socket: nothing a stamp can vouch for (it has no end, or no fixed
// content). Folders are told apart, as the open of one reports them.
bool Unhashable(const struct stat& st) {
    return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

int Failed(int code, int err) {
    SetLastError(static_cast<std::uint32_t>(err));
    return code;
}

// Opens the source for hashing and answers its status in `st`: RESULT_OK, or the code of
// the failure with the last error set (0 for a source that is not a regular file).
int OpenSource(const std::string& path, Fd& file, struct stat& st) {
    if (path.empty())
        return Failed(RESULT_E_READ_SOURCE, ENOENT);
    // Looked at before it is opened: opening a FIFO would wait for a writer, a socket
    // cannot be opened at all, and a device would be read without end.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && Unhashable(named))
        return Failed(RESULT_E_NOT_REGULAR_FILE, 0);
    // O_NONBLOCK: should the name turn into a FIFO after the look, the open still returns.
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0)
        return Failed(RESULT_E_READ_SOURCE, errno);
    if (S_ISDIR(st.st_mode))
        return Failed(RESULT_E_READ_SOURCE, EISDIR);
    if (!S_ISREG(st.st_mode))
        return Failed(RESULT_E_NOT_REGULAR_FILE, 0);
    // A regular file ignores O_NONBLOCK; cleared all the same, so reads block as usual.
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags != -1)
        (void)::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return RESULT_OK;
}

bool SameSizeAndTime(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Blocks pass from the reader thread to the hashing one through a ring of fixed buffers:
// while one block is hashed the next are read, and memory stays the same for any size.
class BlockRing {
public:
    static constexpr std::size_t kBuffers = 3;

    struct Block {
        std::vector<unsigned char> bytes = std::vector<unsigned char>(kReadBlock);
        ssize_t length = 0; // bytes read; 0 at the end of the file, -1 after an error
        int error = 0;      // errno of the failed read
    };

    // Reader side: the next free block to fill, or null once the hasher has stopped.
    Block* NextFree() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopped || m_filled - m_hashed < kBuffers; });
        return m_stopped ? nullptr : &m_blocks[m_filled % kBuffers];
    }
    void Filled() {
        {
            std::lock_guard lock(m_mutex);
            ++m_filled;
        }
        m_changed.notify_all();
    }
    // Hasher side: the next filled block, in file order.
    Block& NextFilled() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_filled > m_hashed; });
        return m_blocks[m_hashed % kBuffers];
    }
    void Hashed() {
        {
            std::lock_guard lock(m_mutex);
            ++m_hashed;
        }
        m_changed.notify_all();
    }
    void Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<Block, kBuffers> m_blocks;
    std::uint64_t m_filled = 0;
    std::uint64_t m_hashed = 0;
    bool m_stopped = false;
};

// Reads the file into the ring until its end or a read error, which end the reading.
void ReadInto(int fd, BlockRing& ring) {
    for (;;) {
        BlockRing::Block* block = ring.NextFree();
        if (block == nullptr)
            return;
        ssize_t n = 0;
        do
            n = ReadBlock(fd, block->bytes.data(), block->bytes.size());
        while (n < 0 && errno == EINTR);
        block->length = n < 0 ? -1 : n;
        block->error = n < 0 ? errno : 0;
        ring.Filled();
        if (n <= 0)
            return;
    }
}

// Feeds the whole open file to the context, a reader thread filling the ring while this
// one hashes. A read error ends the digest with RESULT_E_READ_FILE: a digest of part of a
// file must never be taken for the file's. A file whose size or modification time moved
// while it was read gives RESULT_E_SOURCE_CHANGED: the digest may mix two versions of it.
int HashOpenFile(int fd, const struct stat& st, const DigestFunctions& fn, TTI_DIGEST_CTX ctx,
                 const DigestProgress& progress) {
    const std::uint64_t total = static_cast<std::uint64_t>(st.st_size);
    BlockRing ring;
    std::thread reader([&] { ReadInto(fd, ring); });
    // Joined on every way out, a progress callback that throws included.
    struct Join {
        BlockRing& ring;
        std::thread& thread;
        ~Join() {
            ring.Stop();
            thread.join();
        }
    } join{ring, reader};

    std::uint64_t done = 0;
    for (;;) {
        BlockRing::Block& block = ring.NextFilled();
        if (block.length < 0)
            return Failed(RESULT_E_READ_FILE, block.error);
        if (block.length == 0)
            break;
        fn.update(ctx, block.bytes.data(), static_cast<unsigned long>(block.length));
        done += static_cast<std::uint64_t>(block.length);
        ring.Hashed();
        if (progress)
            progress(done, total);
        if (CancellationRequested())
            return RESULT_E_CANCELLED;
    }
    struct stat after {};
    if (::fstat(fd, &after) != 0)
        return Failed(RESULT_E_READ_FILE, errno);
    if (!SameSizeAndTime(st, after))
        return Failed(RESULT_E_SOURCE_CHANGED, 0);
    return RESULT_OK;
}

} // namespace

const HashAlgorithm* HashAlgorithmTable() {
    return kTable;
}

const HashAlgorithm* HashAlgorithmByCode(int code) {
    return code >= 0 && code < kHashAlgorithmCount ? &kTable[code] : nullptr;
}

const HashAlgorithm* HashAlgorithmByOid(const std::string& oid) {
    for (const auto& a : kTable)
        if (oid == a.szOid)
            return &a;
    return nullptr;
}

const char* HashOidForRequest(int code) {
    return code >= 1 && code <= 4 ? kTable[code].szOid : kTable[0].szOid;
}

int FileDigest(const std::string& path, const char* oid, unsigned char* digest,
               std::int32_t& digestLength, const DigestProgress& progress) {
    const DigestFunctions* fn = nullptr;
    if (oid != nullptr)
        for (const auto& f : kFunctions)
            if (std::strcmp(oid, kTable[f.nCode].szOid) == 0) {
                fn = &f;
                break;
            }
    if (fn == nullptr)
        return RESULT_E_HASH_UNSUPPORTED;
    digestLength = kTable[fn->nCode].nDigestLength;

    TTI_DIGEST_CTX ctx = fn->init();
    if (ctx == nullptr)
        return RESULT_E_HASH_INIT;
    Fd file;
    struct stat st {};
    int rc = OpenSource(path, file, st);
    if (rc == RESULT_OK)
        rc = HashOpenFile(file.fd, st, *fn, ctx, progress);
    // The context is finalised on every path: nothing else releases it. Only a digest of
    // the whole file reaches the caller.
    unsigned char scratch[kDigestBufferSize];
    fn->final(ctx, rc == RESULT_OK ? digest : scratch);
    return rc;
}

FileReadFunction SetFileDigestRead(FileReadFunction read) {
    return g_read.exchange(read);
}
