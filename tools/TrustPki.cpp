// Test certificates, CRLs and OCSP answers on OpenSSL's X.509, CRL and OCSP functions.
#include "tools/TrustPki.h"

#include "platform/OpenSslPtr.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <stdexcept>

namespace mivo::test {

namespace {

using BioPtr = OpenSslPtr<BIO, BIO_free_all>;
using BigNumPtr = OpenSslPtr<BIGNUM, BN_free>;
using CrlPtr = OpenSslPtr<X509_CRL, X509_CRL_free>;
using ExtensionPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;
using NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using OcspBasicPtr = OpenSslPtr<OCSP_BASICRESP, OCSP_BASICRESP_free>;
using OcspResponsePtr = OpenSslPtr<OCSP_RESPONSE, OCSP_RESPONSE_free>;
using RevokedPtr = OpenSslPtr<X509_REVOKED, X509_REVOKED_free>;
using TimePtr = OpenSslPtr<ASN1_TIME, ASN1_TIME_free>;
using EnumPtr = OpenSslPtr<ASN1_ENUMERATED, ASN1_ENUMERATED_free>;

[[noreturn]] void Fail(const std::string& what) {
    std::string text = "TrustPki: " + what;
    if (unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        text += ": ";
        text += buf;
    }
    ERR_clear_error();
    throw std::runtime_error(text);
}

template <class T> T* Check(T* p, const char* what) {
    if (p == nullptr)
        Fail(what);
    return p;
}

void Check(int ok, const char* what) {
    if (ok <= 0)
        Fail(what);
}

EVP_PKEY* NewKey(TestKey kind) {
    switch (kind) {
    case TestKey::Rsa1024:
        return Check(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{1024}), "RSA key");
    case TestKey::Rsa2048:
        return Check(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{2048}), "RSA key");
    case TestKey::Ec:
        break;
    }
    return Check(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), "EC key");
}

NamePtr MakeName(const std::string& commonName) {
    NamePtr name(Check(X509_NAME_new(), "name"));
    const auto add = [&name](const char* field, const std::string& value) {
        Check(X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(value.data()),
                                         static_cast<int>(value.size()), -1, 0),
              "name entry");
    };
    add("C", "CZ");
    add("O", "Mivo Trust Test");
    add("CN", commonName);
    return name;
}

// A validity time as written: a well-formed one through OpenSSL, anything else raw.
void SetTime(ASN1_TIME* field, const std::string& text) {
    if (ASN1_TIME_set_string_X509(field, text.c_str()) == 1)
        return;
    ERR_clear_error();
    Check(ASN1_STRING_set(field, text.data(), static_cast<int>(text.size())), "time");
    field->type = text.size() == 13 ? V_ASN1_UTCTIME : V_ASN1_GENERALIZEDTIME;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    ExtensionPtr ext(Check(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()), "extension"));
    Check(X509_add_ext(cert, ext.get(), -1), "extension");
}

std::string Joined(const char* prefix, const std::vector<std::string>& values,
                   const char* separator = ",") {
    std::string text;
    for (const std::string& value : values)
        text += (text.empty() ? "" : separator) + std::string(prefix) + value;
    return text;
}

void AddUsage(X509* cert, X509* issuer, const TestCertSpec& spec) {
    if (spec.ca) {
        AddExtension(cert, issuer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert, issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
        return;
    }
    AddExtension(cert, issuer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert, issuer, NID_key_usage, "critical,digitalSignature,nonRepudiation");
    switch (spec.eku) {
    case TestEku::TimeStampingCritical:
        AddExtension(cert, issuer, NID_ext_key_usage, "critical,timeStamping");
        break;
    case TestEku::TimeStampingNonCritical:
        AddExtension(cert, issuer, NID_ext_key_usage, "timeStamping");
        break;
    case TestEku::TimeStampingAndServerAuth:
        AddExtension(cert, issuer, NID_ext_key_usage, "critical,timeStamping,serverAuth");
        break;
    case TestEku::OcspSigning:
        AddExtension(cert, issuer, NID_ext_key_usage, "OCSPSigning");
        break;
    case TestEku::None:
        break;
    }
}

void AddLocations(X509* cert, X509* issuer, const TestCertSpec& spec) {
    if (!spec.ocspUrls.empty())
        AddExtension(cert, issuer, NID_info_access, Joined("OCSP;URI:", spec.ocspUrls));
    if (!spec.crlUrls.empty())
        AddExtension(cert, issuer, NID_crl_distribution_points, Joined("URI:", spec.crlUrls));
    if (!spec.dnsNames.empty())
        AddExtension(cert, issuer, NID_subject_alt_name, Joined("DNS:", spec.dnsNames));
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(n));
}

