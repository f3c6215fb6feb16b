// The certificate services: contexts, the address-book store and the signature check of
// signed messages, on factory tokens, real TSA samples and messages signed here.
#include "platform/CertServices.h"
#include "core/tti/tti.h"
#include "platform/LastError.h"
#include "tools/TokenFactory.h"

#include "testlib/TempDir.h"

#include <gtest/gtest.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

using mivo::test::Bytes;
using mivo::test::KeyKind;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

std::string RealPath(const std::string& name) {
    return std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/" + name;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The token of a reply, or the bytes as they are when they are no reply.
Bytes TokenOf(const Bytes& bytes) {
    TTI_STATUS status{};
    if (TTI_GetTSR_Status(&status, bytes.data(), static_cast<int>(bytes.size())) != TTI_OK)
        return bytes;
    Bytes token(bytes.size());
    int length = static_cast<int>(token.size());
    if (TTI_GetTSR_EncodedToken(token.data(), &length, bytes.data(),
                                static_cast<int>(bytes.size())) != TTI_OK)
        throw std::runtime_error("no token");
    token.resize(static_cast<std::size_t>(length));
    return token;
}

// The platform's check on a token, as the program hands it over.
struct Outcome {
    bool verified;
    uint32_t error;
    Bytes signer; // DER of the certificate handed out
};

Outcome Verify(const Bytes& message, const CRYPT_VERIFY_MESSAGE_PARA& para = {},
               uint32_t index = 0) {
    Outcome outcome{};
    PCCERT_CONTEXT signer = reinterpret_cast<PCCERT_CONTEXT>(&outcome); // must be replaced
    SetLastError(0);
    outcome.verified =
        CryptVerifyMessageSignature(para, index, message.data(), message.size(), &signer);
    outcome.error = GetLastError();
    if (signer != nullptr)
        outcome.signer = signer->Encoded();
    CertFreeCertificateContext(signer);
    return outcome;
}

template <auto Free> struct FreeFn {
    template <class T> void operator()(T* p) const noexcept { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, FreeFn<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, FreeFn<X509_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, FreeFn<CMS_ContentInfo_free>>;
using BioPtr = std::unique_ptr<BIO, FreeFn<BIO_free_all>>;

X509Ptr SelfSigned(EVP_PKEY* key, const EVP_MD* md) {
    X509Ptr cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 7);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Mivo test signer"), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key);
    if (X509_sign(cert.get(), key, md) <= 0)
        throw std::runtime_error("X509_sign");
    return cert;
}

Bytes Der(CMS_ContentInfo* cms) {
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &der);
    if (n <= 0)
        throw std::runtime_error("i2d_CMS_ContentInfo");
    Bytes bytes(der, der + n);
    OPENSSL_free(der);
    return bytes;
}

// A CMS signed message over `content` by `key`, its self-signed certificate inside.
Bytes SignedMessage(KeyPtr key, unsigned int flags, const EVP_MD* md = EVP_sha256(),
                    const std::string& content = "signed content") {
    const X509Ptr cert = SelfSigned(key.get(), md);
    BioPtr data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_BINARY | CMS_PARTIAL | flags));
    if (!cms || CMS_add1_signer(cms.get(), cert.get(), key.get(), md, flags) == nullptr ||
        CMS_final(cms.get(), data.get(), nullptr, CMS_BINARY | flags) != 1)
        throw std::runtime_error("CMS_sign");
    return Der(cms.get());
}

KeyPtr EcKey(const char* curve) {
    return KeyPtr(EVP_EC_gen(curve));
}

