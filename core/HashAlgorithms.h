// The five digest algorithms: code (the stored setting hash_alg), display name, OID and
// digest length, and the file digest that new stamps and verifications start with.
#pragma once

#include "support/ResultCodes.h"

#include <cstdint>
#include <functional>
#include <string>

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

// Hashes the file at `path` with the algorithm named by `oid`: RESULT_OK, or
// RESULT_E_HASH_UNSUPPORTED, RESULT_E_HASH_INIT, RESULT_E_READ_SOURCE. The digest length is written
// into `digestLength` as soon as the OID is known, before the file is opened. On success
// `digest` (kDigestBufferSize bytes) holds the digest. A read error ends the file: the
// digest then covers what was read. A failed open leaves errno as the last error.
[[nodiscard]] int FileDigest(const std::string& path, const char* oid, unsigned char* digest,
                             std::int32_t& digestLength, const DigestProgress& progress = {});
