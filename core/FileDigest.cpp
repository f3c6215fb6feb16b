#include "core/HashAlgorithms.h"

#include "core/tti/tti.h"
#include "platform/LastError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
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

// Blocks larger than 1024 bytes give the same digest and far fewer calls.
constexpr std::size_t kReadBlock = 256 * 1024;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

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
    // The context is finalised on every path: nothing else releases it.
    auto discard = [&] {
        unsigned char scratch[kDigestBufferSize];
        fn->final(ctx, scratch);
    };

    if (path.empty()) {
        discard();
        SetLastError(ENOENT);
        return RESULT_E_READ_SOURCE;
    }
    Fd file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file.fd >= 0 && (::fstat(file.fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(file.fd);
        file.fd = -1;
        errno = err;
    }
    if (file.fd < 0) {
        const int err = errno;
        discard();
        SetLastError(static_cast<std::uint32_t>(err));
        return RESULT_E_READ_SOURCE;
    }
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    const std::uint64_t total = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    std::vector<unsigned char> block(kReadBlock);
    std::uint64_t done = 0;
    for (;;) {
        const ssize_t n = ::read(file.fd, block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        fn->update(ctx, block.data(), static_cast<unsigned long>(n));
        done += static_cast<std::uint64_t>(n);
        if (progress)
            progress(done, total);
    }
    fn->final(ctx, digest);
    return RESULT_OK;
}