KeyPtr DsaKey() {
    using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, FreeFn<EVP_PKEY_CTX_free>>;
    CtxPtr paramCtx(EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr));
    EVP_PKEY* params = nullptr;
    if (!paramCtx || EVP_PKEY_paramgen_init(paramCtx.get()) != 1 ||
        EVP_PKEY_CTX_set_dsa_paramgen_bits(paramCtx.get(), 1024) != 1 ||
        EVP_PKEY_paramgen(paramCtx.get(), &params) != 1)
        throw std::runtime_error("DSA parameters");
    const KeyPtr owner(params);
    CtxPtr keyCtx(EVP_PKEY_CTX_new_from_pkey(nullptr, params, nullptr));
    EVP_PKEY* key = nullptr;
    if (!keyCtx || EVP_PKEY_keygen_init(keyCtx.get()) != 1 ||
        EVP_PKEY_keygen(keyCtx.get(), &key) != 1)
        throw std::runtime_error("DSA key");
    return KeyPtr(key);
}

// Writes the PEM text into the address book of `config`.
void AddToAddressBook(const TempDir& config, const std::string& name, const std::string& text) {
    std::filesystem::create_directories(config.File("addressbook"));
    config.Write("addressbook/" + name, text);
}

class CertServicesTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CertContextsAlive(), m_alive); }

    TempDir m_config;
    ScopedEnv m_env{"MIVOKLIENT_CONFIG_DIR", m_config.Path().c_str()};
    std::size_t m_alive = CertContextsAlive();
};

} // namespace

TEST_F(CertServicesTest, ContextKeepsTheBytesItWasMadeOf) {
    const Bytes der = TokenFactory::TsaCertDer(KeyKind::Ecdsa);
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                          der.data(), der.size());
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->Encoded(), der);
    EXPECT_NE(context->Cert(), nullptr);
    EXPECT_EQ(CertContextsAlive(), m_alive + 1);
    EXPECT_TRUE(CertFreeCertificateContext(context));
    EXPECT_TRUE(CertFreeCertificateContext(nullptr));

    Bytes longer = der;
    longer.push_back(0);
    const struct {
        const char* name;
        uint32_t encoding;
        Bytes bytes;
        uint32_t error;
    } failures[] = {
        {"trailing byte", X509_ASN_ENCODING, longer, CRYPT_E_ASN1_BADTAG},
        {"cut", X509_ASN_ENCODING, Bytes(der.begin(), der.end() - 1), CRYPT_E_ASN1_BADTAG},
        {"garbage", X509_ASN_ENCODING, Bytes{0x30, 0x01, 0xFF}, CRYPT_E_ASN1_BADTAG},
        {"empty", X509_ASN_ENCODING, Bytes{}, E_INVALIDARG},
        {"no X.509 encoding", PKCS_7_ASN_ENCODING, der, E_INVALIDARG},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        SetLastError(0);
        EXPECT_EQ(CertCreateCertificateContext(f.encoding, f.bytes.data(), f.bytes.size()),
                  nullptr);
        EXPECT_EQ(GetLastError(), f.error);
    }
}

