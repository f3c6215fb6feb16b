// Certificate services: certificate contexts, certificate stores and the signature check
// of a signed message (CMS SignedData), on OpenSSL.
//
// The signature check verifies the signature only: no chain is built and no validity date
// is looked at, since the certificates of old time stamps have mostly expired. It knows
// the algorithms that long-deployed certificate services know, RSA PKCS #1 v1.5 and ECDSA
// (P-256, P-384, P-521) with MD5, SHA-1, SHA-256, SHA-384 or SHA-512, and reports any
// other algorithm with a code of its own (CRYPT_E_UNKNOWN_ALGO, NTE_BAD_ALGID), so that a
// caller can hand such messages to a broader check.
//
// Every failing call leaves its reason in the thread's last error (platform/LastError.h):
//
//   E_INVALIDARG                a null or inconsistent argument, a parameter block of the
//                               wrong size, an encoding type without X509_ASN_ENCODING
//   CRYPT_E_ASN1_BADTAG         the bytes are not a DER/BER structure of the expected kind
//                               (or bytes follow it)
//   CRYPT_E_UNEXPECTED_MSG_TYPE a structure, but not signed data with its content inside
//   CRYPT_E_NO_SIGNER           no signer with that index, or its certificate was not found
//   CRYPT_E_UNKNOWN_ALGO        the signer's digest or signature algorithm is not one of
//                               the above (RSASSA-PSS, EdDSA, DSA, SHA-224, SHA-3, ...)
//   NTE_BAD_ALGID               the signer's certificate holds a key the check cannot use
//                               (an RSA-PSS-only key, another curve, another key type)
//   CRYPT_E_AUTH_ATTR_MISSING   signed attributes without a message digest
//   CRYPT_E_HASH_VALUE          the message digest attribute is not the content's digest
//   NTE_BAD_SIGNATURE           the signature does not verify with the signer's key
//   CRYPT_E_NOT_FOUND           a store look-up found no matching certificate
//   errno values (ENOENT, ...)  a store folder that cannot be opened
#pragma once

#include <openssl/asn1.h>
#include <openssl/cms.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Codes of the certificate services, in the numbering of the platform whose calls the
// program was written against (HRESULT values), so that they never meet errno values.
inline constexpr uint32_t E_INVALIDARG = 0x80070057;
inline constexpr uint32_t NTE_BAD_SIGNATURE = 0x80090006;
inline constexpr uint32_t NTE_BAD_ALGID = 0x80090008;
inline constexpr uint32_t CRYPT_E_UNKNOWN_ALGO = 0x80091002;
inline constexpr uint32_t CRYPT_E_AUTH_ATTR_MISSING = 0x80091006;
inline constexpr uint32_t CRYPT_E_HASH_VALUE = 0x80091007;
inline constexpr uint32_t CRYPT_E_NOT_FOUND = 0x80092004;
inline constexpr uint32_t CRYPT_E_UNEXPECTED_MSG_TYPE = 0x8009200A;
inline constexpr uint32_t CRYPT_E_NO_SIGNER = 0x8009200E;
inline constexpr uint32_t CRYPT_E_ASN1_BADTAG = 0x8009310B;

// Encoding types: certificates are X.509 DER, messages PKCS #7 / CMS.
inline constexpr uint32_t X509_ASN_ENCODING = 0x00000001;
inline constexpr uint32_t PKCS_7_ASN_ENCODING = 0x00010000;

// Store location and open flags.
inline constexpr uint32_t CERT_SYSTEM_STORE_CURRENT_USER = 0x00010000;
inline constexpr uint32_t CERT_STORE_OPEN_EXISTING_FLAG = 0x00004000;

// The user's store of other people's certificates; its folder is AddressBookDir().
inline constexpr char kAddressBookStore[] = "AddressBook";

// A certificate: its encoded bytes exactly as they were given, and OpenSSL's reading of
// them. Made only by the functions below; freed with CertFreeCertificateContext.
class CertContext {
public:
    const std::vector<unsigned char>& Encoded() const { return m_encoded; }
    // Owned by the context; valid until the context is freed.
    X509* Cert() const { return m_pCert; }

    CertContext(const CertContext&) = delete;
    CertContext& operator=(const CertContext&) = delete;

private:
    friend const CertContext* CertCreateCertificateContext(uint32_t, const unsigned char*,
                                                           std::size_t);
    friend bool CertFreeCertificateContext(const CertContext*);
    friend class CertContextFactory;
    CertContext(std::vector<unsigned char> encoded, X509* cert);
    ~CertContext();

