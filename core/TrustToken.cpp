#include "core/TrustToken.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>

#include <algorithm>
#include <climits>

namespace trust {

namespace {

using BioPtr = OpenSslPtr<BIO, BIO_free>;
using OcspResponsePtr = OpenSslPtr<OCSP_RESPONSE, OCSP_RESPONSE_free>;

// The contents of the object identifiers of the other revocation formats we read.
constexpr unsigned char kOcspBasicFormat[] = {0x2B, 0x06, 0x01, 0x05, 0x05,
                                              0x07, 0x30, 0x01, 0x01}; // id-pkix-ocsp-basic
constexpr unsigned char kOcspResponseFormat[] = {0x2B, 0x06, 0x01, 0x05,
                                                 0x05, 0x07, 0x10, 0x02}; // id-ri-ocsp-response

void FreeOpensslBytes(unsigned char* p) noexcept {
    OPENSSL_free(p);
}

bool IsContext(const DerElement& e, int tag) {
    return e.cls == V_ASN1_CONTEXT_SPECIFIC && e.tag == tag && e.constructed;
}

template <std::size_t N> bool IsOid(const DerElement& e, const unsigned char (&oid)[N]) {
    return e.cls == V_ASN1_UNIVERSAL && e.tag == V_ASN1_OBJECT &&
           std::equal(e.content.begin(), e.content.end(), oid, oid + N);
}

// One OtherRevocationInfoFormat: the OCSP answers we know, others passed over.
void ReadOtherRevocation(std::span<const unsigned char> fields, TokenContents& out) {
    DerElement format;
    DerElement value;
    if (!TakeDerElement(fields, format) || !TakeDerElement(fields, value))
        return;
    const unsigned char* p = value.whole.data();
    const long length = static_cast<long>(value.whole.size());
    if (IsOid(format, kOcspBasicFormat)) {
        if (OCSP_BASICRESP* basic = d2i_OCSP_BASICRESP(nullptr, &p, length))
            out.ocsp.emplace_back(basic);
    } else if (IsOid(format, kOcspResponseFormat)) {
        OcspResponsePtr response(d2i_OCSP_RESPONSE(nullptr, &p, length));
        if (response && OCSP_response_status(response.get()) == OCSP_RESPONSE_STATUS_SUCCESSFUL)
            if (OCSP_BASICRESP* basic = OCSP_response_get1_basic(response.get()))
                out.ocsp.emplace_back(basic);
    }
}

// The "other" revocation choices of SignedData.crls, which OpenSSL's CMS functions keep to
// themselves: read from the token encoded again as DER.
void ReadOtherRevocations(TokenContents& out) {
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(out.cms.get(), &der);
    if (length <= 0)
        return;
    OpenSslPtr<unsigned char, FreeOpensslBytes> owner(der);
    std::span<const unsigned char> rest(der, static_cast<std::size_t>(length));
    DerElement contentInfo, type, explicitContent, signedData, field;
    if (!TakeDerElement(rest, contentInfo))
        return;
    std::span<const unsigned char> inner = contentInfo.content;
    if (!TakeDerElement(inner, type) || !TakeDerElement(inner, explicitContent))
        return;
    inner = explicitContent.content;
    if (!TakeDerElement(inner, signedData))
        return;
    std::span<const unsigned char> fields = signedData.content;
    while (TakeDerElement(fields, field)) {
        if (!IsContext(field, 1))
            continue;
        std::span<const unsigned char> choices = field.content;
        DerElement choice;
        while (TakeDerElement(choices, choice))
            if (IsContext(choice, 1))
                ReadOtherRevocation(choice.content, out);
    }
}

void FreeCrlStack(STACK_OF(X509_CRL) * s) noexcept {
    sk_X509_CRL_pop_free(s, X509_CRL_free);
}

void FreeCertStack(STACK_OF(X509) * s) noexcept {
    sk_X509_pop_free(s, X509_free);
}

void ReadCarried(TokenContents& out) {
    OpenSslPtr<STACK_OF(X509), FreeCertStack> certs(CMS_get1_certs(out.cms.get()));
    for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i) {
        X509* cert = sk_X509_value(certs.get(), i);
        if (X509_up_ref(cert) == 1)
            out.certificates.emplace_back(cert);
    }
    OpenSslPtr<STACK_OF(X509_CRL), FreeCrlStack> crls(CMS_get1_crls(out.cms.get()));
    for (int i = 0; crls && i < sk_X509_CRL_num(crls.get()); ++i) {
        X509_CRL* crl = sk_X509_CRL_value(crls.get(), i);
        if (X509_CRL_up_ref(crl) == 1)
            out.crls.emplace_back(crl);
    }
    ReadOtherRevocations(out);
}

} // namespace

