#include "core/TrustChecks.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <optional>

namespace trust {

namespace {

using AlgorPtr = OpenSslPtr<X509_ALGOR, X509_ALGOR_free>;
using Asn1IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1OctetsPtr = OpenSslPtr<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>;
using GeneralNamesPtr = OpenSslPtr<GENERAL_NAMES, GENERAL_NAMES_free>;
using EkuPtr = OpenSslPtr<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free>;

bool IsUniversal(const DerElement& e, int tag) {
    return e.cls == V_ASN1_UNIVERSAL && e.tag == tag;
}

template <class T, class D2i> T* Decode(const DerElement& e, D2i d2i) {
    const unsigned char* p = e.whole.data();
    T* value = d2i(nullptr, &p, static_cast<long>(e.whole.size()));
    if (value == nullptr)
        ERR_clear_error();
    return value;
}

// IssuerSerial { issuer GeneralNames, serialNumber INTEGER }: the signer's issuer and serial.
bool IssuerSerialNamesSigner(const DerElement& issuerSerial, X509* signer) {
    std::span<const unsigned char> fields = issuerSerial.content;
    DerElement names;
    DerElement serial;
    if (!TakeDerElement(fields, names) || !TakeDerElement(fields, serial))
        return false;
    GeneralNamesPtr issuer(Decode<GENERAL_NAMES>(names, d2i_GENERAL_NAMES));
    Asn1IntegerPtr number(Decode<ASN1_INTEGER>(serial, d2i_ASN1_INTEGER));
    if (!issuer || !number || ASN1_INTEGER_cmp(number.get(), X509_get0_serialNumber(signer)) != 0)
        return false;
    for (int i = 0; i < sk_GENERAL_NAME_num(issuer.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(issuer.get(), i);
        if (name->type == GEN_DIRNAME &&
            X509_NAME_cmp(name->d.directoryName, X509_get_issuer_name(signer)) == 0)
            return true;
    }
    return false;
}

// The first ESSCertID(v2) of a SigningCertificate(V2) names the signer.
bool FirstCertIdNamesSigner(std::span<const unsigned char> der, bool v2, X509* signer) {
    DerElement attribute;
    DerElement certIds;
    DerElement first;
    if (!TakeDerElement(der, attribute) || !IsUniversal(attribute, V_ASN1_SEQUENCE))
        return false;
    std::span<const unsigned char> fields = attribute.content;
    if (!TakeDerElement(fields, certIds) || !IsUniversal(certIds, V_ASN1_SEQUENCE))
        return false;
    fields = certIds.content;
    if (!TakeDerElement(fields, first) || !IsUniversal(first, V_ASN1_SEQUENCE))
        return false;

    fields = first.content;
    DerElement element;
    if (!TakeDerElement(fields, element))
        return false;
    const EVP_MD* md = v2 ? EVP_sha256() : EVP_sha1();
    if (v2 && IsUniversal(element, V_ASN1_SEQUENCE)) { // hashAlgorithm, sha256 by default
        AlgorPtr algorithm(Decode<X509_ALGOR>(element, d2i_X509_ALGOR));
        const ASN1_OBJECT* oid = nullptr;
        if (algorithm)
            X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm.get());
        md = oid != nullptr ? EVP_get_digestbyobj(oid) : nullptr;
        if (md == nullptr || !TakeDerElement(fields, element))
            return false;
    }
    if (!IsUniversal(element, V_ASN1_OCTET_STRING))
        return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const std::vector<unsigned char> certificate = CertificateDer(signer);
    if (certificate.empty() ||
        EVP_Digest(certificate.data(), certificate.size(), digest, &digestLength, md, nullptr) != 1)
        return false;
    if (!std::equal(element.content.begin(), element.content.end(), digest, digest + digestLength))
        return false;
    DerElement issuerSerial;
    if (!TakeDerElement(fields, issuerSerial))
        return true; // no issuer and serial number: the hash alone names the certificate
    return IsUniversal(issuerSerial, V_ASN1_SEQUENCE) &&
           IssuerSerialNamesSigner(issuerSerial, signer);
}

// nullopt: the attribute is absent; otherwise whether it names the signer.
std::optional<bool> AttributeNamesSigner(CMS_SignerInfo* si, int nid, bool v2, X509* signer) {
    const int index = CMS_signed_get_attr_by_NID(si, nid, -1);
    if (index < 0)
        return std::nullopt;
    // The attribute once, with one value.
    if (CMS_signed_get_attr_by_NID(si, nid, index) >= 0)
        return false;
    X509_ATTRIBUTE* attribute = CMS_signed_get_attr(si, index);
    if (X509_ATTRIBUTE_count(attribute) != 1)
        return false;
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
    if (value == nullptr || ASN1_TYPE_get(value) != V_ASN1_SEQUENCE)
        return false;
    const ASN1_STRING* der = value->value.sequence;
    return FirstCertIdNamesSigner(
        std::span(ASN1_STRING_get0_data(der), static_cast<std::size_t>(ASN1_STRING_length(der))),
        v2, signer);
}

bool SignatureDigestsStrong(CMS_SignerInfo* si, std::time_t genTime) {
    X509_ALGOR* digest = nullptr;
    X509_ALGOR* signature = nullptr;
    CMS_SignerInfo_get0_algs(si, nullptr, nullptr, &digest, &signature);
    const ASN1_OBJECT* oid = nullptr;
    if (digest != nullptr) {
        X509_ALGOR_get0(&oid, nullptr, nullptr, digest);
        if (DigestWeakAt(OBJ_obj2nid(oid), genTime))
            return false;
    }
    if (signature != nullptr) {
        X509_ALGOR_get0(&oid, nullptr, nullptr, signature);
        int mdNid = NID_undef;
        int keyNid = NID_undef;
        if (OBJ_find_sigid_algs(OBJ_obj2nid(oid), &mdNid, &keyNid) == 1 &&
            DigestWeakAt(mdNid, genTime))
            return false;
    }
    return true;
}

} // namespace

X509* FindIssuer(X509* cert, std::span<X509* const> candidates) {
    for (X509* candidate : candidates)
        if (X509_cmp(candidate, cert) != 0 && X509_check_issued(candidate, cert) == X509_V_OK &&
            X509_verify(cert, X509_get0_pubkey(candidate)) == 1)
            return candidate;
    ERR_clear_error();
    return nullptr;
}

bool HasTimeStampingUsageOnly(X509* signer) {
    const int index = X509_get_ext_by_NID(signer, NID_ext_key_usage, -1);
    if (index < 0 || X509_get_ext_by_NID(signer, NID_ext_key_usage, index) >= 0)
        return false;
    X509_EXTENSION* extension = X509_get_ext(signer, index);
    if (extension == nullptr || X509_EXTENSION_get_critical(extension) != 1)
        return false;
    EkuPtr usage(static_cast<EXTENDED_KEY_USAGE*>(X509V3_EXT_d2i(extension)));
    ERR_clear_error();
    return usage && sk_ASN1_OBJECT_num(usage.get()) == 1 &&
           OBJ_obj2nid(sk_ASN1_OBJECT_value(usage.get(), 0)) == NID_time_stamp;
}

bool EssNamesSigner(CMS_SignerInfo* signerInfo, X509* signer) {
    const std::optional<bool> v2 =
        AttributeNamesSigner(signerInfo, NID_id_smime_aa_signingCertificateV2, true, signer);
    const std::optional<bool> v1 =
        AttributeNamesSigner(signerInfo, NID_id_smime_aa_signingCertificate, false, signer);
    ERR_clear_error();
    if (!v1 && !v2)
        return false;
    return v1.value_or(true) && v2.value_or(true);
}

bool TsaNameMatches(const TS_TST_INFO* info, X509* signer) {
    // The getter takes a non-const record but does not change it.
    GENERAL_NAME* tsa = TS_TST_INFO_get_tsa(const_cast<TS_TST_INFO*>(info));
    if (tsa == nullptr)
        return true;
    if (tsa->type == GEN_DIRNAME &&
        X509_NAME_cmp(tsa->d.directoryName, X509_get_subject_name(signer)) == 0)
        return true;
    GeneralNamesPtr alternatives(static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(signer, NID_subject_alt_name, nullptr, nullptr)));
    ERR_clear_error();
    for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives.get()); ++i)
        if (GENERAL_NAME_cmp(sk_GENERAL_NAME_value(alternatives.get(), i), tsa) == 0)
            return true;
    return false;
}