// ---- DER by hand (definite lengths only) ------------------------------------------------

Bytes Tlv(unsigned char tag, const Bytes& content) {
    Bytes out{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
    } else {
        Bytes length;
        for (std::size_t v = n; v != 0; v >>= 8)
            length.insert(length.begin(), static_cast<unsigned char>(v & 0xff));
        out.push_back(static_cast<unsigned char>(0x80 | length.size()));
        out.insert(out.end(), length.begin(), length.end());
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// The header length and content length of the element at `at`.
std::pair<std::size_t, std::size_t> Header(const Bytes& der, std::size_t at) {
    if (at + 2 > der.size())
        Fail("DER: truncated");
    std::size_t length = der[at + 1];
    std::size_t header = 2;
    if (length & 0x80) {
        const std::size_t octets = length & 0x7f;
        if (octets == 0 || octets > 4 || at + 2 + octets > der.size())
            Fail("DER: not definite");
        length = 0;
        for (std::size_t i = 0; i < octets; ++i)
            length = (length << 8) | der[at + 2 + i];
        header += octets;
    }
    if (at + header + length > der.size())
        Fail("DER: truncated");
    return {header, length};
}

Bytes Content(const Bytes& element) {
    const auto [header, length] = Header(element, 0);
    return Bytes(element.begin() + static_cast<std::ptrdiff_t>(header),
                 element.begin() + static_cast<std::ptrdiff_t>(header + length));
}

// The elements inside the constructed element `element`.
std::vector<Bytes> Children(const Bytes& element) {
    const Bytes content = Content(element);
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < content.size();) {
        const auto [header, length] = Header(content, at);
        out.emplace_back(content.begin() + static_cast<std::ptrdiff_t>(at),
                         content.begin() + static_cast<std::ptrdiff_t>(at + header + length));
        at += header + length;
    }
    return out;
}

template <class T, class F> Bytes Encode(const T* value, F i2d) {
    unsigned char* der = nullptr;
    const int n = i2d(value, &der);
    if (n <= 0)
        Fail("encoding");
    Bytes out(der, der + n);
    OPENSSL_free(der);
    return out;
}

} // namespace

TestCert::TestCert(const TestCertSpec& spec, const TestCert* issuer) {
    if (spec.keyOf != nullptr) {
        m_key = spec.keyOf->m_key;
        Check(EVP_PKEY_up_ref(m_key), "key");
    } else {
        m_key = NewKey(spec.key);
    }
    m_cert = Check(X509_new(), "certificate");
    Check(X509_set_version(m_cert, 2), "version");
    unsigned char serial[12];
    Check(RAND_bytes(serial, sizeof serial), "serial");
    serial[0] &= 0x7f;
    BigNumPtr bn(Check(BN_bin2bn(serial, sizeof serial, nullptr), "serial"));
    Check(BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(m_cert)) != nullptr, "serial");
    NamePtr subject = MakeName(spec.commonName);
    Check(X509_set_subject_name(m_cert, subject.get()), "subject");
    X509* issuerCert = issuer != nullptr ? issuer->m_cert : m_cert;
    Check(X509_set_issuer_name(m_cert, X509_get_subject_name(issuerCert)), "issuer");
    SetTime(X509_getm_notBefore(m_cert), spec.notBefore);
    SetTime(X509_getm_notAfter(m_cert), spec.notAfter);
    Check(X509_set_pubkey(m_cert, m_key), "public key");
    AddExtension(m_cert, issuerCert, NID_subject_key_identifier, "hash");
    if (issuer != nullptr)
        AddExtension(m_cert, issuerCert, NID_authority_key_identifier, "keyid:always");
    AddUsage(m_cert, issuerCert, spec);
    AddLocations(m_cert, issuerCert, spec);
    const EVP_MD* md = Check(EVP_get_digestbyname(spec.signDigest.c_str()), "digest");
    Check(X509_sign(m_cert, issuer != nullptr ? issuer->m_key : m_key, md), "signing");
}

