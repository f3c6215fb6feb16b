// Test replies and tokens: TSTInfo from OpenSSL's time-stamp types, signed with CMS (which
// also does RSASSA-PSS), replies and the TAC written as DER by hand so that a test can put
// any value anywhere.
#include "tools/TokenFactory.h"
#include "platform/OpenSslPtr.h"
#include "tools/TrustPki.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/ess.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <stdexcept>

namespace mivo::test {

namespace {

// ---- Owning pointers -------------------------------------------------------------------

template <class T, auto Free> using Owned = OpenSslPtr<T, Free>;

using AlgorPtr = Owned<X509_ALGOR, X509_ALGOR_free>;
using Asn1IntegerPtr = Owned<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1ObjectPtr = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using Asn1StringPtr = Owned<ASN1_STRING, ASN1_STRING_free>;
using AccuracyPtr = Owned<TS_ACCURACY, TS_ACCURACY_free>;
using BigNumPtr = Owned<BIGNUM, BN_free>;
using BioPtr = Owned<BIO, BIO_free_all>;
using CmsPtr = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;
using EssV1Ptr = Owned<ESS_SIGNING_CERT, ESS_SIGNING_CERT_free>;
using EssV2Ptr = Owned<ESS_SIGNING_CERT_V2, ESS_SIGNING_CERT_V2_free>;
using GeneralNamePtr = Owned<GENERAL_NAME, GENERAL_NAME_free>;
using KeyPtr = Owned<EVP_PKEY, EVP_PKEY_free>;
using MdCtxPtr = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using MsgImprintPtr = Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>;
using NamePtr = Owned<X509_NAME, X509_NAME_free>;
using TstInfoPtr = Owned<TS_TST_INFO, TS_TST_INFO_free>;
using X509Ptr = Owned<X509, X509_free>;
using ExtensionPtr = Owned<X509_EXTENSION, X509_EXTENSION_free>;

[[noreturn]] void Fail(const std::string& what) {
    std::string text = "TokenFactory: " + what;
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

// i2d of any OpenSSL type into bytes.
template <class T, class F> Bytes Encode(const T* value, F i2d) {
    unsigned char* der = nullptr;
    const int n = i2d(value, &der);
    if (n <= 0)
        Fail("encoding");
    Bytes out(der, der + n);
    OPENSSL_free(der);
    return out;
}

// ---- Hand-written DER ------------------------------------------------------------------

Bytes Tlv(unsigned char tag, const Bytes& content) {
    Bytes out{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
    } else {
        Bytes len;
        for (std::size_t v = n; v != 0; v >>= 8)
            len.insert(len.begin(), static_cast<unsigned char>(v & 0xff));
        out.push_back(static_cast<unsigned char>(0x80 | len.size()));
        out.insert(out.end(), len.begin(), len.end());
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Seq(std::initializer_list<Bytes> parts) {
    return Tlv(0x30, Cat(parts));
}

Bytes Text(unsigned char tag, const std::string& s) {
    return Tlv(tag, Bytes(s.begin(), s.end()));
}

Bytes Int(int64_t v) {
    Asn1IntegerPtr i(Check(ASN1_INTEGER_new(), "INTEGER"));
    Check(ASN1_INTEGER_set_int64(i.get(), v), "INTEGER");
    return Encode(i.get(), i2d_ASN1_INTEGER);
}

// An unsigned big-endian number as INTEGER.
Bytes UnsignedInt(const Bytes& be, bool negative = false) {
    BigNumPtr bn(Check(BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr), "BIGNUM"));
    BN_set_negative(bn.get(), negative ? 1 : 0);
    Asn1IntegerPtr i(Check(BN_to_ASN1_INTEGER(bn.get(), nullptr), "INTEGER"));
    return Encode(i.get(), i2d_ASN1_INTEGER);
}

Asn1ObjectPtr Object(const std::string& dotted) {
    return Asn1ObjectPtr(Check(OBJ_txt2obj(dotted.c_str(), 1), "object identifier"));
}

Bytes Oid(const std::string& dotted) {
    Asn1ObjectPtr o = Object(dotted);
    return Encode(o.get(), i2d_ASN1_OBJECT);
}

Bytes BitString(const Bytes& bytes) {
    Bytes content{0};
    content.insert(content.end(), bytes.begin(), bytes.end());
    return Tlv(0x03, content);
}

Bytes AlgId(const std::string& oid, bool nullParams) {
    return nullParams ? Seq({Oid(oid), Bytes{0x05, 0x00}}) : Seq({Oid(oid)});
}

// PKIFailureInfo: a named bit list, trailing zero bits left out.
Bytes FailureBits(uint32_t mask) {
    if (mask == 0)
        return Bytes{0x03, 0x01, 0x00};
    int top = 31;
    while ((mask & (uint32_t{1} << top)) == 0)
        --top;
    Bytes bits(static_cast<std::size_t>(top / 8 + 1), 0);
    for (int n = 0; n <= top; ++n)
        if (mask & (uint32_t{1} << n))
            bits[static_cast<std::size_t>(n / 8)] |= static_cast<unsigned char>(0x80 >> (n % 8));
    Bytes content{static_cast<unsigned char>(7 - top % 8)};
    content.insert(content.end(), bits.begin(), bits.end());
    return Tlv(0x03, content);
}

NamePtr MakeName(const DirName& entries) {
    NamePtr name(Check(X509_NAME_new(), "name"));
    for (const auto& [field, value] : entries)
        Check(X509_NAME_add_entry_by_txt(name.get(), field.c_str(), MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(value.data()),
                                         static_cast<int>(value.size()), -1, 0),
              "name entry");
    return name;
}

Bytes NameDer(const X509_NAME* name) {
    return Encode(name, i2d_X509_NAME);
}

// ---- Throwaway PKI ---------------------------------------------------------------------

struct Credential {
    KeyPtr key;
    X509Ptr cert;
};

KeyPtr NewKey(bool rsa) {
    return KeyPtr(Check(rsa ? EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{2048})
                            : EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"),
                        "key generation"));
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    ExtensionPtr ext(Check(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value), "extension"));
    Check(X509_add_ext(cert, ext.get(), -1), "extension");
}

// A certificate for `key`, signed by `issuer` (itself when null).
X509Ptr NewCert(EVP_PKEY* key, const DirName& subject, const Credential* issuer, bool ca,
                bool tsa) {
    X509Ptr cert(Check(X509_new(), "certificate"));
    Check(X509_set_version(cert.get(), 2), "version");
    unsigned char serial[16];
    Check(RAND_bytes(serial, sizeof serial), "serial");
    serial[0] &= 0x7f;
    BigNumPtr bn(Check(BN_bin2bn(serial, sizeof serial, nullptr), "serial"));
    Check(BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(cert.get())) != nullptr, "serial");
    NamePtr name = MakeName(subject);
    Check(X509_set_subject_name(cert.get(), name.get()), "subject");
    Check(X509_set_issuer_name(cert.get(),
                               issuer ? X509_get_subject_name(issuer->cert.get()) : name.get()),
          "issuer");
    Check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600) != nullptr, "validity");
    Check(X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3650L * 24 * 3600) != nullptr,
          "validity");
    Check(X509_set_pubkey(cert.get(), key), "public key");
    X509* issuerCert = issuer ? issuer->cert.get() : cert.get();
    AddExtension(cert.get(), issuerCert, NID_subject_key_identifier, "hash");
    AddExtension(cert.get(), issuerCert, NID_authority_key_identifier, "keyid:always");
    if (ca) {
        AddExtension(cert.get(), issuerCert, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(cert.get(), issuerCert, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert.get(), issuerCert, NID_key_usage,
                     "critical,digitalSignature,nonRepudiation");
        if (tsa)
            AddExtension(cert.get(), issuerCert, NID_ext_key_usage, "critical,timeStamping");
    }
    Check(X509_sign(cert.get(), issuer ? issuer->key.get() : key, EVP_sha256()), "signing");
    return cert;
}

