// The token: its TSTInfo, its signature and the TSA certificate it carries.
#include "core/tti/tti_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace mivo::tti;

namespace {

// The version as it is encoded: TS_TST_INFO_get_version cannot tell -1 from a value that
// does not fit a long.
int TstVersion(std::span<const unsigned char> content, int32_t& version) {
    const unsigned char* p = content.data();
    long len = 0;
    int tag = 0;
    int cls = 0;
    const int ret = ASN1_get_object(&p, &len, &tag, &cls, static_cast<long>(content.size()));
    if ((ret & 0x80) != 0 || tag != V_ASN1_SEQUENCE)
        return TTI_E_ASN_FORMAT;
    const long rest = static_cast<long>(content.size()) - (p - content.data());
    Asn1IntegerPtr value(d2i_ASN1_INTEGER(nullptr, &p, rest));
    if (!value)
        return TTI_E_ASN_FORMAT;
    return IntegerToInt32(value.get(), version);
}

int FillTstInfo(TTI_TSTINFO& r, const Token& token) {
    const unsigned char* p = token.content.data();
    TstInfoPtr tst(d2i_TS_TST_INFO(nullptr, &p, static_cast<long>(token.content.size())));
    if (!tst || p != token.content.data() + token.content.size())
        return TTI_E_ASN_FORMAT;

    if (int rc = TstVersion(token.content, r.nVersion); rc != TTI_OK)
        return rc;
    if (int rc = PolicyOidText(r.szPolicyOid, TS_TST_INFO_get_policy_id(tst.get())); rc != TTI_OK)
        return rc;

    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(tst.get());
    const ASN1_OBJECT* hashOid = nullptr;
    X509_ALGOR_get0(&hashOid, nullptr, nullptr, TS_MSG_IMPRINT_get_algo(imprint));
    if (int rc = OidText(r.szHashOid, hashOid); rc != TTI_OK)
        return rc;
    const ASN1_OCTET_STRING* digest = TS_MSG_IMPRINT_get_msg(imprint);
    if (int rc = CopyBytes(r.digest, r.nDigestLen,
                           std::span(ASN1_STRING_get0_data(digest),
                                     static_cast<std::size_t>(ASN1_STRING_length(digest))));
        rc != TTI_OK)
        return rc;

    if (int rc = IntegerContentBytes(r.serial, r.nSerialLen, TS_TST_INFO_get_serial(tst.get()));
        rc != TTI_OK)
        return rc;
    if (int rc = CopyAsn1Text(r.szGenTime, TS_TST_INFO_get_time(tst.get())); rc != TTI_OK)
        return rc;

    if (TS_ACCURACY* accuracy = TS_TST_INFO_get_accuracy(tst.get())) {
        const ASN1_INTEGER* parts[] = {TS_ACCURACY_get_seconds(accuracy),
                                       TS_ACCURACY_get_millis(accuracy),
                                       TS_ACCURACY_get_micros(accuracy)};
        int32_t* fields[] = {&r.nAccuracySec, &r.nAccuracyMillis, &r.nAccuracyMicros};
        for (int i = 0; i < 3; ++i) {
            if (parts[i] == nullptr)
                continue;
            if (int rc = IntegerToInt32(parts[i], *fields[i]); rc != TTI_OK)
                return rc;
        }
    }
    r.nOrdering = TS_TST_INFO_get_ordering(tst.get()) != 0 ? 1 : 0;

    if (const ASN1_INTEGER* nonce = TS_TST_INFO_get_nonce(tst.get())) {
        if (int rc = IntegerBytes(r.nonce, r.nNonceLen, nonce); rc != TTI_OK)
            return rc;
    }
    if (const GENERAL_NAME* tsa = TS_TST_INFO_get_tsa(tst.get())) {
        std::string name;
        if (int rc = GeneralNameText(name, tsa); rc != TTI_OK)
            return rc;
        if (int rc = CutText(r.szTsaName, name); rc != TTI_OK)
            return rc;
    }
    return TTI_OK;
}

// The signature over the signed attributes and the content's digest; neither the chain nor
// the validity dates (most TSA certificates of old tokens have expired).
int VerifyToken(const Token& t) {
    CMS_SignerInfo* si = nullptr;
    if (int rc = SoleSigner(si, t); rc != TTI_OK)
        return rc;
    if (!FindSignerCert(t, si))
        return TTI_E_NO_SIGNER_CERT;
    const unsigned int flags = CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY;
    if (CMS_verify(t.cms.get(), nullptr, nullptr, nullptr, nullptr, flags) != 1)
        return TTI_E_SIGNATURE;
    return TTI_OK;
}

} // namespace

