// The five digest algorithms: code (the stored setting hash_alg), display name, OID and
// digest length, and the file digest that new stamps and verifications start with.
#pragma once

#include "support/ResultCodes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

struct HashAlgorithm {
    int nCode;
    const char* szName;
    const char* szOid;
    int nDigestLength;
};

// Digest buffers are this long; the longest digest is 64 bytes.
inline constexpr int kDigestBufferSize = 128;

// The table in code order 0..4.
const HashAlgorithm* HashAlgorithmTable();
inline constexpr int kHashAlgorithmCount = 5;

// The entry of a code 0..4, nullptr otherwise.
const HashAlgorithm* HashAlgorithmByCode(int code);
// The entry whose OID equals `oid` exactly (case-sensitive), nullptr otherwise.
const HashAlgorithm* HashAlgorithmByOid(const std::string& oid);

// OID for a request: codes 1..4 as in the table; 0 and every other value give SHA-1.
const char* HashOidForRequest(int code);

// Called now and then while a file is hashed: bytes read so far, file size (0 if unknown).
using DigestProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Hashes the regular file at `path` with the algorithm named by `oid`: RESULT_OK, or
// RESULT_E_HASH_UNSUPPORTED, RESULT_E_HASH_INIT, RESULT_E_READ_SOURCE (empty path, cannot
// be opened, a folder), RESULT_E_NOT_REGULAR_FILE (a device, FIFO or socket: refused
// before it is opened, so nothing blocks), RESULT_E_READ_FILE (a read failed part-way) or
// RESULT_E_SOURCE_CHANGED (its size or modification time moved while it was read). The
// digest length is written into `digestLength` as soon as the OID is known, before the file
// is opened. Only on success does `digest` (kDigestBufferSize bytes) receive the digest.
// A failed open or read leaves its errno as the last error; the two refusals leave 0.
[[nodiscard]] int FileDigest(const std::string& path, const char* oid, unsigned char* digest,
                             std::int32_t& digestLength, const DigestProgress& progress = {});

// The read(2) that FileDigest reads through; nullptr restores read(2) itself. Answers the
// previous one. For tests that need a file which fails part-way.
using FileReadFunction = ssize_t (*)(int fd, void* buffer, std::size_t count);
FileReadFunction SetFileDigestRead(FileReadFunction read);
