// Time-stamp replies and tokens made in-process for tests, benchmarks and the local test
// TSA: any status, any TSTInfo field (also values that no honest TSA sends), RSA, ECDSA and
// RSASSA-PSS signers, the TAC or none, tampered signatures. Never shipped.
//
// The throwaway CA, one TSA certificate per key kind (extendedKeyUsage timeStamping,
// critical) and the TAC issuer are generated at first use and kept for the process; their
// certificates can be exported as PEM for an address book or `openssl ts -verify -CAfile`.
// Failures of OpenSSL throw std::runtime_error.
#ifndef MIVO_TOOLS_TOKENFACTORY_H
#define MIVO_TOOLS_TOKENFACTORY_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mivo::test {

using Bytes = std::vector<unsigned char>;
// A directory name as (field, UTF-8 value) pairs in encoding order, e.g. {{"C", "CZ"}}.
using DirName = std::vector<std::pair<std::string, std::string>>;

enum class KeyKind { Rsa, Ecdsa, RsaPss };

// The TAC's metrics, its policy and the attribute certificate around them; default values
// are a well-formed TAC for the token's TSA.
struct TacSpec {
    long version = 1; // as encoded: 1 is v2
    std::string ntpTime = "20250509115800Z";
    int64_t offsetMicros = 1500;
    int64_t delayMicros = 250;
    std::string expiration = "20250509125800Z";
    bool withMetrics = true;
    bool withPolicy = true;
    std::string policyOid = "2.25.147632841029645311856013379428416652545.10.1";
    int64_t maxOffsetMicros = 500000;
    int64_t maxDelayMicros = 1000000;
    Bytes serial = {0x2A};
    std::string validFrom = "20250101000000Z";
    std::string validTo = "20351231235959Z";

    // Holder: entity name (default: the TSA's subject), base certificate id, thumbprint.
    bool holderEntityName = true;
    std::optional<DirName> holderName;
    bool holderBaseCertificateId = false;
    enum class Thumbprint { Certificate, PublicKey, OtherCertificate, None };
    Thumbprint thumbprint = Thumbprint::Certificate;
    std::string thumbprintAlgOid = "2.16.840.1.101.3.4.2.1"; // unknown OIDs get random bytes
    std::optional<Bytes> thumbprintBytes;                    // replaces the digest

    std::optional<DirName> issuerName; // default: the TAC issuer's subject
    std::optional<std::string> signatureAlgOid;
    std::optional<Bytes> signatureBytes; // replaces the real signature
};

// A GeneralName for the TSA name.
struct GeneralNameSpec {
    enum class Kind { Directory, Dns, Email, Uri, Ip, Rid } kind = Kind::Directory;
    DirName dirName;
    std::string text; // Dns, Email, Uri: the IA5 bytes; Rid: dotted OID
    Bytes ip;
};

struct AccuracySpec {
    std::optional<long> seconds;
    std::optional<long> millis;
    std::optional<long> micros;
};

// A signer of the test's own making (tools/TrustPki.h): PEM key and certificate.
struct SignerSpec {
    std::string keyPem;
    std::string certPem;
};

struct TokenSpec {
    KeyKind key = KeyKind::Rsa;
    std::string signDigest = "SHA256";

    long version = 1;
    std::string policyOid = "1.2.3.4.1";
    std::string imprintOid = "2.16.840.1.101.3.4.2.1";
    Bytes imprint = Bytes(32, 0xAB);
    Bytes serial = {0x01, 0x02};
    bool negativeSerial = false;
    std::string genTime = "20250509115855Z"; // written as it is, valid or not
    std::optional<AccuracySpec> accuracy;
    bool ordering = false;
    std::optional<Bytes> nonce;
    bool negativeNonce = false;
    std::optional<GeneralNameSpec> tsaName;
    std::optional<Bytes> rawTstInfo; // signed as the content instead of the fields above

    bool includeSignerCert = true;
    bool includeCaCert = false;
    bool signerByKeyId = false; // SignerIdentifier as subjectKeyIdentifier
    enum class Ess { V2, V1, None } ess = Ess::V2;
    std::optional<TacSpec> tac;
    bool tamperSignature = false;

    // Signs with this instead of the factory's TSA of `key` (no TAC with it).
    std::optional<SignerSpec> signer;
    std::vector<std::string> extraCertsPem; // carried besides the signer's certificate
    std::optional<std::string> essCertPem;  // the ESS attribute names this certificate
    std::vector<Bytes> crls;                // DER CRLs carried in SignedData.crls
    // Other revocation data in SignedData.crls: (format OID, DER value).
    std::vector<std::pair<std::string, Bytes>> otherRevocationInfo;
    bool includeTacIssuerCert = false;
};

struct StatusSpec {
    long status = 0;
    std::vector<std::string> text;
    std::optional<uint32_t> failInfo; // bit n of PKIFailureInfo is 1 << n
};

class TokenFactory {
public:
    // A DER ContentInfo.
    static Bytes Token(const TokenSpec& spec = {});
    // A DER TimeStampResp with a new token, or with `token` (none: a reply without one).
    static Bytes Reply(const TokenSpec& spec = {}, const StatusSpec& status = {});
    static Bytes ReplyWith(const StatusSpec& status, const std::optional<Bytes>& token);
    // The DER TSTInfo that Token signs.
    static Bytes TstInfo(const TokenSpec& spec);
    // A DER attribute certificate for the TSA of `holder`.
    static Bytes Tac(const TacSpec& spec, KeyKind holder = KeyKind::Rsa);
    // A DER token made BER: indefinite lengths outside and the content as a constructed
    // OCTET STRING in chunks; certificates and attributes keep their bytes.
    static Bytes ToBer(const Bytes& derToken);
    // The RFC 3161 TCP framing: 4-byte length of the rest, type, value.
    static Bytes Framed(unsigned char type, const Bytes& value);
    // A GeneralizedTime of now plus `offsetSeconds`, with `fraction` (e.g. ".5") before Z.
    static std::string GenTimeNow(long offsetSeconds = 0, const std::string& fraction = "");

    static std::string CaCertPem();
    static std::string TsaCertPem(KeyKind key);
    static Bytes TsaCertDer(KeyKind key);
    static std::string TsaKeyPem(KeyKind key);
    static std::string TacIssuerCertPem();
    // The subject of the TSA certificate of `key`, as a TSA names itself in its tokens.
    static DirName TsaSubject(KeyKind key);
};

} // namespace mivo::test

#endif