namespace mivo::tti {

int ReadTstInfo(TTI_TSTINFO& record, const Token& token) {
    return FillTstInfo(record, token);
}

int PrepareLoaded(const Token& t, std::span<const unsigned char> original, unsigned char* out,
                  int* outLen, bool& asRead) {
    asRead = false;
    // Re-encoded, a BER token becomes DER. Re-encoding also sorts the signed attributes,
    // which some TSAs signed unsorted: the DER form is taken only when its signature still
    // verifies.
    const int n = i2d_CMS_ContentInfo(t.cms.get(), nullptr);
    if (n <= 0 || n > *outLen)
        return WriteOut(out, outLen, original);
    std::vector<unsigned char> der(static_cast<std::size_t>(n));
    unsigned char* p = der.data();
    if (i2d_CMS_ContentInfo(t.cms.get(), &p) != n)
        return WriteOut(out, outLen, original);
    if (std::equal(der.begin(), der.end(), original.begin(), original.end())) {
        asRead = true;
        return WriteOut(out, outLen, original);
    }
    Token reencoded;
    if (LoadToken(reencoded, der.data(), n) != TTI_OK || VerifyToken(reencoded) != TTI_OK)
        return WriteOut(out, outLen, original);
    return WriteOut(out, outLen, der);
}

} // namespace mivo::tti

extern "C" {

int TTI_GetTST_TSTInfo(TTI_TSTINFO* info, const unsigned char* token, int tokenLen) {
    return Guarded([&]() -> int {
        if (info == nullptr || info->nSize != TTI_TSTINFO_SIZE)
            return TTI_E_INVALID_PARAMETER;
        Token t;
        if (int rc = LoadToken(t, token, tokenLen); rc != TTI_OK)
            return rc;
        TTI_TSTINFO record{};
        record.nSize = TTI_TSTINFO_SIZE;
        if (int rc = FillTstInfo(record, t); rc != TTI_OK)
            return rc;
        *info = record;
        return TTI_OK;
    });
}

int TTI_PrepareSignedMessage(const unsigned char* token, int tokenLen, unsigned char* out,
                             int* outLen) {
    return Guarded([&]() -> int {
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        if (int rc = CheckInput(token, tokenLen); rc != TTI_OK)
            return rc;
        const std::span original(token, static_cast<std::size_t>(tokenLen));
        Token t;
        const int loaded = LoadToken(t, token, tokenLen);
        if (loaded != TTI_OK) {
            // The platform's check will reject it; hand it over as it is.
            const int rc = WriteOut(out, outLen, original);
            return rc != TTI_OK ? rc : loaded;
        }
        bool asRead = false;
        return PrepareLoaded(t, original, out, outLen, asRead);
    });
}

int TTI_VerifyTST_Signature(const unsigned char* token, int tokenLen, int /*reserved1*/,
                            int /*reserved2*/) {
    return Guarded([&]() -> int {
        Token t;
        if (int rc = LoadToken(t, token, tokenLen); rc != TTI_OK)
            return rc;
        return VerifyToken(t);
    });
}

int TTI_GetTST_TSACert(unsigned char* out, int* outLen, const unsigned char* token, int tokenLen) {
    return Guarded([&]() -> int {
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        Token t;
        if (int rc = LoadToken(t, token, tokenLen); rc != TTI_OK)
            return rc;
        CMS_SignerInfo* si = nullptr;
        if (int rc = SoleSigner(si, t); rc != TTI_OK)
            return rc;
        X509Ptr cert = FindSignerCert(t, si);
        if (!cert)
            return TTI_E_NO_SIGNER_CERT;
        unsigned char* der = nullptr;
        const int n = i2d_X509(cert.get(), &der);
        if (n <= 0)
            return TTI_E_ASN_UNEXPECTED;
        OpensslBytesPtr owner(der);
        return WriteOut(out, outLen, std::span(der, static_cast<std::size_t>(n)));
    });
}

} // extern "C"