TEST_F(CertServicesTest, AddressBookReadsPemAndDerAndPassesOverTheRest) {
    const auto open = [] {
        return CertOpenSystemStore(CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG,
                                   kAddressBookStore);
    };
    SetLastError(0);
    EXPECT_EQ(open(), nullptr) << "no folder yet";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    HCERTSTORE empty = CertOpenSystemStore(CERT_SYSTEM_STORE_CURRENT_USER, kAddressBookStore);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CertStoreSize(empty), 0U);
    CertCloseStore(empty);

    // A chain of two in one PEM file, one DER file, and things that are no certificates.
    std::filesystem::copy_file(RealPath("certs/sigstage-tsa-chain.pem"),
                               m_config.File("addressbook.tmp"));
    std::filesystem::create_directories(m_config.File("addressbook/folder.pem"));
    std::filesystem::rename(m_config.File("addressbook.tmp"),
                            m_config.File("addressbook/chain.pem"));
    const Bytes der = TokenFactory::TsaCertDer(KeyKind::Rsa);
    m_config.Write("addressbook/tsa.cer", std::string(der.begin(), der.end()));
    m_config.Write("addressbook/empty.pem", "");
    m_config.Write("addressbook/readme.txt", "-----BEGIN CERTIFICATE-----\nnonsense\n");
    std::filesystem::create_symlink(m_config.File("nowhere"), m_config.File("addressbook/dead"));

    HCERTSTORE store = open();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(CertStoreSize(store), 3U);

    // Look-ups by issuer and serial number.
    X509* tsa = nullptr;
    {
        const unsigned char* p = der.data();
        tsa = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    }
    ASSERT_NE(tsa, nullptr);
    CertSignerId id;
    id.issuer = X509_get_issuer_name(tsa);
    id.serial = X509_get0_serialNumber(tsa);
    PCCERT_CONTEXT found = CertGetSubjectCertificateFromStore(store, X509_ASN_ENCODING, id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Encoded(), der);
    CertFreeCertificateContext(found);

    // ... and by subject key identifier.
    CertSignerId byKey;
    byKey.keyId = X509_get0_subject_key_id(tsa);
    ASSERT_NE(byKey.keyId, nullptr);
    found = CertGetSubjectCertificateFromStore(store, X509_ASN_ENCODING, byKey);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Encoded(), der);
    CertFreeCertificateContext(found);

    // Another serial of the same issuer is another certificate.
    ASN1_INTEGER* other = ASN1_INTEGER_dup(id.serial);
    ASN1_INTEGER_set(other, 424242);
    id.serial = other;
    SetLastError(0);
    EXPECT_EQ(CertGetSubjectCertificateFromStore(store, X509_ASN_ENCODING, id), nullptr);
    EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
    ASN1_INTEGER_free(other);
    X509_free(tsa);
    CertCloseStore(store);

    SetLastError(0);
    EXPECT_EQ(CertOpenSystemStore(CERT_SYSTEM_STORE_CURRENT_USER, "Root"), nullptr);
    EXPECT_EQ(CertOpenSystemStore(0, kAddressBookStore), nullptr);
    EXPECT_EQ(GetLastError(), E_INVALIDARG);
}

TEST_F(CertServicesTest, FactoryTokensOfKnownAlgorithmsVerify) {
    struct Case {
        KeyKind key;
        const char* digest;
    } const cases[] = {
        {KeyKind::Rsa, "SHA256"}, {KeyKind::Rsa, "SHA1"},     {KeyKind::Rsa, "SHA384"},
        {KeyKind::Rsa, "SHA512"}, {KeyKind::Rsa, "MD5"},      {KeyKind::Ecdsa, "SHA256"},
        {KeyKind::Ecdsa, "SHA1"}, {KeyKind::Ecdsa, "SHA512"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digest);
        TokenSpec spec;
        spec.key = c.key;
        spec.signDigest = c.digest;
        const Outcome outcome = Verify(TokenFactory::Token(spec));
        EXPECT_TRUE(outcome.verified) << std::hex << outcome.error;
        EXPECT_EQ(outcome.signer, TokenFactory::TsaCertDer(c.key));
    }
    // A signer named by its key identifier.
    TokenSpec byKey;
    byKey.signerByKeyId = true;
    EXPECT_TRUE(Verify(TokenFactory::Token(byKey)).verified);
}

TEST_F(CertServicesTest, UnknownAlgorithmsAreReportedAsSuch) {
    TokenSpec pss;
    pss.key = KeyKind::RsaPss;
    Outcome outcome = Verify(TokenFactory::Token(pss));
    EXPECT_FALSE(outcome.verified);
    EXPECT_EQ(outcome.error, CRYPT_E_UNKNOWN_ALGO);
    EXPECT_TRUE(outcome.signer.empty());

    TokenSpec sha224;
    sha224.signDigest = "SHA224";
    EXPECT_EQ(Verify(TokenFactory::Token(sha224)).error, CRYPT_E_UNKNOWN_ALGO);
    // Another signature algorithm (DSA).
    EXPECT_EQ(Verify(SignedMessage(DsaKey(), 0)).error, CRYPT_E_UNKNOWN_ALGO);
    // ECDSA on a curve outside the three: the key is unknown.
    outcome = Verify(SignedMessage(EcKey("secp256k1"), 0));
    EXPECT_FALSE(outcome.verified);
    EXPECT_EQ(outcome.error, NTE_BAD_ALGID);
    // ... while the three themselves are known.
    for (const char* curve : {"P-256", "P-384", "P-521"}) {
        SCOPED_TRACE(curve);
        EXPECT_TRUE(Verify(SignedMessage(EcKey(curve), 0, EVP_sha384())).verified);
    }
}