struct Pki {
    Credential ca;
    std::map<KeyKind, Credential> tsa;
    Credential tacIssuer;
};

const Pki& ThePki() {
    static const Pki pki = [] {
        Pki p;
        p.ca.key = NewKey(false);
        p.ca.cert =
            NewCert(p.ca.key.get(), {{"C", "CZ"}, {"O", "Mivo Test"}, {"CN", "Mivo Test CA"}},
                    nullptr, true, false);
        for (const KeyKind kind : {KeyKind::Rsa, KeyKind::Ecdsa, KeyKind::RsaPss}) {
            Credential c;
            c.key = NewKey(kind != KeyKind::Ecdsa);
            c.cert = NewCert(c.key.get(), TokenFactory::TsaSubject(kind), &p.ca, false, true);
            p.tsa.emplace(kind, std::move(c));
        }
        p.tacIssuer.key = NewKey(false);
        p.tacIssuer.cert = NewCert(
            p.tacIssuer.key.get(),
            {{"C", "CZ"}, {"O", "Mivo Test"}, {"CN", "Mivo Test TAC Issuer"}}, &p.ca, false, false);
        return p;
    }();
    return pki;
}

const Credential& Tsa(KeyKind kind) {
    return ThePki().tsa.at(kind);
}

std::string CertPem(X509* cert) {
    BioPtr bio(Check(BIO_new(BIO_s_mem()), "BIO"));
    Check(PEM_write_bio_X509(bio.get(), cert), "PEM");
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

// ---- TSTInfo ---------------------------------------------------------------------------

Asn1IntegerPtr Integer(const Bytes& be, bool negative) {
    BigNumPtr bn(Check(BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr), "BIGNUM"));
    BN_set_negative(bn.get(), negative ? 1 : 0);
    return Asn1IntegerPtr(Check(BN_to_ASN1_INTEGER(bn.get(), nullptr), "INTEGER"));
}

