#include "platform/CertServices.h"
#include "platform/OpenSslPtr.h"

#include "platform/CmsDecode.h"

#include "platform/ConfigDirs.h"
#include "platform/FolderIndex.h"
#include "platform/LastError.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

namespace {

template <class T, auto Free> using Owned = OpenSslPtr<T, Free>;

using BioPtr = Owned<BIO, BIO_free_all>;
using CmsPtr = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;
using MdCtxPtr = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using X509Ptr = Owned<X509, X509_free>;

void FreeX509Stack(STACK_OF(X509) * stack) noexcept {
    sk_X509_pop_free(stack, X509_free);
}
using X509StackPtr = Owned<STACK_OF(X509), FreeX509Stack>;

std::atomic<std::size_t> g_contextsAlive{0};

// A file of the address book larger than this holds no certificate worth reading.
constexpr std::uintmax_t kMaxCertFileSize = 4u << 20;

// OpenSSL errors raised inside one of our calls are dropped when it returns; errors that
// were on the thread's queue before stay.
class ErrorMark {
public:
    ErrorMark() { ERR_set_mark(); }
    ~ErrorMark() { ERR_pop_to_mark(); }
    ErrorMark(const ErrorMark&) = delete;
    ErrorMark& operator=(const ErrorMark&) = delete;
};

bool Fail(uint32_t code) {
    SetLastError(code);
    return false;
}

int NoPassword(char* /*buf*/, int /*size*/, int /*rwflag*/, void* /*u*/) {
    return 0;
}

// The encoded form of a certificate that OpenSSL holds; empty on failure.
std::vector<unsigned char> Encode(X509* cert) {
    const int n = i2d_X509(cert, nullptr);
    if (n <= 0)
        return {};
    std::vector<unsigned char> der(static_cast<std::size_t>(n));
    unsigned char* p = der.data();
    if (i2d_X509(cert, &p) != n)
        return {};
    return der;
}

bool SameName(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool Matches(X509* cert, const CertSignerId& id) {
    if (id.keyId != nullptr) {
        const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(cert);
        return skid != nullptr && ASN1_OCTET_STRING_cmp(skid, id.keyId) == 0;
    }
    if (id.issuer == nullptr || id.serial == nullptr)
        return false;
    return X509_NAME_cmp(X509_get_issuer_name(cert), id.issuer) == 0 &&
           ASN1_INTEGER_cmp(X509_get0_serialNumber(cert), id.serial) == 0;
}

// Every certificate of a PEM file, or the one certificate of a DER file.
void ReadCertificates(const std::vector<unsigned char>& bytes, std::vector<X509Ptr>& out) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return;
    BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    if (!bio)
        return;
    bool any = false;
    while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, NoPassword, nullptr)) {
        out.emplace_back(cert);
        any = true;
    }
    if (any)
        return;
    const unsigned char* p = bytes.data();
    X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(bytes.size())));
    if (cert && p == bytes.data() + bytes.size())
        out.push_back(std::move(cert));
}

bool ReadFile(const std::filesystem::path& path, std::vector<unsigned char>& bytes) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxCertFileSize)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && bytes.size() <= kMaxCertFileSize;
}

// The address book's certificates, read once and again when its folder changed.
using CertList = std::vector<X509Ptr>;

FolderIndex<CertList>& AddressBookIndex() {
    static FolderIndex<CertList> index;
    return index;
}

// Every certificate of every file in `dir`; null with the reason when it cannot be listed.
std::shared_ptr<const CertList> ScanFolder(const std::filesystem::path& dir, uint32_t& error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(
        dir, std::filesystem::directory_options::skip_permission_denied, ec);
    if (ec) {
        error = static_cast<uint32_t>(ec.value());
        return nullptr;
    }
    auto certs = std::make_shared<CertList>();
    std::vector<unsigned char> bytes;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ReadFile(it->path(), bytes))
            ReadCertificates(bytes, *certs);
    }
    return certs;
}

// ---- The signature check, one step at a time --------------------------------------------

enum class KeyFamily { Rsa, Ec };