bool DigestWeakAt(int digestNid, std::time_t genTime) {
    switch (digestNid) {
    case NID_md2:
    case NID_md4:
    case NID_md5:
    case NID_md5_sha1:
        return true;
    case NID_sha1:
        return genTime >= kSha1Sunset;
    default:
        return false;
    }
}

bool KeyWeakAt(EVP_PKEY* key, std::time_t genTime) {
    if (key == nullptr)
        return false;
    const int type = EVP_PKEY_get_base_id(key);
    if (type != EVP_PKEY_RSA && type != EVP_PKEY_RSA_PSS)
        return false;
    return EVP_PKEY_get_bits(key) < 2048 && genTime >= kSha1Sunset;
}

bool AlgorithmsStrongEnough(const TokenContents& token, std::span<X509* const> chain,
                            bool lastIsAnchor) {
    const std::time_t genTime = token.genTime;
    const X509_ALGOR* imprintAlgorithm =
        TS_MSG_IMPRINT_get_algo(TS_TST_INFO_get_msg_imprint(token.tstInfo.get()));
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, imprintAlgorithm);
    if (DigestWeakAt(OBJ_obj2nid(oid), genTime))
        return false;
    if (!SignatureDigestsStrong(token.signerInfo, genTime))
        return false;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (KeyWeakAt(X509_get0_pubkey(chain[i]), genTime))
            return false;
        if (lastIsAnchor && i + 1 == chain.size())
            break;
        int mdNid = NID_undef;
        if (X509_get_signature_info(chain[i], &mdNid, nullptr, nullptr, nullptr) == 1 &&
            DigestWeakAt(mdNid, genTime))
            return false;
    }
    ERR_clear_error();
    return true;
}

} // namespace trust