Asn1IntegerPtr Integer(long v) {
    Asn1IntegerPtr i(Check(ASN1_INTEGER_new(), "INTEGER"));
    Check(ASN1_INTEGER_set(i.get(), v), "INTEGER");
    return i;
}

GeneralNamePtr MakeGeneralName(const GeneralNameSpec& spec) {
    GeneralNamePtr gn(Check(GENERAL_NAME_new(), "GeneralName"));
    using Kind = GeneralNameSpec::Kind;
    switch (spec.kind) {
    case Kind::Directory:
        GENERAL_NAME_set0_value(gn.get(), GEN_DIRNAME, MakeName(spec.dirName).release());
        break;
    case Kind::Dns:
    case Kind::Email:
    case Kind::Uri: {
        Asn1StringPtr s(Check(ASN1_IA5STRING_new(), "IA5String"));
        Check(ASN1_STRING_set(s.get(), spec.text.data(), static_cast<int>(spec.text.size())),
              "IA5String");
        const int type = spec.kind == Kind::Dns     ? GEN_DNS
                         : spec.kind == Kind::Email ? GEN_EMAIL
                                                    : GEN_URI;
        GENERAL_NAME_set0_value(gn.get(), type, s.release());
        break;
    }
    case Kind::Ip: {
        Asn1StringPtr s(Check(ASN1_OCTET_STRING_new(), "OCTET STRING"));
        Check(ASN1_STRING_set(s.get(), spec.ip.data(), static_cast<int>(spec.ip.size())),
              "OCTET STRING");
        GENERAL_NAME_set0_value(gn.get(), GEN_IPADD, s.release());
        break;
    }
    case Kind::Rid:
        GENERAL_NAME_set0_value(gn.get(), GEN_RID, Object(spec.text).release());
        break;
    }
    return gn;
}