TestCert::~TestCert() {
    X509_free(m_cert);
    EVP_PKEY_free(m_key);
}

std::string TestCert::CertPem() const {
    BioPtr bio(Check(BIO_new(BIO_s_mem()), "BIO"));
    Check(PEM_write_bio_X509(bio.get(), m_cert), "PEM");
    return BioText(bio.get());
}

std::string TestCert::KeyPem() const {
    BioPtr bio(Check(BIO_new(BIO_s_mem()), "BIO"));
    Check(PEM_write_bio_PrivateKey(bio.get(), m_key, nullptr, nullptr, 0, nullptr, nullptr), "PEM");
    return BioText(bio.get());
}

Bytes TestCert::CertDer() const {
    return Encode(m_cert, i2d_X509);
}

DirName TestCert::Subject() const {
    DirName name;
    const X509_NAME* subject = X509_get_subject_name(m_cert);
    for (int i = 0; i < X509_NAME_entry_count(subject); ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(subject, i);
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(entry);
        name.emplace_back(OBJ_nid2sn(OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry))),
                          std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                                      static_cast<std::size_t>(ASN1_STRING_length(value))));
    }
    return name;
}

Bytes MakeCrl(const TestCert& issuer, const std::vector<RevokedEntry>& revoked,
              const std::string& thisUpdate, const std::string& nextUpdate) {
    CrlPtr crl(Check(X509_CRL_new(), "CRL"));
    Check(X509_CRL_set_version(crl.get(), 1), "CRL version");
    Check(X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuer.Cert())), "CRL issuer");
    TimePtr time(Check(ASN1_TIME_new(), "time"));
    SetTime(time.get(), thisUpdate);
    Check(X509_CRL_set1_lastUpdate(crl.get(), time.get()), "CRL time");
    SetTime(time.get(), nextUpdate);
    Check(X509_CRL_set1_nextUpdate(crl.get(), time.get()), "CRL time");
    for (const RevokedEntry& entry : revoked) {
        RevokedPtr item(Check(X509_REVOKED_new(), "revoked"));
        Check(X509_REVOKED_set_serialNumber(item.get(), X509_get_serialNumber(entry.cert->Cert())),
              "revoked serial");
        SetTime(time.get(), entry.when);
        Check(X509_REVOKED_set_revocationDate(item.get(), time.get()), "revocation date");
        if (entry.reason >= 0) {
            EnumPtr reason(Check(ASN1_ENUMERATED_new(), "reason"));
            Check(ASN1_ENUMERATED_set(reason.get(), entry.reason), "reason");
            Check(X509_REVOKED_add1_ext_i2d(item.get(), NID_crl_reason, reason.get(), 0, 0),
                  "reason");
        }
        Check(X509_CRL_add0_revoked(crl.get(), item.release()), "revoked");
    }
    Check(X509_CRL_sort(crl.get()), "CRL sort");
    Check(X509_CRL_sign(crl.get(), issuer.Key(), EVP_sha256()), "CRL signing");
    return Encode(crl.get(), i2d_X509_CRL);
}

