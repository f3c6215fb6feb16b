// Certificates, CRLs and OCSP answers of a test's own making, for the tokens of the token
// factory (TokenSpec::signer, extraCertsPem, crls, otherRevocationInfo): any validity
// period, key size, digest, key usage or chain shape, also those no honest CA issues.
// Never shipped. Failures of OpenSSL throw std::runtime_error.
#ifndef MIVO_TOOLS_TRUSTPKI_H
#define MIVO_TOOLS_TRUSTPKI_H

#include "tools/TokenFactory.h"

#include <openssl/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mivo::test {

enum class TestKey { Ec, Rsa1024, Rsa2048 };

// The extended key usage of an end-entity certificate.
enum class TestEku {
    TimeStampingCritical,
    TimeStampingNonCritical,
    None,
    TimeStampingAndServerAuth, // critical, with a second purpose
    OcspSigning,
};

struct TestCertSpec {
    std::string commonName = "Mivo Trust Test";
    TestKey key = TestKey::Ec;
    bool ca = false;
    TestEku eku = TestEku::TimeStampingCritical; // end-entity certificates only
    // Written as they are: "YYMMDDhhmmssZ" or "YYYYMMDDhhmmssZ", valid or not.
    std::string notBefore = "20200101000000Z";
    std::string notAfter = "20401231235959Z";
    std::string signDigest = "SHA256"; // the issuer's digest for this certificate
    std::vector<std::string> ocspUrls; // authority information access
    std::vector<std::string> crlUrls;  // CRL distribution points
    std::vector<std::string> dnsNames; // subject alternative names
    // The key of this certificate instead of a new one (a second certificate for one key).
    const class TestCert* keyOf = nullptr;
};

class TestCert {
public:
    // Signed by `issuer`; self-signed when it is null.
    TestCert(const TestCertSpec& spec, const TestCert* issuer);
    ~TestCert();
    TestCert(const TestCert&) = delete;
    TestCert& operator=(const TestCert&) = delete;

    X509* Cert() const { return m_cert; }
    EVP_PKEY* Key() const { return m_key; }
    std::string CertPem() const;
    std::string KeyPem() const;
    Bytes CertDer() const;
    // The certificate as the token's signer.
    SignerSpec AsSigner() const { return {KeyPem(), CertPem()}; }
    // "CN = <common name>, O = Mivo Trust Test, C = CZ" in the one-line form.
    DirName Subject() const;

private:
    X509* m_cert = nullptr;
    EVP_PKEY* m_key = nullptr;
};

struct RevokedEntry {
    const TestCert* cert = nullptr;
    std::string when = "20240101000000Z";
    int reason = -1; // CRL reason code; -1 for none
};

// A DER CRL of `issuer` listing `revoked`.
Bytes MakeCrl(const TestCert& issuer, const std::vector<RevokedEntry>& revoked,
              const std::string& thisUpdate = "20240601000000Z",
              const std::string& nextUpdate = "20400601000000Z");

enum class OcspStatus { Good, Revoked, Unknown };

struct OcspSpec {
    OcspStatus status = OcspStatus::Good;
    std::string revokedAt = "20240101000000Z";
    int reason = -1;
    // Empty: now (and next update in a week), as an online responder answers.
    std::string thisUpdate;
    bool includeResponderCert = true;
};

// A DER BasicOCSPResponse about `cert` (issued by `issuer`), signed by `responder`.
Bytes MakeBasicOcsp(const TestCert& responder, const TestCert& cert, const TestCert& issuer,
                    const OcspSpec& spec = {});
// A DER OCSPResponse (status successful) around a BasicOCSPResponse.
Bytes WrapOcspResponse(const Bytes& basic);

// Object identifiers of the two ways a token carries an OCSP answer as other revocation data.
inline constexpr char kOcspBasicFormatOid[] = "1.3.6.1.5.5.7.48.1.1";
inline constexpr char kOcspResponseFormatOid[] = "1.3.6.1.5.5.7.16.2";

namespace detail {
// The token factory's helpers for the fields above.
struct LoadedSigner {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    ~LoadedSigner();
};
void LoadSigner(const SignerSpec& spec, LoadedSigner& out);
X509* LoadCertPem(const std::string& pem); // caller frees
X509_CRL* LoadCrlDer(const Bytes& der);    // caller frees
// `token` with the other revocation data added to SignedData.crls.
Bytes WithOtherRevocationInfo(const Bytes& token,
                              const std::vector<std::pair<std::string, Bytes>>& entries);
} // namespace detail

} // namespace mivo::test

#endif