Bytes MakeTstInfo(const TokenSpec& spec) {
    if (spec.rawTstInfo)
        return *spec.rawTstInfo;
    TstInfoPtr tst(Check(TS_TST_INFO_new(), "TSTInfo"));
    Check(TS_TST_INFO_set_version(tst.get(), spec.version), "version");
    Check(TS_TST_INFO_set_policy_id(tst.get(), Object(spec.policyOid).get()), "policy");

    AlgorPtr algo(Check(X509_ALGOR_new(), "algorithm"));
    Check(X509_ALGOR_set0(algo.get(), Object(spec.imprintOid).release(), V_ASN1_NULL, nullptr),
          "algorithm");
    MsgImprintPtr imprint(Check(TS_MSG_IMPRINT_new(), "imprint"));
    Bytes digest = spec.imprint;
    Check(TS_MSG_IMPRINT_set_algo(imprint.get(), algo.get()), "imprint");
    Check(TS_MSG_IMPRINT_set_msg(imprint.get(), digest.data(), static_cast<int>(digest.size())),
          "imprint");
    Check(TS_TST_INFO_set_msg_imprint(tst.get(), imprint.get()), "imprint");

    Check(TS_TST_INFO_set_serial(tst.get(), Integer(spec.serial, spec.negativeSerial).get()),
          "serial");
    Asn1StringPtr time(Check(ASN1_STRING_type_new(V_ASN1_GENERALIZEDTIME), "genTime"));
    Check(ASN1_STRING_set(time.get(), spec.genTime.data(), static_cast<int>(spec.genTime.size())),
          "genTime");
    Check(TS_TST_INFO_set_time(tst.get(), time.get()), "genTime");

    if (spec.accuracy) {
        AccuracyPtr acc(Check(TS_ACCURACY_new(), "accuracy"));
        if (spec.accuracy->seconds)
            Check(TS_ACCURACY_set_seconds(acc.get(), Integer(*spec.accuracy->seconds).get()),
                  "accuracy");
        if (spec.accuracy->millis)
            Check(TS_ACCURACY_set_millis(acc.get(), Integer(*spec.accuracy->millis).get()),
                  "accuracy");
        if (spec.accuracy->micros)
            Check(TS_ACCURACY_set_micros(acc.get(), Integer(*spec.accuracy->micros).get()),
                  "accuracy");
        Check(TS_TST_INFO_set_accuracy(tst.get(), acc.get()), "accuracy");
    }
    Check(TS_TST_INFO_set_ordering(tst.get(), spec.ordering ? 1 : 0), "ordering");
    if (spec.nonce)
        Check(TS_TST_INFO_set_nonce(tst.get(), Integer(*spec.nonce, spec.negativeNonce).get()),
              "nonce");
    if (spec.tsaName)
        Check(TS_TST_INFO_set_tsa(tst.get(), MakeGeneralName(*spec.tsaName).get()), "TSA name");
    return Encode(tst.get(), i2d_TS_TST_INFO);
}

// ---- TAC -------------------------------------------------------------------------------

constexpr const char* kTacAttributeOid = "2.25.147632841029645311856013379428416652545.1";
constexpr const char* kTimingMetricsOid = "2.25.147632841029645311856013379428416652545.2";
constexpr const char* kTimingPolicyOid = "2.25.147632841029645311856013379428416652545.3";
constexpr const char* kEcdsaSha256Oid = "1.2.840.10045.4.3.2";

