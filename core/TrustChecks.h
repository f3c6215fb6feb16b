// The checks of the signer that do not need the chain's anchors: its key usage, the ESS
// attribute that binds it to the token, the token's TSA name, and the strength of the
// algorithms at the generation time. Private to the trust evaluation.
#pragma once

#include "core/TrustToken.h"
#include "core/TrustVerdict.h"

#include <ctime>
#include <span>

namespace trust {

// The longest chain we build: signer, intermediates and anchor.
inline constexpr int kMaxChainDepth = 16;

// 2017-01-01 00:00:00 UTC: from then on SHA-1 and RSA keys under 2048 bits are too weak.
inline constexpr std::time_t kSha1Sunset = 1483228800;

// The certificate among `candidates` that issued `cert` (names and signature); null when
// none did. A certificate is never its own issuer here.
X509* FindIssuer(X509* cert, std::span<X509* const> candidates);

// The extended key usage is present once, critical, and names time stamping alone.
bool HasTimeStampingUsageOnly(X509* signer);

// The token's signed attributes name `signer` in signingCertificateV2 or signingCertificate
// (each that is present must name it in its first entry: hash and, when given, issuer and
// serial number). A token with neither attribute does not name its signer.
bool EssNamesSigner(CMS_SignerInfo* signerInfo, X509* signer);

// The TSTInfo names no TSA, or names the signer's subject or one of its alternative names.
bool TsaNameMatches(const TS_TST_INFO* info, X509* signer);

// A digest too weak for a stamp of `genTime`: MD2, MD4, MD5 always, SHA-1 from 2017.
bool DigestWeakAt(int digestNid, std::time_t genTime);
// A key too weak for a stamp of `genTime`: RSA under 2048 bits from 2017.
bool KeyWeakAt(EVP_PKEY* key, std::time_t genTime);

// The imprint's hash, the digests of the token's signature, the signatures of the chain's
// certificates below its anchor and the keys of the whole chain, at `genTime`. `chain`
// starts with the signer; `lastIsAnchor` says whether its last certificate is an anchor
// (whose own signature is not looked at).
bool AlgorithmsStrongEnough(const TokenContents& token, std::span<X509* const> chain,
                            bool lastIsAnchor);

// The TAC (an attribute certificate, docs/tac.asn1): Verified when its signature verifies
// with the key of an issuer certificate among `candidates` (the token's and the address
// book's) that its issuer name names, its validity period holds `genTime`, and that issuer
// certificate leads to one of `anchors`, valid at `genTime`. NoTac for no bytes.
TacVerification VerifyTac(std::span<const unsigned char> tac, std::span<X509* const> candidates,
                          X509_STORE* anchors, std::time_t genTime);

} // namespace trust
