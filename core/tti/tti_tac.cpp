// The TAC: an attribute certificate that the TSA attaches to its token as an unsigned
// attribute, with the timing metrics and the timing policy as its attributes. The ASN.1
// module is docs/tac.asn1; the mapping to the records is described in docs/tti.md.
#include "core/tti/tti_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace mivo::tti;

namespace {

constexpr long kDigestOfPublicKey = 0;
constexpr long kDigestOfCertificate = 1;

std::span<const unsigned char> Bytes(const ASN1_STRING* s) {
    return std::span(ASN1_STRING_get0_data(s), static_cast<std::size_t>(ASN1_STRING_length(s)));
}

int Oid(Asn1ObjectPtr& oid, const char* text) {
    oid.reset(OBJ_txt2obj(text, 1));
    return oid ? TTI_OK : TTI_E_MEMORY;
}

// The first value of the attribute `oidText` as a SEQUENCE; null when the certificate has
// no such attribute.
int FindAttribute(const ASN1_STRING*& value, const AttributeCertificate& ac, const char* oidText) {
    value = nullptr;
    Asn1ObjectPtr oid;
    if (int rc = Oid(oid, oidText); rc != TTI_OK)
        return rc;
    const STACK_OF(X509_ATTRIBUTE)* attributes = ac.info->attributes;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
        X509_ATTRIBUTE* attr = sk_X509_ATTRIBUTE_value(attributes, i);
        if (OBJ_cmp(X509_ATTRIBUTE_get0_object(attr), oid.get()) != 0)
            continue;
        const ASN1_TYPE* type = X509_ATTRIBUTE_get0_type(attr, 0);
        if (type == nullptr || ASN1_TYPE_get(type) != V_ASN1_SEQUENCE)
            return TTI_E_ASN_FORMAT;
        value = type->value.sequence;
        return TTI_OK;
    }
    return TTI_OK;
}

int LoadTac(ItemPtr<AttributeCertificate>& ac, const unsigned char* tac, int tacLen) {
    if (int rc = CheckInput(tac, tacLen); rc != TTI_OK)
        return rc;
    ac = DecodeItem<AttributeCertificate>(std::span(tac, static_cast<std::size_t>(tacLen)));
    return ac ? TTI_OK : TTI_E_ASN_FORMAT;
}

template <class T>
int LoadAttribute(ItemPtr<T>& value, const unsigned char* tac, int tacLen, const char* oid,
                  int missing) {
    ItemPtr<AttributeCertificate> ac;
    if (int rc = LoadTac(ac, tac, tacLen); rc != TTI_OK)
        return rc;
    const ASN1_STRING* der = nullptr;
    if (int rc = FindAttribute(der, *ac, oid); rc != TTI_OK)
        return rc;
    if (der == nullptr)
        return missing;
    value = DecodeItem<T>(Bytes(der));
    return value ? TTI_OK : TTI_E_ASN_FORMAT;
}

// The holder's thumbprint must be the digest of the certificate (or its public key) that
// signed the token.
int CheckHolder(const AttributeCertificate& ac, X509* signer) {
    const ObjectDigestInfo* odi = ac.info->holder->objectDigestInfo;
    if (odi == nullptr || signer == nullptr)
        return TTI_OK;
    const ASN1_OBJECT* algOid = nullptr;
    X509_ALGOR_get0(&algOid, nullptr, nullptr, odi->algorithm);
    const EVP_MD* md = EVP_get_digestbyobj(algOid);
    if (md == nullptr)
        return TTI_E_TAC_IMPRINT; // a thumbprint we cannot compute does not match
    unsigned char* der = nullptr;
    int n = -1;
    switch (ASN1_ENUMERATED_get(odi->type)) {
    case kDigestOfPublicKey:
        n = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(signer), &der);
        break;
    case kDigestOfCertificate:
        n = i2d_X509(signer, &der);
        break;
    default:
        return TTI_E_TAC_IMPRINT;
    }
    OpensslBytesPtr owner(der);
    if (n <= 0)
        return TTI_E_ASN_UNEXPECTED;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLen = 0;
    if (EVP_Digest(der, static_cast<std::size_t>(n), digest, &digestLen, md, nullptr) != 1)
        return TTI_E_ASN_UNEXPECTED;
    const auto thumb = Bytes(odi->digest);
    if (!std::equal(thumb.begin(), thumb.end(), digest, digest + digestLen))
        return TTI_E_TAC_IMPRINT;
    return TTI_OK;
}