Bytes Thumbprint(const TacSpec& spec, KeyKind holder, long& objectType) {
    if (spec.thumbprintBytes) {
        objectType = 1;
        return *spec.thumbprintBytes;
    }
    X509* cert = Tsa(holder).cert.get();
    Bytes object;
    objectType = 1;
    switch (spec.thumbprint) {
    case TacSpec::Thumbprint::Certificate:
        object = Encode(cert, i2d_X509);
        break;
    case TacSpec::Thumbprint::PublicKey:
        objectType = 0;
        object = Encode(X509_get_X509_PUBKEY(cert), i2d_X509_PUBKEY);
        break;
    case TacSpec::Thumbprint::OtherCertificate:
        object = Encode(ThePki().ca.cert.get(), i2d_X509);
        break;
    case TacSpec::Thumbprint::None:
        return {};
    }
    Asn1ObjectPtr alg = Object(spec.thumbprintAlgOid);
    const EVP_MD* md = EVP_get_digestbyobj(alg.get());
    Bytes digest(md ? static_cast<std::size_t>(EVP_MD_get_size(md)) : 32);
    if (md)
        Check(EVP_Digest(object.data(), object.size(), digest.data(), nullptr, md, nullptr),
              "digest");
    else
        Check(RAND_bytes(digest.data(), static_cast<int>(digest.size())), "random");
    return digest;
}

Bytes Attribute(const char* oid, const Bytes& value) {
    return Seq({Oid(oid), Tlv(0x31, value)});
}

Bytes MakeTac(const TacSpec& spec, KeyKind holder) {
    const Pki& pki = ThePki();
    X509* tsaCert = Tsa(holder).cert.get();

    Bytes holderContent;
    if (spec.holderBaseCertificateId) {
        Bytes issuer = Tlv(0xA4, NameDer(X509_get_issuer_name(tsaCert)));
        Bytes serial = Encode(X509_get_serialNumber(tsaCert), i2d_ASN1_INTEGER);
        holderContent = Cat({holderContent, Tlv(0xA0, Cat({Seq({issuer}), serial}))});
    }
    if (spec.holderEntityName) {
        Bytes name = spec.holderName ? NameDer(MakeName(*spec.holderName).get())
                                     : NameDer(X509_get_subject_name(tsaCert));
        holderContent = Cat({holderContent, Tlv(0xA1, Tlv(0xA4, name))});
    }
    long objectType = 1;
    Bytes thumb = Thumbprint(spec, holder, objectType);
    if (spec.thumbprint != TacSpec::Thumbprint::None || spec.thumbprintBytes) {
        Bytes odi = Cat({Tlv(0x0A, Bytes{static_cast<unsigned char>(objectType)}),
                         AlgId(spec.thumbprintAlgOid, false), BitString(thumb)});
        holderContent = Cat({holderContent, Tlv(0xA2, odi)});
    }

    Bytes issuerName = spec.issuerName ? NameDer(MakeName(*spec.issuerName).get())
                                       : NameDer(X509_get_subject_name(pki.tacIssuer.cert.get()));
    Bytes issuer = Tlv(0xA0, Seq({Tlv(0xA4, issuerName)}));
    const std::string sigOid = spec.signatureAlgOid.value_or(kEcdsaSha256Oid);

    Bytes attributes;
    if (spec.withMetrics)
        attributes =
            Cat({attributes, Attribute(kTimingMetricsOid,
                                       Seq({Text(0x18, spec.ntpTime), Int(spec.offsetMicros),
                                            Int(spec.delayMicros), Text(0x18, spec.expiration)}))});
    if (spec.withPolicy)
        attributes = Cat({attributes, Attribute(kTimingPolicyOid,
                                                Seq({Oid(spec.policyOid), Int(spec.maxOffsetMicros),
                                                     Int(spec.maxDelayMicros)}))});

    Bytes info =
        Seq({Int(spec.version), Tlv(0x30, holderContent), issuer, AlgId(sigOid, false),
             UnsignedInt(spec.serial), Seq({Text(0x18, spec.validFrom), Text(0x18, spec.validTo)}),
             Tlv(0x30, attributes)});

    Bytes signature;
    if (spec.signatureBytes) {
        signature = *spec.signatureBytes;
    } else {
        MdCtxPtr ctx(Check(EVP_MD_CTX_new(), "digest context"));
        Check(
            EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pki.tacIssuer.key.get()),
            "TAC signing");
        std::size_t n = 0;
        Check(EVP_DigestSign(ctx.get(), nullptr, &n, info.data(), info.size()), "TAC signing");
        signature.resize(n);
        Check(EVP_DigestSign(ctx.get(), signature.data(), &n, info.data(), info.size()),
              "TAC signing");
        signature.resize(n);
    }
    return Seq({info, AlgId(sigOid, false), BitString(signature)});
}

