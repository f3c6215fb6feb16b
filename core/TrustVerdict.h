// The trust verdict of a stamp's signer: one kind from a fixed list, its key for machine
// output and the string-table id of its Czech message, all in one table.
//
// The signature check proves only that the token was signed by the certificate it names;
// the verdict says whether that certificate deserves trust: a chain to one of our anchors,
// valid when the stamp was made, meant for time stamping, bound to the token, named as the
// token names its TSA, with algorithms that were strong enough then, and not revoked.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// In the order of precedence: when several apply, the first after Trusted wins.
enum class TrustVerdict {
    Trusted,
    Untrusted,         // no chain to an anchor
    Expired,           // a certificate of the chain had expired at genTime
    NotYetValid,       // a certificate of the chain was not yet valid at genTime
    WrongUsage,        // the signer is not a critical, time-stamping-only certificate
    SignerMismatch,    // the ESS attribute is missing or names another certificate
    TsaNameMismatch,   // the token's TSA name is not the signer's
    WeakAlgorithm,     // an algorithm too weak at genTime
    Revoked,           // revoked before genTime or for a key compromise
    RevocationUnknown, // the revocation status was wanted and could not be learnt
};

struct TrustVerdictRow {
    TrustVerdict verdict;
    const char* key;  // "trusted", "untrusted", ... for machine-readable output
    uint32_t message; // string-table id of the Czech text
};

// Every verdict once, in the enum's order.
std::span<const TrustVerdictRow> TrustVerdictRows();
const TrustVerdictRow& TrustVerdictRowOf(TrustVerdict verdict);
// The verdict whose key is `key`; nullopt for an unknown key.
std::optional<TrustVerdict> TrustVerdictFromKey(std::string_view key);

// Whether the time attribute certificate of the token was verified.
enum class TacVerification { NoTac, Verified, NotVerified };

// The outcome of one evaluation.
struct TrustResult {
    TrustVerdict verdict = TrustVerdict::Untrusted;
    // The verdict's Czech text, formatted (the anchor's subject, the revocation date).
    std::string message;
    // The anchor's subject (one line, UTF-8); empty unless the verdict is Trusted.
    std::string anchorSubject;
    // When the verdict is Revoked: the revocation time of the revoked certificate.
    std::optional<std::time_t> revocationTime;
    TacVerification tac = TacVerification::NoTac;
    // "TAC neověřen" when the token has a TAC that did not verify; empty otherwise.
    std::string tacNote;

    bool IsTrusted() const { return verdict == TrustVerdict::Trusted; }
};

// A result with the verdict's message formatted; `anchor` for Trusted, `revoked` for
// Revoked (the revocation time, shown as "D. M. YYYY hh:mm:ss UTC").
TrustResult MakeTrustResult(TrustVerdict verdict, const std::string& anchor = {},
                            std::optional<std::time_t> revoked = std::nullopt);
