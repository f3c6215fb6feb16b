// The trust evaluation of a stamp's signer, run after the stamp's own checks passed (the
// signature check proves only that the token was signed by the certificate it names).
//
// In this order, the first failure giving the verdict:
//   1. a chain from the signer to one of our anchors (core/TrustAnchors.h), through the
//      certificates of the token and of the address book; or, when there is none, an
//      outside voucher (VouchedSigner) that names an anchor of its own;
//   2. every certificate of the chain valid at the stamp's generation time (not now);
//   3. the signer's extended key usage: time stamping alone, critical;
//   4. the ESS signingCertificate(V2) attribute names the signer;
//   5. the token's TSA name, when it has one, is the signer's subject or alternative name;
//   6. the imprint's hash, the token's signature and the chain's signatures and keys were
//      strong enough at the generation time;
//   7. revocation: the CRLs and OCSP answers that the token carries, and on line (only when
//      asked for) OCSP or the CRL distribution point; revoked before the generation time or
//      for a key compromise fails; a status wanted on line and not learnt gives
//      RevocationUnknown, never Trusted.
// Independently, the TAC (when the token has one) is verified against its issuer.
#pragma once

#include "core/ConnectionParams.h"
#include "core/TrustVerdict.h"

#include <openssl/types.h>

#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

class CTimeStampPart;
class CClientSettings;

// Answers, for a signer that none of our anchors leads to, the name of an anchor of its own
// that vouches for it (e.g. a trusted list naming the TSA's certificate), or nullopt.
// `issuerOrNull` is the signer's issuer when the token or the address book has it. Every
// other check still runs on a vouched signer.
using VouchedSigner = std::function<std::optional<std::string>(X509* signer, X509* issuerOrNull,
                                                               std::time_t genTime)>;

// Fetches `url` for an online revocation look-up: a GET when `body` is empty, else a POST of
// `body` as `contentType`. True with the reply's body.
using RevocationFetch =
    std::function<bool(const std::string& url, const std::string& contentType,
                       std::span<const unsigned char> body, std::vector<unsigned char>& reply)>;

struct TrustOptions {
    // Look up revocation on line for certificates the token carries no answer for.
    bool checkRevocation = false;
    // The way to the internet for those look-ups (its proxy settings).
    CConnectionParams connection;
    VouchedSigner vouchedSigner;
    // Replaces the HTTP transport for online look-ups when set.
    RevocationFetch fetch;
};

// The options of the user's settings: check_revocation and the connection parameters.
TrustOptions TrustOptionsFromSettings(const CClientSettings& settings);

// The verdict on the signer of the stamp that `part` holds. The part must hold a stamp that
// passed ProcessStampFile (or VerifySourceFile); a part without one gets Untrusted.
// Safe to call from several threads at once on different parts.
[[nodiscard]] TrustResult EvaluateTrust(const CTimeStampPart& part,
                                        const TrustOptions& options = {});