// ---- Token -----------------------------------------------------------------------------

void AddEss(CMS_SignerInfo* si, X509* cert, TokenSpec::Ess ess) {
    if (ess == TokenSpec::Ess::V2) {
        EssV2Ptr sc(Check(OSSL_ESS_signing_cert_v2_new_init(EVP_sha256(), cert, nullptr, 1),
                          "ESS signing certificate v2"));
        Bytes der = Encode(sc.get(), i2d_ESS_SIGNING_CERT_V2);
        Check(CMS_signed_add1_attr_by_NID(si, NID_id_smime_aa_signingCertificateV2, V_ASN1_SEQUENCE,
                                          der.data(), static_cast<int>(der.size())),
              "ESS attribute");
    } else if (ess == TokenSpec::Ess::V1) {
        EssV1Ptr sc(
            Check(OSSL_ESS_signing_cert_new_init(cert, nullptr, 1), "ESS signing certificate"));
        Bytes der = Encode(sc.get(), i2d_ESS_SIGNING_CERT);
        Check(CMS_signed_add1_attr_by_NID(si, NID_id_smime_aa_signingCertificate, V_ASN1_SEQUENCE,
                                          der.data(), static_cast<int>(der.size())),
              "ESS attribute");
    }
}

Bytes SignToken(const TokenSpec& spec, const Bytes& content) {
    detail::LoadedSigner custom;
    if (spec.signer)
        detail::LoadSigner(*spec.signer, custom);
    X509* tsaCert = spec.signer ? custom.cert : Tsa(spec.key).cert.get();
    EVP_PKEY* tsaKey = spec.signer ? custom.key : Tsa(spec.key).key.get();
    const EVP_MD* md = Check(EVP_get_digestbyname(spec.signDigest.c_str()), "digest name");

    CmsPtr cms(
        Check(CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_PARTIAL | CMS_BINARY), "CMS"));
    Check(CMS_set1_eContentType(cms.get(), OBJ_nid2obj(NID_id_smime_ct_TSTInfo)), "content type");
    unsigned int flags = CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP;
    if (!spec.includeSignerCert)
        flags |= CMS_NOCERTS;
    if (spec.signerByKeyId)
        flags |= CMS_USE_KEYID;
    if (spec.key == KeyKind::RsaPss)
        flags |= CMS_KEY_PARAM;
    CMS_SignerInfo* si = Check(CMS_add1_signer(cms.get(), tsaCert, tsaKey, md, flags), "signer");
    if (spec.key == KeyKind::RsaPss) {
        EVP_PKEY_CTX* pctx = Check(CMS_SignerInfo_get0_pkey_ctx(si), "PSS context");
        Check(EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PSS_PADDING), "PSS padding");
        Check(EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, RSA_PSS_SALTLEN_DIGEST), "PSS salt");
    }
    if (spec.includeCaCert)
        Check(CMS_add1_cert(cms.get(), ThePki().ca.cert.get()), "CA certificate");
    if (spec.includeTacIssuerCert)
        Check(CMS_add1_cert(cms.get(), ThePki().tacIssuer.cert.get()), "TAC issuer");
    for (const std::string& pem : spec.extraCertsPem) {
        X509Ptr extra(detail::LoadCertPem(pem));
        Check(CMS_add1_cert(cms.get(), extra.get()), "extra certificate");
    }
    for (const Bytes& der : spec.crls) {
        Owned<X509_CRL, X509_CRL_free> crl(detail::LoadCrlDer(der));
        Check(CMS_add1_crl(cms.get(), crl.get()), "CRL");
    }
    X509Ptr essCert(spec.essCertPem ? detail::LoadCertPem(*spec.essCertPem) : nullptr);
    AddEss(si, essCert ? essCert.get() : tsaCert, spec.ess);

    BioPtr in(Check(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())), "BIO"));
    Check(CMS_final(cms.get(), in.get(), nullptr, CMS_BINARY), "signing");

    // Unsigned attributes are not covered by the signature.
    if (spec.tac) {
        Bytes tac = MakeTac(*spec.tac, spec.key);
        Check(CMS_unsigned_add1_attr_by_OBJ(si, Object(kTacAttributeOid).get(), V_ASN1_SEQUENCE,
                                            tac.data(), static_cast<int>(tac.size())),
              "TAC attribute");
    }
    if (spec.tamperSignature) {
        ASN1_OCTET_STRING* sig = CMS_SignerInfo_get0_signature(si);
        Bytes bytes(ASN1_STRING_get0_data(sig),
                    ASN1_STRING_get0_data(sig) + ASN1_STRING_length(sig));
        bytes[bytes.size() / 2] ^= 0x01;
        Check(ASN1_STRING_set(sig, bytes.data(), static_cast<int>(bytes.size())), "tampering");
    }
    Bytes token = Encode(cms.get(), i2d_CMS_ContentInfo);
    return spec.otherRevocationInfo.empty()
               ? token
               : detail::WithOtherRevocationInfo(token, spec.otherRevocationInfo);
}