int SerialHex(std::string& text, const ASN1_INTEGER* serial) {
    BigNumPtr bn(ASN1_INTEGER_to_BN(serial, nullptr));
    if (!bn)
        return TTI_E_ASN_FORMAT;
    char* hex = BN_bn2hex(bn.get());
    if (hex == nullptr)
        return TTI_E_MEMORY;
    text = hex;
    OPENSSL_free(hex);
    return TTI_OK;
}

// The holder as text: its entity name; else the issuer and serial number of its base
// certificate, as "<issuer> / <serial in hex>"; else nothing (a thumbprint alone).
int HolderText(std::string& text, const AcHolder& holder) {
    text.clear();
    if (holder.entityName != nullptr && sk_GENERAL_NAME_num(holder.entityName) > 0)
        return GeneralNamesText(text, holder.entityName);
    if (holder.baseCertificateId != nullptr) {
        std::string issuer;
        std::string serial;
        if (int rc = GeneralNamesText(issuer, holder.baseCertificateId->issuer); rc != TTI_OK)
            return rc;
        if (int rc = SerialHex(serial, holder.baseCertificateId->serial); rc != TTI_OK)
            return rc;
        text = issuer + " / " + serial;
    }
    return TTI_OK;
}

int IssuerText(std::string& text, const AcIssuer& issuer) {
    if (issuer.type == kAcIssuerV1)
        return GeneralNamesText(text, issuer.d.v1Form);
    return GeneralNamesText(text, issuer.d.v2Form->issuerName);
}

int FillCertInfo(TTI_CERT_INFO& r, const AttributeCertificate& ac) {
    const AcInfo& info = *ac.info;
    int32_t version = 0;
    if (int rc = IntegerToInt32(info.version, version); rc != TTI_OK)
        return rc;
    if (version == INT32_MAX)
        return TTI_E_INTERNAL_BUFFER;
    r.nVersion = version + 1; // v2 is encoded as 1

    std::string text;
    if (int rc = HolderText(text, *info.holder); rc != TTI_OK)
        return rc;
    if (int rc = CutText(r.szHolder, text); rc != TTI_OK)
        return rc;
    if (const ObjectDigestInfo* odi = info.holder->objectDigestInfo) {
        if (int rc = CopyBytes(r.holderThumb, r.nHolderThumbLen, Bytes(odi->digest)); rc != TTI_OK)
            return rc;
    }
    if (int rc = IssuerText(text, *info.issuer); rc != TTI_OK)
        return rc;
    if (int rc = CutText(r.szIssuer, text); rc != TTI_OK)
        return rc;
    if (int rc = IntegerBytes(r.serial, r.nSerialLen, info.serial); rc != TTI_OK)
        return rc;
    if (int rc = CopyAsn1Text(r.szValidFrom, info.validity->notBefore); rc != TTI_OK)
        return rc;
    if (int rc = CopyAsn1Text(r.szValidTo, info.validity->notAfter); rc != TTI_OK)
        return rc;
    const ASN1_OBJECT* sigAlg = nullptr;
    X509_ALGOR_get0(&sigAlg, nullptr, nullptr, ac.signatureAlgorithm);
    if (int rc = OidText(r.szSignatureAlgOid, sigAlg); rc != TTI_OK)
        return rc;
    return CopyBytes(r.signature, r.nSignatureLen, Bytes(ac.signature));
}

} // namespace