    std::vector<unsigned char> m_encoded;
    X509* m_pCert;
};
using PCCERT_CONTEXT = const CertContext*;

// A new context for the DER certificate `encoded[0..length)`, which must be one whole
// certificate; null on failure (E_INVALIDARG, CRYPT_E_ASN1_BADTAG).
[[nodiscard]] PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encodingType,
                                                          const unsigned char* encoded,
                                                          std::size_t length);
// Frees a context; null is allowed and does nothing. Answers true.
bool CertFreeCertificateContext(PCCERT_CONTEXT context);
// The number of contexts made and not yet freed in this process (for tests).
std::size_t CertContextsAlive();

struct CertContextFree {
    void operator()(PCCERT_CONTEXT context) const noexcept { CertFreeCertificateContext(context); }
};
// A context with a single owner.
using UniqueCertContext = std::unique_ptr<const CertContext, CertContextFree>;

// A set of certificates: those that travel with a message, or a folder of the user's.
class CertStore;
using HCERTSTORE = CertStore*;

// Opens the current user's store `name` (only kAddressBookStore exists): every
// certificate of every PEM (one or more certificates) or DER file in its folder; files
// that cannot be read or hold no certificate are passed over. With
// CERT_STORE_OPEN_EXISTING_FLAG a missing folder fails (ENOENT); without it the store is
// empty. `flags` must name CERT_SYSTEM_STORE_CURRENT_USER. Null on failure.
[[nodiscard]] HCERTSTORE CertOpenSystemStore(uint32_t flags, const char* name);
// Closes a store; null is allowed. Answers true.
bool CertCloseStore(HCERTSTORE store);
// The number of certificates in the store.
std::size_t CertStoreSize(HCERTSTORE store);

// Who signed a message: the issuer and serial number of the signer's certificate, or its
// subject key identifier.
struct CertSignerId {
    const X509_NAME* issuer = nullptr;
    const ASN1_INTEGER* serial = nullptr;
    const ASN1_OCTET_STRING* keyId = nullptr;
};

// The first certificate of `store` that `signerId` names, as a new context; null with
// CRYPT_E_NOT_FOUND when there is none (E_INVALIDARG for a null store).
[[nodiscard]] PCCERT_CONTEXT CertGetSubjectCertificateFromStore(HCERTSTORE store,
                                                                uint32_t encodingType,
                                                                const CertSignerId& signerId);

// Finds the signer's certificate for the signature check: a new context, or null. The
// message store holds the certificates that travel with the message; it is closed by the
// caller after the callback.
using PFN_CRYPT_GET_SIGNER_CERTIFICATE = PCCERT_CONTEXT (*)(void* arg, uint32_t encodingType,
                                                            const CertSignerId& signerId,
                                                            HCERTSTORE messageStore);

struct CRYPT_VERIFY_MESSAGE_PARA {
    uint32_t cbSize = sizeof(CRYPT_VERIFY_MESSAGE_PARA); // checked: another size is refused
    uint32_t dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    void* hCryptProv = nullptr; // no provider of our own: must be null
    // Null: the signer is looked up among the message's certificates only.
    PFN_CRYPT_GET_SIGNER_CERTIFICATE pfnGetSignerCertificate = nullptr;
    void* pvGetArg = nullptr;
};

// Verifies the signature of signer `signerIndex` of the signed message `blob`: the
// signer's digest and signature algorithms, the signer's certificate (through the
// callback), the message digest attribute against the content's digest when the signer
// has signed attributes, and the signature with the certificate's public key. No chain,
// no validity dates, no revocation.
//
// True when the signature verifies; `*signerCert` (when not null) then receives the
// signer's certificate, which the caller frees. False with the reason in the last error
// (codes above); `*signerCert` is then null.
[[nodiscard]] bool CryptVerifyMessageSignature(const CRYPT_VERIFY_MESSAGE_PARA& para,
                                               uint32_t signerIndex, const unsigned char* blob,
                                               std::size_t blobLength, PCCERT_CONTEXT* signerCert);

// The same check on a message that the caller decoded already (whole, nothing after it):
// what CryptVerifyMessageSignature does once it has decoded its blob. Null is
// CRYPT_E_ASN1_BADTAG. The message is read, not kept.
[[nodiscard]] bool CryptVerifyDecodedMessageSignature(const CRYPT_VERIFY_MESSAGE_PARA& para,
                                                      uint32_t signerIndex, CMS_ContentInfo* cms,
                                                      PCCERT_CONTEXT* signerCert);
