// Whether the certificates of a signer's chain were revoked: from the CRLs and OCSP answers
// that the token carries and, when asked for, on line (OCSP at the certificate's authority
// information access, else its CRL distribution point). Private to the trust evaluation.
#pragma once

#include "core/ConnectionParams.h"
#include "core/TrustEvaluator.h"
#include "core/TrustToken.h"

#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trust {

// Time-out of one online look-up, in seconds.
inline constexpr int kRevocationTimeoutSec = 5;
// The largest reply read (a CRL may be large; an OCSP answer is small).
inline constexpr int kRevocationReplyLimit = 8 * 1024 * 1024;

// Fetches through the program's HTTP transport with the proxy settings of `connection` (never
// its server credentials, which belong to the TSA) and a time-out of kRevocationTimeoutSec.
RevocationFetch HttpRevocationFetch(const CConnectionParams& connection);

enum class RevocationState { Good, Revoked, Unknown };

struct CertificateStatus {
    RevocationState state = RevocationState::Unknown;
    std::optional<std::time_t> revokedAt;
    int reason = -1; // CRL reason code; -1 when none was given
};

// A revocation counts against a stamp when it happened at or before the stamp's time, or
// when its reason says the key was compromised (then no signature of that key is safe).
bool RevocationCountsAgainst(const CertificateStatus& status, std::time_t genTime);

struct RevocationInput {
    const TokenContents* token = nullptr;
    // Certificates that may sign OCSP answers on behalf of an issuer (the token's, the
    // address book's).
    std::vector<X509*> responders;
    bool online = false;
    RevocationFetch fetch; // for online look-ups
};

// The status of `cert`, issued by `issuer`: what the token carries first, then (when
// `input.online`) an OCSP responder and the CRL distribution points, http URLs only. A CRL
// or OCSP answer carried in the token says "good" only when it was issued at or after the
// stamp's time; a revocation it lists always counts.
CertificateStatus RevocationStatus(X509* cert, X509* issuer, const RevocationInput& input);

// The outcome for a whole chain (`chain[i]` issued by `chain[i + 1]`; the last certificate
// is not looked at): Revoked with the earliest revocation that counts against the stamp,
// else Unknown when `input.online` and a status could not be learnt, else Good.
CertificateStatus ChainRevocationStatus(std::span<X509* const> chain, const RevocationInput& input);

} // namespace trust