// The digest algorithms the check knows.
const EVP_MD* KnownDigest(const X509_ALGOR* alg) {
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, alg);
    switch (OBJ_obj2nid(oid)) {
    case NID_md5:
        return EVP_md5();
    case NID_sha1:
        return EVP_sha1();
    case NID_sha256:
        return EVP_sha256();
    case NID_sha384:
        return EVP_sha384();
    case NID_sha512:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

// The signature algorithms the check knows: RSA PKCS #1 v1.5 and ECDSA, named by the key's
// OID or by a combined OID. RSASSA-PSS and everything else are unknown.
bool KnownSignature(const X509_ALGOR* alg, KeyFamily& family) {
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, alg);
    switch (OBJ_obj2nid(oid)) {
    case NID_rsaEncryption:
    case NID_md5WithRSAEncryption:
    case NID_sha1WithRSAEncryption:
    case NID_sha256WithRSAEncryption:
    case NID_sha384WithRSAEncryption:
    case NID_sha512WithRSAEncryption:
        family = KeyFamily::Rsa;
        return true;
    case NID_X9_62_id_ecPublicKey:
    case NID_ecdsa_with_SHA1:
    case NID_ecdsa_with_SHA256:
    case NID_ecdsa_with_SHA384:
    case NID_ecdsa_with_SHA512:
        family = KeyFamily::Ec;
        return true;
    default:
        return false;
    }
}

// The key of the signer's certificate must be of the signature's family: plain RSA, or EC
// on one of the three NIST curves.
uint32_t CheckKey(X509* cert, KeyFamily family) {
    EVP_PKEY* key = X509_get0_pubkey(cert);
    if (key == nullptr)
        return NTE_BAD_ALGID;
    const int type = EVP_PKEY_get_base_id(key);
    if (type == EVP_PKEY_RSA)
        return family == KeyFamily::Rsa ? 0 : NTE_BAD_SIGNATURE;
    if (type != EVP_PKEY_EC)
        return NTE_BAD_ALGID;
    if (family != KeyFamily::Ec)
        return NTE_BAD_SIGNATURE;
    char group[80] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_group_name(key, group, sizeof group, &length) != 1)
        return NTE_BAD_ALGID;
    const int curve = OBJ_txt2nid(group);
    if (curve != NID_X9_62_prime256v1 && curve != NID_secp384r1 && curve != NID_secp521r1)
        return NTE_BAD_ALGID;
    return 0;
}

bool Digest(const EVP_MD* md, const ASN1_OCTET_STRING* content, unsigned char* out,
            unsigned int& length) {
    return EVP_Digest(ASN1_STRING_get0_data(content),
                      static_cast<std::size_t>(ASN1_STRING_length(content)), out, &length, md,
                      nullptr) == 1;
}

// Signed attributes: the message digest attribute must be the content's digest, and the
// signature covers the attributes.
uint32_t VerifyWithAttributes(CMS_SignerInfo* si, X509* cert, const EVP_MD* md,
                              const ASN1_OCTET_STRING* content) {
    const auto* messageDigest = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
        si, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
    if (messageDigest == nullptr)
        return CRYPT_E_AUTH_ATTR_MISSING;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!Digest(md, content, digest, length))
        return NTE_BAD_ALGID;
    if (static_cast<unsigned int>(ASN1_STRING_length(messageDigest)) != length ||
        std::memcmp(ASN1_STRING_get0_data(messageDigest), digest, length) != 0)
        return CRYPT_E_HASH_VALUE;
    CMS_SignerInfo_set1_signer_cert(si, cert);
    const int verified = CMS_SignerInfo_verify(si);
    CMS_SignerInfo_set1_signer_cert(si, nullptr);
    return verified == 1 ? 0 : NTE_BAD_SIGNATURE;
}

// No signed attributes: the signature covers the content itself.
uint32_t VerifyContent(CMS_SignerInfo* si, X509* cert, const EVP_MD* md,
                       const ASN1_OCTET_STRING* content) {
    ASN1_OCTET_STRING* signature = CMS_SignerInfo_get0_signature(si);
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!ctx || signature == nullptr)
        return NTE_BAD_SIGNATURE;
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, X509_get0_pubkey(cert)) != 1)
        return NTE_BAD_ALGID;
    const int verified = EVP_DigestVerify(ctx.get(), ASN1_STRING_get0_data(signature),
                                          static_cast<std::size_t>(ASN1_STRING_length(signature)),
                                          ASN1_STRING_get0_data(content),
                                          static_cast<std::size_t>(ASN1_STRING_length(content)));
    return verified == 1 ? 0 : NTE_BAD_SIGNATURE;
}

PCCERT_CONTEXT DefaultSignerLookup(void* /*arg*/, uint32_t encodingType,
                                   const CertSignerId& signerId, HCERTSTORE messageStore) {
    return CertGetSubjectCertificateFromStore(messageStore, encodingType, signerId);
}

} // namespace

class CertStore {
public:
    std::vector<X509Ptr> certs;
};

// ---- Certificate contexts ---------------------------------------------------------------

CertContext::CertContext(std::vector<unsigned char> encoded, X509* cert)
    : m_encoded(std::move(encoded)), m_pCert(cert) {
    g_contextsAlive.fetch_add(1, std::memory_order_relaxed);
}