// ---- BER -------------------------------------------------------------------------------

struct Element {
    unsigned char tag;
    std::size_t headerLen;
    std::size_t contentLen;
};

Element ReadTlv(const Bytes& der, std::size_t at) {
    if (at + 2 > der.size())
        Fail("BER: truncated");
    Element t{der[at], 2, der[at + 1]};
    if (t.contentLen & 0x80) {
        const std::size_t octets = t.contentLen & 0x7f;
        if (octets == 0 || octets > 4 || at + 2 + octets > der.size())
            Fail("BER: not DER");
        t.contentLen = 0;
        for (std::size_t i = 0; i < octets; ++i)
            t.contentLen = (t.contentLen << 8) | der[at + 2 + i];
        t.headerLen = 2 + octets;
    }
    if (at + t.headerLen + t.contentLen > der.size())
        Fail("BER: truncated");
    return t;
}

Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

Bytes Indefinite(unsigned char tag, const Bytes& content) {
    Bytes out{tag, 0x80};
    out.insert(out.end(), content.begin(), content.end());
    out.push_back(0);
    out.push_back(0);
    return out;
}

// The elements of a constructed value.
std::vector<Bytes> Children(const Bytes& der, std::size_t at, const Element& t) {
    std::vector<Bytes> out;
    std::size_t p = at + t.headerLen;
    const std::size_t end = p + t.contentLen;
    while (p < end) {
        Element c = ReadTlv(der, p);
        out.push_back(Slice(der, p, c.headerLen + c.contentLen));
        p += c.headerLen + c.contentLen;
    }
    return out;
}

} // namespace

// ---- Public ----------------------------------------------------------------------------

Bytes TokenFactory::TstInfo(const TokenSpec& spec) {
    return MakeTstInfo(spec);
}

Bytes TokenFactory::Token(const TokenSpec& spec) {
    return SignToken(spec, MakeTstInfo(spec));
}

Bytes TokenFactory::Tac(const TacSpec& spec, KeyKind holder) {
    return MakeTac(spec, holder);
}

Bytes TokenFactory::ReplyWith(const StatusSpec& status, const std::optional<Bytes>& token) {
    Bytes info = Int(status.status);
    if (!status.text.empty()) {
        Bytes texts;
        for (const std::string& t : status.text)
            texts = Cat({texts, Text(0x0C, t)});
        info = Cat({info, Tlv(0x30, texts)});
    }
    if (status.failInfo)
        info = Cat({info, FailureBits(*status.failInfo)});
    Bytes reply = Tlv(0x30, info);
    if (token)
        reply = Cat({reply, *token});
    return Tlv(0x30, reply);
}