TEST_F(CertServicesTest, BrokenMessagesFailWithTheirOwnCodes) {
    TokenSpec spec;
    spec.tamperSignature = true;
    Outcome outcome = Verify(TokenFactory::Token(spec));
    EXPECT_FALSE(outcome.verified);
    EXPECT_EQ(outcome.error, NTE_BAD_SIGNATURE);
    EXPECT_TRUE(outcome.signer.empty());

    // One byte of the signed content changed: the message digest no longer matches.
    const Bytes token = TokenFactory::Token();
    const Bytes tstInfo = TokenFactory::TstInfo(TokenSpec{});
    const auto at = std::search(token.begin(), token.end(), tstInfo.begin(), tstInfo.end());
    ASSERT_NE(at, token.end());
    Bytes changed = token;
    changed[static_cast<std::size_t>(at - token.begin()) + tstInfo.size() - 3] ^= 0x01;
    EXPECT_EQ(Verify(changed).error, CRYPT_E_HASH_VALUE);

    // No certificate for the signer.
    TokenSpec noCert;
    noCert.includeSignerCert = false;
    EXPECT_EQ(Verify(TokenFactory::Token(noCert)).error, CRYPT_E_NO_SIGNER);
    EXPECT_EQ(Verify(token, {}, 1).error, CRYPT_E_NO_SIGNER);

    // Not a message, not signed data, bytes after it.
    EXPECT_EQ(Verify(Bytes{0x30, 0x03, 0x02, 0x01, 0x01}).error, CRYPT_E_ASN1_BADTAG);
    Bytes longer = token;
    longer.push_back(0x00);
    EXPECT_EQ(Verify(longer).error, CRYPT_E_ASN1_BADTAG);
    {
        const std::string text = "plain";
        BioPtr bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
        CmsPtr data(CMS_data_create(bio.get(), CMS_BINARY));
        EXPECT_EQ(Verify(Der(data.get())).error, CRYPT_E_UNEXPECTED_MSG_TYPE);
    }
    EXPECT_EQ(Verify(Bytes{}).error, CRYPT_E_ASN1_BADTAG);
    CRYPT_VERIFY_MESSAGE_PARA wrongSize;
    wrongSize.cbSize = 20;
    EXPECT_EQ(Verify(token, wrongSize).error, E_INVALIDARG);
}

TEST_F(CertServicesTest, MessagesWithoutSignedAttributes) {
    const Bytes message = SignedMessage(EcKey("P-256"), CMS_NOATTR);
    EXPECT_TRUE(Verify(message).verified);
    Bytes changed = message;
    const std::string content = "signed content";
    const auto at = std::search(changed.begin(), changed.end(), content.begin(), content.end());
    ASSERT_NE(at, changed.end());
    *at ^= 0x20;
    EXPECT_EQ(Verify(changed).error, NTE_BAD_SIGNATURE);
}