namespace mivo::tti {

int ReadTimeAttributeCert(const Token& t, unsigned char* out, int* outLen) {
    CMS_SignerInfo* si = nullptr;
    if (int rc = SoleSigner(si, t); rc != TTI_OK)
        return rc;
    Asn1ObjectPtr oid;
    if (int rc = Oid(oid, kTacAttributeOid); rc != TTI_OK)
        return rc;
    const int index = CMS_unsigned_get_attr_by_OBJ(si, oid.get(), -1);
    if (index < 0)
        return TTI_E_NO_TAC;
    X509_ATTRIBUTE* attr = CMS_unsigned_get_attr(si, index);
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attr, 0);
    if (value == nullptr || ASN1_TYPE_get(value) != V_ASN1_SEQUENCE)
        return TTI_E_ASN_FORMAT;
    const auto tac = Bytes(value->value.sequence);
    ItemPtr<AttributeCertificate> ac = DecodeItem<AttributeCertificate>(tac);
    if (!ac)
        return TTI_E_ASN_FORMAT;
    X509Ptr signer = FindSignerCert(t, si);
    if (int rc = CheckHolder(*ac, signer.get()); rc != TTI_OK)
        return rc;
    return WriteOut(out, outLen, tac);
}

} // namespace mivo::tti

extern "C" {

int TTI_GetTST_TimeAttributeCert(unsigned char* out, int* outLen, const unsigned char* token,
                                 int tokenLen) {
    return Guarded([&]() -> int {
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        Token t;
        if (int rc = LoadToken(t, token, tokenLen); rc != TTI_OK)
            return rc;
        return ReadTimeAttributeCert(t, out, outLen);
    });
}

int TTI_GetTAC_TimingMetrics(TTI_TIMING_METRICS* metrics, const unsigned char* tac, int tacLen) {
    return Guarded([&]() -> int {
        if (metrics == nullptr)
            return TTI_E_INVALID_PARAMETER;
        ItemPtr<TimingMetrics> value;
        // Our TAC always carries its metrics: one without them is malformed.
        if (int rc = LoadAttribute(value, tac, tacLen, kTimingMetricsOid, TTI_E_ASN_FORMAT);
            rc != TTI_OK)
            return rc;
        TTI_TIMING_METRICS record{};
        if (int rc = CopyAsn1Text(record.szNtpTime, value->ntpTime); rc != TTI_OK)
            return rc;
        if (int rc = MicrosToSeconds(value->offset, record.fOffset); rc != TTI_OK)
            return rc;
        if (int rc = MicrosToSeconds(value->delay, record.fDelay); rc != TTI_OK)
            return rc;
        if (int rc = CopyAsn1Text(record.szExpiration, value->expiration); rc != TTI_OK)
            return rc;
        *metrics = record;
        return TTI_OK;
    });
}

int TTI_GetTAC_TimingPolicy(TTI_TIMING_POLICY* policy, const unsigned char* tac, int tacLen) {
    return Guarded([&]() -> int {
        if (policy == nullptr)
            return TTI_E_INVALID_PARAMETER;
        ItemPtr<TimingPolicy> value;
        if (int rc = LoadAttribute(value, tac, tacLen, kTimingPolicyOid, TTI_E_TAC_NO_POLICY);
            rc != TTI_OK)
            return rc;
        TTI_TIMING_POLICY record{};
        if (int rc = PolicyOidText(record.szPolicyOid, value->policy); rc != TTI_OK)
            return rc;
        if (int rc = MicrosToSeconds(value->maxOffset, record.fMaxOffset); rc != TTI_OK)
            return rc;
        if (int rc = MicrosToSeconds(value->maxDelay, record.fMaxDelay); rc != TTI_OK)
            return rc;
        *policy = record;
        return TTI_OK;
    });
}

int TTI_GetTAC_CertInfo(TTI_CERT_INFO* info, const unsigned char* tac, int tacLen) {
    return Guarded([&]() -> int {
        if (info == nullptr || info->nSize != TTI_CERTINFO_SIZE)
            return TTI_E_INVALID_PARAMETER;
        ItemPtr<AttributeCertificate> ac;
        if (int rc = LoadTac(ac, tac, tacLen); rc != TTI_OK)
            return rc;
        auto record = std::make_unique<TTI_CERT_INFO>();
        record->nSize = TTI_CERTINFO_SIZE;
        if (int rc = FillCertInfo(*record, *ac); rc != TTI_OK)
            return rc;
        *info = *record;
        return TTI_OK;
    });
}

} // extern "C"