Bytes TokenFactory::Reply(const TokenSpec& spec, const StatusSpec& status) {
    return ReplyWith(status, Token(spec));
}

Bytes TokenFactory::ToBer(const Bytes& der) {
    // ContentInfo { contentType, [0] SignedData { version, digestAlgorithms,
    //   EncapsulatedContentInfo { eContentType, [0] OCTET STRING }, ... } }
    Element ci = ReadTlv(der, 0);
    std::vector<Bytes> ciParts = Children(der, 0, ci);
    if (ciParts.size() != 2)
        Fail("BER: not a ContentInfo");
    Element explicit0 = ReadTlv(ciParts[1], 0);
    Bytes sdBytes = Slice(ciParts[1], explicit0.headerLen, explicit0.contentLen);
    Element sd = ReadTlv(sdBytes, 0);
    std::vector<Bytes> sdParts = Children(sdBytes, 0, sd);
    if (sdParts.size() < 4)
        Fail("BER: not signed data");
    Element eci = ReadTlv(sdParts[2], 0);
    std::vector<Bytes> eciParts = Children(sdParts[2], 0, eci);
    if (eciParts.size() != 2)
        Fail("BER: no content");
    Element e0 = ReadTlv(eciParts[1], 0);
    Bytes octets = Slice(eciParts[1], e0.headerLen, e0.contentLen);
    Element os = ReadTlv(octets, 0);
    Bytes content = Slice(octets, os.headerLen, os.contentLen);
    Bytes chunks;
    for (std::size_t p = 0; p < content.size(); p += 16)
        chunks = Cat(
            {chunks, Tlv(0x04, Slice(content, p, std::min<std::size_t>(16, content.size() - p)))});
    Bytes newEci = Indefinite(0x30, Cat({eciParts[0], Indefinite(0xA0, Indefinite(0x24, chunks))}));
    Bytes sdContent;
    for (std::size_t i = 0; i < sdParts.size(); ++i)
        sdContent = Cat({sdContent, i == 2 ? newEci : sdParts[i]});
    return Indefinite(0x30, Cat({ciParts[0], Indefinite(0xA0, Indefinite(0x30, sdContent))}));
}

Bytes TokenFactory::Framed(unsigned char type, const Bytes& value) {
    const std::size_t rest = value.size() + 1;
    Bytes out{static_cast<unsigned char>(rest >> 24), static_cast<unsigned char>(rest >> 16),
              static_cast<unsigned char>(rest >> 8), static_cast<unsigned char>(rest), type};
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

std::string TokenFactory::GenTimeNow(long offsetSeconds, const std::string& fraction) {
    const std::time_t t = std::time(nullptr) + offsetSeconds;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
    return std::string(buf) + fraction + "Z";
}

std::string TokenFactory::CaCertPem() {
    return CertPem(ThePki().ca.cert.get());
}

std::string TokenFactory::TsaCertPem(KeyKind key) {
    return CertPem(Tsa(key).cert.get());
}

Bytes TokenFactory::TsaCertDer(KeyKind key) {
    return Encode(Tsa(key).cert.get(), i2d_X509);
}

std::string TokenFactory::TsaKeyPem(KeyKind key) {
    BioPtr bio(Check(BIO_new(BIO_s_mem()), "BIO"));
    Check(PEM_write_bio_PrivateKey(bio.get(), Tsa(key).key.get(), nullptr, nullptr, 0, nullptr,
                                   nullptr),
          "PEM");
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

DirName TokenFactory::TsaSubject(KeyKind key) {
    const char* cn = key == KeyKind::Rsa     ? "Mivo Test TSA RSA"
                     : key == KeyKind::Ecdsa ? "Mivo Test TSA ECDSA"
                                             : "Mivo Test TSA PSS";
    return {{"C", "CZ"}, {"O", "Mivo Test"}, {"CN", cn}};
}

std::string TokenFactory::TacIssuerCertPem() {
    return CertPem(ThePki().tacIssuer.cert.get());
}

} // namespace mivo::test