CertContext::~CertContext() {
    X509_free(m_pCert);
    g_contextsAlive.fetch_sub(1, std::memory_order_relaxed);
}

PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encodingType, const unsigned char* encoded,
                                            std::size_t length) {
    if ((encodingType & X509_ASN_ENCODING) == 0 || encoded == nullptr || length == 0 ||
        length > static_cast<std::size_t>(LONG_MAX)) {
        SetLastError(E_INVALIDARG);
        return nullptr;
    }
    ErrorMark mark;
    const unsigned char* p = encoded;
    X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(length)));
    if (!cert || p != encoded + length) {
        SetLastError(CRYPT_E_ASN1_BADTAG);
        return nullptr;
    }
    try {
        return new CertContext(std::vector<unsigned char>(encoded, encoded + length),
                               cert.release());
    } catch (const std::bad_alloc&) {
        SetLastError(ENOMEM);
        return nullptr;
    }
}

// A context for a certificate that is already decoded: the encoding of a decoded
// certificate reads back as the same certificate, so it is not decoded a second time.
class CertContextFactory {
public:
    static PCCERT_CONTEXT Share(std::vector<unsigned char> encoded, X509* cert) {
        X509_up_ref(cert);
        try {
            return new CertContext(std::move(encoded), cert);
        } catch (const std::bad_alloc&) {
            X509_free(cert);
            SetLastError(ENOMEM);
            return nullptr;
        }
    }
};

bool CertFreeCertificateContext(PCCERT_CONTEXT context) {
    delete context;
    return true;
}

std::size_t CertContextsAlive() {
    return g_contextsAlive.load(std::memory_order_relaxed);
}

// ---- Stores -----------------------------------------------------------------------------

HCERTSTORE CertOpenSystemStore(uint32_t flags, const char* name) {
    if (name == nullptr || (flags & CERT_SYSTEM_STORE_CURRENT_USER) == 0) {
        SetLastError(E_INVALIDARG);
        return nullptr;
    }
    if (!SameName(name, kAddressBookStore)) {
        SetLastError(ENOENT);
        return nullptr;
    }
    const std::filesystem::path dir = AddressBookDir();
    std::error_code ec;
    const bool exists = std::filesystem::is_directory(dir, ec);
    if (!exists && (flags & CERT_STORE_OPEN_EXISTING_FLAG) != 0) {
        SetLastError(static_cast<uint32_t>(ec ? ec.value() : ENOENT));
        return nullptr;
    }
    ErrorMark mark;
    auto store = std::make_unique<CertStore>();
    if (exists) {
        uint32_t error = 0;
        const std::shared_ptr<const CertList> certs =
            AddressBookIndex().Get(dir.string(), [&dir, &error] { return ScanFolder(dir, error); });
        if (!certs) {
            SetLastError(error);
            return nullptr;
        }
        for (const X509Ptr& cert : *certs) {
            X509_up_ref(cert.get());
            store->certs.emplace_back(cert.get());
        }
    }
    return store.release();
}

bool CertCloseStore(HCERTSTORE store) {
    delete store;
    return true;
}

std::size_t CertStoreSize(HCERTSTORE store) {
    return store != nullptr ? store->certs.size() : 0;
}

PCCERT_CONTEXT CertGetSubjectCertificateFromStore(HCERTSTORE store, uint32_t /*encodingType*/,
                                                  const CertSignerId& signerId) {
    if (store == nullptr) {
        SetLastError(E_INVALIDARG);
        return nullptr;
    }
    ErrorMark mark;
    for (const X509Ptr& cert : store->certs) {
        if (!Matches(cert.get(), signerId))
            continue;
        std::vector<unsigned char> der = Encode(cert.get());
        if (der.empty())
            continue;
        return CertContextFactory::Share(std::move(der), cert.get());
    }
    SetLastError(CRYPT_E_NOT_FOUND);
    return nullptr;
}

// ---- The signature check ----------------------------------------------------------------

namespace {

bool ParaUsable(const CRYPT_VERIFY_MESSAGE_PARA& para) {
    return para.cbSize == sizeof(CRYPT_VERIFY_MESSAGE_PARA) && para.hCryptProv == nullptr &&
           (para.dwMsgAndCertEncodingType & PKCS_7_ASN_ENCODING) != 0;
}

bool VerifyDecoded(const CRYPT_VERIFY_MESSAGE_PARA& para, uint32_t signerIndex,
                   CMS_ContentInfo* cms, PCCERT_CONTEXT* signerCert);

} // namespace

