// Building the request record of a new stamp: imprint of the file, policy, fresh nonce.
#pragma once

#include "core/HashAlgorithms.h"
#include "core/tti/tti.h"
#include "support/ResultCodes.h"

#include <string>

// Fills `count` bytes with cryptographically random bytes; 1 on success, anything else on
// failure (the contract of OpenSSL's RAND_bytes, which is the default).
using RandomSource = int (*)(unsigned char* bytes, int count);
// Installs the source that nonces are drawn from; nullptr restores the default. Answers the
// previous one. For tests that need a generator that fails.
RandomSource SetNonceRandomSource(RandomSource source);

// Puts 8 fresh bytes from the random source into the nonce field and sets the nonce length
// to 8. RFC 3161 wants a nonce that is unlikely to repeat: two requests made in the same
// second must not share one. False when the source fails: the nonce field is then all zero
// with length 0, and no request may be made with the record.
[[nodiscard]] bool MakeNonce(TTI_REQUEST& request);

// Zeroes `request` and fills it: size 440, certificate request 1, the policy OID (all zero
// when empty), the OID of hash code `hashAlg` (1 MD5, 2 SHA-256, 3 SHA-384, 4 SHA-512,
// anything else SHA-1), a fresh nonce, and the digest of the file at `path`. Answers the
// code of FileDigest (RESULT_OK, 301 to 304, 308, 309), or RESULT_E_STAMP before the file is read
// when no nonce could be drawn; on any code but RESULT_OK nothing may be sent.
// A policy OID longer than the field's 127 characters is not cut: the field is left
// without its terminating zero, which the encoder refuses, so no request with a shortened
// policy can ever go out.
[[nodiscard]] int BuildTimeStampRequest(const std::string& policyOid, int hashAlg,
                                        const std::string& path, TTI_REQUEST& request,
                                        const DigestProgress& progress = {});
