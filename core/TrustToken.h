// What the trust evaluation reads from a token that has passed the signature check: the
// signed data and its signer, the certificates and revocation data it carries, the TSTInfo
// and its generation time. Private to the evaluation.
#pragma once

#include "core/TrustAnchors.h"
#include "platform/OpenSslPtr.h"

#include <openssl/cms.h>
#include <openssl/ocsp.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace trust {

using CmsPtr = OpenSslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using CrlPtr = OpenSslPtr<X509_CRL, X509_CRL_free>;
using OcspBasicPtr = OpenSslPtr<OCSP_BASICRESP, OCSP_BASICRESP_free>;
using TstInfoPtr = OpenSslPtr<TS_TST_INFO, TS_TST_INFO_free>;

inline void FreeX509StackOnly(STACK_OF(X509) * s) noexcept {
    sk_X509_free(s);
}
// A stack of certificates that it does not own.
using X509RefStackPtr = OpenSslPtr<STACK_OF(X509), FreeX509StackOnly>;
X509RefStackPtr MakeRefStack(std::span<X509* const> certificates);

struct TokenContents {
    CmsPtr cms;
    CMS_SignerInfo* signerInfo = nullptr; // the first (and only) signer; owned by cms
    std::vector<X509Ptr> certificates;    // carried in the token
    std::vector<CrlPtr> crls;             // carried in the token
    std::vector<OcspBasicPtr> ocsp;       // OCSP answers carried as other revocation data
    TstInfoPtr tstInfo;
    std::time_t genTime = 0; // whole seconds, UTC
};

// A certificate already read (the signer's) with its DER bytes: when the token carries the
// same bytes it is taken instead of being read again.
struct KnownCertificate {
    X509* cert = nullptr;
    std::span<const unsigned char> der;
};

// Reads `token` (DER or BER). False when it is no signed data with one signer and a
// TSTInfo whose generation time can be read.
[[nodiscard]] bool ReadTokenContents(std::span<const unsigned char> token,
                                     const KnownCertificate& known, TokenContents& out);

// One DER element: its class, tag number and bytes.
struct DerElement {
    int cls = 0;
    int tag = 0;
    bool constructed = false;
    std::span<const unsigned char> content;
    std::span<const unsigned char> whole;
};
// Takes the next element off `rest`: definite lengths only, never past the end. False for
// anything else (`rest` is then unchanged).
[[nodiscard]] bool TakeDerElement(std::span<const unsigned char>& rest, DerElement& element);

// An ASN.1 time as seconds since 1970 (fractions dropped); false when it cannot be read.
[[nodiscard]] bool Asn1TimeToUnix(const ASN1_TIME* time, std::time_t& out);

// A name on one line ("C = CZ, O = ..., CN = ..."), UTF-8 kept as it is.
std::string NameText(const X509_NAME* name);

// The DER encoding of a certificate.
std::vector<unsigned char> CertificateDer(X509* cert);

} // namespace trust