bool CryptVerifyMessageSignature(const CRYPT_VERIFY_MESSAGE_PARA& para, uint32_t signerIndex,
                                 const unsigned char* blob, std::size_t blobLength,
                                 PCCERT_CONTEXT* signerCert) {
    if (signerCert != nullptr)
        *signerCert = nullptr;
    if (!ParaUsable(para) || (blob == nullptr && blobLength > 0))
        return Fail(E_INVALIDARG);
    if (blobLength == 0 || blobLength > static_cast<std::size_t>(LONG_MAX))
        return Fail(CRYPT_E_ASN1_BADTAG);
    ErrorMark mark;

    // The message: signed data with its content inside.
    const unsigned char* p = blob;
    CmsPtr cms(DecodeCmsContentInfo(&p, static_cast<long>(blobLength)));
    if (!cms || p != blob + blobLength)
        return Fail(CRYPT_E_ASN1_BADTAG);
    return VerifyDecoded(para, signerIndex, cms.get(), signerCert);
}

bool CryptVerifyDecodedMessageSignature(const CRYPT_VERIFY_MESSAGE_PARA& para, uint32_t signerIndex,
                                        CMS_ContentInfo* cms, PCCERT_CONTEXT* signerCert) {
    if (signerCert != nullptr)
        *signerCert = nullptr;
    if (!ParaUsable(para))
        return Fail(E_INVALIDARG);
    if (cms == nullptr)
        return Fail(CRYPT_E_ASN1_BADTAG);
    ErrorMark mark;
    return VerifyDecoded(para, signerIndex, cms, signerCert);
}

namespace {

bool VerifyDecoded(const CRYPT_VERIFY_MESSAGE_PARA& para, uint32_t signerIndex,
                   CMS_ContentInfo* cms, PCCERT_CONTEXT* signerCert) {
    if (OBJ_obj2nid(CMS_get0_type(cms)) != NID_pkcs7_signed)
        return Fail(CRYPT_E_UNEXPECTED_MSG_TYPE);
    ASN1_OCTET_STRING** content = CMS_get0_content(cms);
    if (content == nullptr || *content == nullptr)
        return Fail(CRYPT_E_UNEXPECTED_MSG_TYPE);

    // The signer.
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
    if (signers == nullptr || signerIndex >= static_cast<uint32_t>(sk_CMS_SignerInfo_num(signers)))
        return Fail(CRYPT_E_NO_SIGNER);
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(signers, static_cast<int>(signerIndex));

    // Its algorithms, before anything is looked up.
    X509_ALGOR* digestAlg = nullptr;
    X509_ALGOR* signatureAlg = nullptr;
    CMS_SignerInfo_get0_algs(si, nullptr, nullptr, &digestAlg, &signatureAlg);
    const EVP_MD* md = KnownDigest(digestAlg);
    KeyFamily family = KeyFamily::Rsa;
    if (md == nullptr || !KnownSignature(signatureAlg, family))
        return Fail(CRYPT_E_UNKNOWN_ALGO);

    // Its certificate, through the caller's look-up.
    CertSignerId id;
    ASN1_OCTET_STRING* keyId = nullptr;
    X509_NAME* issuer = nullptr;
    ASN1_INTEGER* serial = nullptr;
    if (CMS_SignerInfo_get0_signer_id(si, &keyId, &issuer, &serial) != 1)
        return Fail(CRYPT_E_NO_SIGNER);
    id.keyId = keyId;
    id.issuer = issuer;
    id.serial = serial;
    UniqueCertContext cert;
    {
        auto store = std::make_unique<CertStore>();
        X509StackPtr carried(CMS_get1_certs(cms));
        for (int i = 0; carried && i < sk_X509_num(carried.get()); ++i) {
            X509* c = sk_X509_value(carried.get(), i);
            X509_up_ref(c);
            store->certs.emplace_back(c);
        }
        const PFN_CRYPT_GET_SIGNER_CERTIFICATE lookup = para.pfnGetSignerCertificate != nullptr
                                                            ? para.pfnGetSignerCertificate
                                                            : DefaultSignerLookup;
        const LastErrorKeeper keep; // the look-up's own failures are not the answer
        cert.reset(lookup(para.pvGetArg, para.dwMsgAndCertEncodingType, id, store.get()));
    }
    if (!cert)
        return Fail(CRYPT_E_NO_SIGNER);
    if (const uint32_t rc = CheckKey(cert->Cert(), family); rc != 0)
        return Fail(rc);

    // The signature.
    const uint32_t rc = CMS_signed_get_attr_count(si) >= 0
                            ? VerifyWithAttributes(si, cert->Cert(), md, *content)
                            : VerifyContent(si, cert->Cert(), md, *content);
    if (rc != 0)
        return Fail(rc);
    if (signerCert != nullptr)
        *signerCert = cert.release();
    return true;
}

} // namespace
