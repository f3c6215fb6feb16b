// The TAC's own signature: an attribute certificate (docs/tac.asn1) signed by its issuer
// over the encoded AttributeCertificateInfo. OpenSSL has no attribute-certificate functions,
// so the structure is walked here and the signature checked with the issuer's key.
#include "core/TrustChecks.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <algorithm>

namespace trust {

namespace {

using AlgorPtr = OpenSslPtr<X509_ALGOR, X509_ALGOR_free>;
using BitStringPtr = OpenSslPtr<ASN1_BIT_STRING, ASN1_BIT_STRING_free>;
using GeneralNamesPtr = OpenSslPtr<GENERAL_NAMES, GENERAL_NAMES_free>;
using GeneralizedTimePtr = OpenSslPtr<ASN1_GENERALIZEDTIME, ASN1_GENERALIZEDTIME_free>;
using MdCtxPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using StoreCtxPtr = OpenSslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;

// What the verification needs of an attribute certificate.
struct AttributeCertificate {
    std::span<const unsigned char> info; // the signed AttributeCertificateInfo, as encoded
    GeneralNamesPtr issuer;
    std::span<const unsigned char> innerAlgorithm;
    std::span<const unsigned char> outerAlgorithm;
    AlgorPtr algorithm;
    BitStringPtr signature;
    std::time_t notBefore = 0;
    std::time_t notAfter = 0;
};

template <class T, class D2i> T* Decode(std::span<const unsigned char> der, D2i d2i) {
    const unsigned char* p = der.data();
    T* value = d2i(nullptr, &p, static_cast<long>(der.size()));
    if (value == nullptr || p != der.data() + der.size()) {
        ERR_clear_error();
        return nullptr;
    }
    return value;
}

bool ReadTime(std::span<const unsigned char>& fields, std::time_t& out) {
    DerElement element;
    if (!TakeDerElement(fields, element))
        return false;
    GeneralizedTimePtr time(Decode<ASN1_GENERALIZEDTIME>(element.whole, d2i_ASN1_GENERALIZEDTIME));
    return time && Asn1TimeToUnix(time.get(), out);
}

// issuer: v2Form [0] { issuerName GeneralNames, ... } or v1Form GeneralNames.
GENERAL_NAMES* ReadIssuer(const DerElement& issuer) {
    if (issuer.cls == V_ASN1_UNIVERSAL && issuer.tag == V_ASN1_SEQUENCE)
        return Decode<GENERAL_NAMES>(issuer.whole, d2i_GENERAL_NAMES);
    if (issuer.cls != V_ASN1_CONTEXT_SPECIFIC || issuer.tag != 0)
        return nullptr;
    std::span<const unsigned char> v2Form = issuer.content;
    DerElement names;
    if (!TakeDerElement(v2Form, names) || names.cls != V_ASN1_UNIVERSAL ||
        names.tag != V_ASN1_SEQUENCE)
        return nullptr;
    return Decode<GENERAL_NAMES>(names.whole, d2i_GENERAL_NAMES);
}

bool ReadInfo(AttributeCertificate& ac) {
    std::span<const unsigned char> fields = ac.info.subspan(0);
    DerElement info, version, holder, issuer, algorithm, serial, validity;
    if (!TakeDerElement(fields, info))
        return false;
    fields = info.content;
    if (!TakeDerElement(fields, version) || !TakeDerElement(fields, holder) ||
        !TakeDerElement(fields, issuer) || !TakeDerElement(fields, algorithm) ||
        !TakeDerElement(fields, serial) || !TakeDerElement(fields, validity))
        return false;
    ac.issuer.reset(ReadIssuer(issuer));
    ac.innerAlgorithm = algorithm.whole;
    std::span<const unsigned char> times = validity.content;
    return ac.issuer && ReadTime(times, ac.notBefore) && ReadTime(times, ac.notAfter);
}

bool ReadAttributeCertificate(std::span<const unsigned char> der, AttributeCertificate& ac) {
    DerElement outer, info, algorithm, signature;
    if (!TakeDerElement(der, outer) || !der.empty())
        return false;
    std::span<const unsigned char> fields = outer.content;
    if (!TakeDerElement(fields, info) || !TakeDerElement(fields, algorithm) ||
        !TakeDerElement(fields, signature) || !fields.empty())
        return false;
    ac.info = info.whole;
    ac.outerAlgorithm = algorithm.whole;
    ac.algorithm.reset(Decode<X509_ALGOR>(algorithm.whole, d2i_X509_ALGOR));
    ac.signature.reset(Decode<ASN1_BIT_STRING>(signature.whole, d2i_ASN1_BIT_STRING));
    return ac.algorithm && ac.signature && ReadInfo(ac);
}

bool NamesCertificate(const GENERAL_NAMES* names, X509* cert) {
    for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        if (name->type == GEN_DIRNAME &&
            X509_NAME_cmp(name->d.directoryName, X509_get_subject_name(cert)) == 0)
            return true;
    }
    return false;
}

bool SignatureVerifies(const AttributeCertificate& ac, X509* issuer) {
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, ac.algorithm.get());
    int mdNid = NID_undef;
    int keyNid = NID_undef;
    if (OBJ_find_sigid_algs(OBJ_obj2nid(oid), &mdNid, &keyNid) != 1)
        return false; // RSASSA-PSS and algorithms we do not know are not verified
    const EVP_MD* md = EVP_get_digestbynid(mdNid);
    EVP_PKEY* key = X509_get0_pubkey(issuer);
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (md == nullptr || key == nullptr || !ctx ||
        EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(), ASN1_STRING_get0_data(ac.signature.get()),
                            static_cast<std::size_t>(ASN1_STRING_length(ac.signature.get())),
                            ac.info.data(), ac.info.size()) == 1;
}

// The issuer's certificate leads to one of our anchors and it and its chain were valid when
// the stamp was made.
bool IssuerAnchored(X509* issuer, std::span<X509* const> candidates, X509_STORE* anchors,
                    std::time_t genTime) {
    X509RefStackPtr untrusted = MakeRefStack(candidates);
    StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (anchors == nullptr || !untrusted || !ctx ||
        X509_STORE_CTX_init(ctx.get(), anchors, issuer, untrusted.get()) != 1)
        return false;
    X509_STORE_CTX_set_time(ctx.get(), 0, genTime);
    X509_STORE_CTX_set_flags(ctx.get(), X509_V_FLAG_PARTIAL_CHAIN);
    X509_VERIFY_PARAM_set_depth(X509_STORE_CTX_get0_param(ctx.get()), kMaxChainDepth);
    return X509_verify_cert(ctx.get()) == 1;
}

} // namespace

TacVerification VerifyTac(std::span<const unsigned char> tac, std::span<X509* const> candidates,
                          X509_STORE* anchors, std::time_t genTime) {
    if (tac.empty())
        return TacVerification::NoTac;
    AttributeCertificate ac;
    const bool read = ReadAttributeCertificate(tac, ac);
    if (!read || !std::ranges::equal(ac.innerAlgorithm, ac.outerAlgorithm) ||
        genTime < ac.notBefore || genTime > ac.notAfter)
        return TacVerification::NotVerified;
    for (X509* cert : candidates) {
        if (!NamesCertificate(ac.issuer.get(), cert) || !SignatureVerifies(ac, cert))
            continue;
        const bool anchored = IssuerAnchored(cert, candidates, anchors, genTime);
        ERR_clear_error();
        return anchored ? TacVerification::Verified : TacVerification::NotVerified;
    }
    ERR_clear_error();
    return TacVerification::NotVerified;
}

} // namespace trust