TEST_F(CertServicesTest, TheCallbackFindsTheSigner) {
    // The callback sees the message's certificates; what it answers is the signer.
    struct Seen {
        std::size_t carried = 0;
        int calls = 0;
    } seen;
    CRYPT_VERIFY_MESSAGE_PARA para;
    para.pvGetArg = &seen;
    para.pfnGetSignerCertificate = [](void* arg, uint32_t encoding, const CertSignerId& id,
                                      HCERTSTORE store) -> PCCERT_CONTEXT {
        auto* s = static_cast<Seen*>(arg);
        ++s->calls;
        s->carried = CertStoreSize(store);
        if (PCCERT_CONTEXT carried = CertGetSubjectCertificateFromStore(store, encoding, id))
            return carried;
        const Bytes der = TokenFactory::TsaCertDer(KeyKind::Rsa);
        return CertCreateCertificateContext(encoding, der.data(), der.size());
    };
    TokenSpec both;
    both.includeCaCert = true;
    EXPECT_TRUE(Verify(TokenFactory::Token(both), para).verified);
    EXPECT_EQ(seen.carried, 2U);

    TokenSpec none;
    none.includeSignerCert = false;
    const Outcome outcome = Verify(TokenFactory::Token(none), para);
    EXPECT_TRUE(outcome.verified);
    EXPECT_EQ(seen.carried, 0U);
    EXPECT_EQ(outcome.signer, TokenFactory::TsaCertDer(KeyKind::Rsa));
    EXPECT_EQ(seen.calls, 2);

    // The wrong certificate from the callback: the signature does not verify with it.
    para.pfnGetSignerCertificate = [](void*, uint32_t encoding, const CertSignerId&,
                                      HCERTSTORE) -> PCCERT_CONTEXT {
        const Bytes der = TokenFactory::TsaCertDer(KeyKind::Ecdsa);
        return CertCreateCertificateContext(encoding, der.data(), der.size());
    };
    EXPECT_EQ(Verify(TokenFactory::Token(none), para).error, NTE_BAD_SIGNATURE);
}

TEST_F(CertServicesTest, RealTokensVerifyWithoutTheLibrarysHelp) {
    for (const char* name :
         {"sigstage-ecdsa-sha256-reply.tsr", "sigstage-ecdsa-sha384-reply.tsr",
          "identrust-rsa-sha512-reply.tsr", "globalsign-adobecds-rsa-sha256-reply-nonce.tsr",
          "globalsign-adobecds-rsa-sha256-reply-nononce.tsr", "digicert-rsa-sha256-reply-2018.tsr",
          "digicert-rsa-sha512-reply-2023.tsr", "freetsa-rsa-sha512-reply-2023.tsr",
          "freetsa-rsa-sha256-reply-2018-microsec.tsr", "apple-rsa-sha256-reply.tsr",
          "sslcom-ecdsa-sha256-token-authenticode.tst", "disig-rsa-sha256-token.tst",
          "infocert-rsa-sha256-token.tst", "belgium-rsa-sha256-token.tst",
          "exceet-rsa-sha256-token-der.tst"}) {
        SCOPED_TRACE(name);
        const Bytes token = TokenOf(ReadBytes(RealPath(name)));
        Bytes prepared(token.size());
        int length = static_cast<int>(prepared.size());
        TTI_PrepareSignedMessage(token.data(), static_cast<int>(token.size()), prepared.data(),
                                 &length);
        prepared.resize(static_cast<std::size_t>(length));
        const Outcome outcome = Verify(prepared);
        EXPECT_TRUE(outcome.verified) << std::hex << outcome.error;
        EXPECT_FALSE(outcome.signer.empty());
    }
    const Outcome bad =
        Verify(TokenOf(ReadBytes(RealPath("negative/sigstage-ecdsa-sha256-reply-BADSIG.tsr"))));
    EXPECT_EQ(bad.error, NTE_BAD_SIGNATURE);

    // The reply without certificates: its signer is found in the address book only.
    const Bytes noCerts = TokenOf(ReadBytes(RealPath("sigstage-ecdsa-sha256-reply-nocerts.tsr")));
    EXPECT_EQ(Verify(noCerts).error, CRYPT_E_NO_SIGNER);
    AddToAddressBook(m_config, "chain.pem", [] {
        std::ifstream in(RealPath("certs/sigstage-tsa-chain.pem"));
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }());
    CRYPT_VERIFY_MESSAGE_PARA para;
    para.pfnGetSignerCertificate = [](void*, uint32_t encoding, const CertSignerId& id,
                                      HCERTSTORE) -> PCCERT_CONTEXT {
        HCERTSTORE book = CertOpenSystemStore(CERT_SYSTEM_STORE_CURRENT_USER, kAddressBookStore);
        PCCERT_CONTEXT found = CertGetSubjectCertificateFromStore(book, encoding, id);
        CertCloseStore(book);
        return found;
    };
    EXPECT_TRUE(Verify(noCerts, para).verified);
}