Bytes MakeBasicOcsp(const TestCert& responder, const TestCert& cert, const TestCert& issuer,
                    const OcspSpec& spec) {
    OcspBasicPtr basic(Check(OCSP_BASICRESP_new(), "OCSP"));
    OCSP_CERTID* id = Check(OCSP_cert_to_id(nullptr, cert.Cert(), issuer.Cert()), "OCSP id");
    TimePtr thisUpdate(Check(ASN1_TIME_new(), "time"));
    TimePtr nextUpdate;
    if (spec.thisUpdate.empty()) {
        Check(X509_gmtime_adj(thisUpdate.get(), -60) != nullptr, "time");
        nextUpdate.reset(Check(X509_gmtime_adj(nullptr, 7L * 24 * 3600), "time"));
    } else {
        SetTime(thisUpdate.get(), spec.thisUpdate);
    }
    TimePtr revokedAt(Check(ASN1_TIME_new(), "time"));
    SetTime(revokedAt.get(), spec.revokedAt);
    const int status = spec.status == OcspStatus::Good      ? V_OCSP_CERTSTATUS_GOOD
                       : spec.status == OcspStatus::Revoked ? V_OCSP_CERTSTATUS_REVOKED
                                                            : V_OCSP_CERTSTATUS_UNKNOWN;
    OCSP_SINGLERESP* single =
        OCSP_basic_add1_status(basic.get(), id, status, spec.reason < 0 ? 0 : spec.reason,
                               revokedAt.get(), thisUpdate.get(), nextUpdate.get());
    OCSP_CERTID_free(id);
    Check(single, "OCSP status");
    const unsigned long flags = spec.includeResponderCert ? 0 : OCSP_NOCERTS;
    Check(OCSP_basic_sign(basic.get(), responder.Cert(), responder.Key(), EVP_sha256(), nullptr,
                          flags),
          "OCSP signing");
    return Encode(basic.get(), i2d_OCSP_BASICRESP);
}

Bytes WrapOcspResponse(const Bytes& basic) {
    const unsigned char* p = basic.data();
    OcspBasicPtr parsed(
        Check(d2i_OCSP_BASICRESP(nullptr, &p, static_cast<long>(basic.size())), "OCSP"));
    OcspResponsePtr response(
        Check(OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, parsed.get()), "OCSP"));
    return Encode(response.get(), i2d_OCSP_RESPONSE);
}

namespace detail {

LoadedSigner::~LoadedSigner() {
    X509_free(cert);
    EVP_PKEY_free(key);
}

void LoadSigner(const SignerSpec& spec, LoadedSigner& out) {
    out.cert = LoadCertPem(spec.certPem);
    BioPtr bio(
        Check(BIO_new_mem_buf(spec.keyPem.data(), static_cast<int>(spec.keyPem.size())), "BIO"));
    out.key = Check(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), "signer key");
}

X509* LoadCertPem(const std::string& pem) {
    BioPtr bio(Check(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), "BIO"));
    return Check(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), "certificate PEM");
}

Bytes WithOtherRevocationInfo(const Bytes& token,
                              const std::vector<std::pair<std::string, Bytes>>& entries) {
    // ContentInfo { contentType, [0] { SignedData { version, digestAlgorithms, encapContent,
    //   [0] certificates, [1] crls, signerInfos } } }
    const std::vector<Bytes> contentInfo = Children(token);
    if (contentInfo.size() != 2)
        Fail("not a ContentInfo");
    const std::vector<Bytes> explicitContent = Children(contentInfo[1]);
    if (explicitContent.size() != 1)
        Fail("not signed data");
    std::vector<Bytes> fields = Children(explicitContent[0]);
    if (fields.size() < 4)
        Fail("not signed data");
    Bytes others;
    for (const auto& [format, value] : entries) {
        OpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free> oid(
            Check(OBJ_txt2obj(format.c_str(), 1), "format"));
        Bytes both = Encode(oid.get(), i2d_ASN1_OBJECT);
        both.insert(both.end(), value.begin(), value.end());
        const Bytes other = Tlv(0xA1, both);
        others.insert(others.end(), other.begin(), other.end());
    }
    // Into the crls field when there is one, else a new one before the signer infos.
    const auto crls = std::find_if(fields.begin(), fields.end(),
                                   [](const Bytes& field) { return field[0] == 0xA1; });
    if (crls != fields.end()) {
        Bytes content = Content(*crls);
        content.insert(content.end(), others.begin(), others.end());
        *crls = Tlv(0xA1, content);
    } else {
        fields.insert(fields.end() - 1, Tlv(0xA1, others));
    }
    Bytes signedData;
    for (const Bytes& field : fields)
        signedData.insert(signedData.end(), field.begin(), field.end());
    Bytes outer = contentInfo[0];
    const Bytes wrapped = Tlv(0xA0, Tlv(0x30, signedData));
    outer.insert(outer.end(), wrapped.begin(), wrapped.end());
    return Tlv(0x30, outer);
}

X509_CRL* LoadCrlDer(const Bytes& der) {
    const unsigned char* p = der.data();
    return Check(d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size())), "CRL");
}

} // namespace detail

} // namespace mivo::test