bool TakeDerElement(std::span<const unsigned char>& rest, DerElement& element) {
    if (rest.empty() || rest.size() > static_cast<std::size_t>(LONG_MAX))
        return false;
    const unsigned char* p = rest.data();
    long length = 0;
    int tag = 0;
    int cls = 0;
    const int rc = ASN1_get_object(&p, &length, &tag, &cls, static_cast<long>(rest.size()));
    if ((rc & 0x80) != 0 || (rc & 0x01) != 0 || length < 0)
        return false;
    const auto header = static_cast<std::size_t>(p - rest.data());
    if (header > rest.size() || static_cast<std::size_t>(length) > rest.size() - header)
        return false;
    element.cls = cls;
    element.tag = tag;
    element.constructed = (rc & V_ASN1_CONSTRUCTED) != 0;
    element.content = rest.subspan(header, static_cast<std::size_t>(length));
    element.whole = rest.subspan(0, header + static_cast<std::size_t>(length));
    rest = rest.subspan(header + static_cast<std::size_t>(length));
    return true;
}

X509RefStackPtr MakeRefStack(std::span<X509* const> certificates) {
    X509RefStackPtr stack(sk_X509_new_null());
    for (X509* cert : certificates)
        if (!stack || sk_X509_push(stack.get(), cert) <= 0)
            return nullptr;
    return stack;
}

bool ReadTokenContents(std::span<const unsigned char> token, TokenContents& out) {
    out = TokenContents{};
    if (token.empty() || token.size() > static_cast<std::size_t>(LONG_MAX))
        return false;
    const unsigned char* p = token.data();
    out.cms.reset(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(token.size())));
    if (!out.cms || OBJ_obj2nid(CMS_get0_type(out.cms.get())) != NID_pkcs7_signed) {
        ERR_clear_error();
        return false;
    }
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(out.cms.get());
    if (sk_CMS_SignerInfo_num(signers) != 1)
        return false;
    out.signerInfo = sk_CMS_SignerInfo_value(signers, 0);
    ASN1_OCTET_STRING** content = CMS_get0_content(out.cms.get());
    if (content == nullptr || *content == nullptr)
        return false;
    const unsigned char* q = ASN1_STRING_get0_data(*content);
    out.tstInfo.reset(d2i_TS_TST_INFO(nullptr, &q, ASN1_STRING_length(*content)));
    if (!out.tstInfo || !Asn1TimeToUnix(TS_TST_INFO_get_time(out.tstInfo.get()), out.genTime)) {
        ERR_clear_error();
        return false;
    }
    ReadCarried(out);
    ERR_clear_error();
    return true;
}

bool Asn1TimeToUnix(const ASN1_TIME* time, std::time_t& out) {
    std::tm tm{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) {
        ERR_clear_error();
        return false;
    }
    out = timegm(&tm);
    return true;
}

std::string NameText(const X509_NAME* name) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || name == nullptr)
        return {};
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::vector<unsigned char> CertificateDer(X509* cert) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(cert, &der);
    if (length <= 0)
        return {};
    std::vector<unsigned char> bytes(der, der + length);
    OPENSSL_free(der);
    return bytes;
}

} // namespace trust
