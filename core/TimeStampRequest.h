// Building the request record of a new stamp: imprint of the file, policy, fresh nonce.
#pragma once

#include "core/HashAlgorithms.h"
#include "core/tti/tti.h"

#include <string>

// Puts 8 fresh bytes from a cryptographic random source into the nonce field and sets the
// nonce length to 8. RFC 3161 wants a nonce that is unlikely to repeat: two requests made
// in the same second must not share one.
void MakeNonce(TTI_REQUEST& request);

// Zeroes `request` and fills it: size 440, certificate request 1, the policy OID (all zero
// when empty), the OID of hash code `hashAlg` (1 MD5, 2 SHA-256, 3 SHA-384, 4 SHA-512,
// anything else SHA-1), a fresh nonce, and the digest of the file at `path`. Answers the
// code of FileDigest; on any code but RESULT_OK nothing may be sent.
// A policy OID longer than the field's 127 characters is not cut: the field is left
// without its terminating zero, which the encoder refuses, so no request with a shortened
// policy can ever go out.
[[nodiscard]] int BuildTimeStampRequest(const std::string& policyOid, int hashAlg,
                                        const std::string& path, TTI_REQUEST& request,
                                        const DigestProgress& progress = {});
