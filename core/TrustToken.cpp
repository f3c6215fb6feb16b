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

// The "other" choices of SignedData.crls, which OpenSSL's CMS functions keep to themselves.
void ReadOtherRevocations(std::span<const unsigned char> crls, TokenContents& out) {
    DerElement choice;
    while (TakeDerElement(crls, choice))
        if (IsContext(choice, 1))
            ReadOtherRevocation(choice.content, out);
}

// A DER token taken apart down to the fields of its SignedData.
struct Layout {
    std::span<const unsigned char> contentType; // the whole element
    std::vector<DerElement> fields;
};

bool ReadLayout(std::span<const unsigned char> token, Layout& layout) {
    DerElement contentInfo, type, wrapper, signedData, field;
    if (!TakeDerElement(token, contentInfo) || !token.empty())
        return false;
    std::span<const unsigned char> inner = contentInfo.content;
    if (!TakeDerElement(inner, type) || !TakeDerElement(inner, wrapper) || !inner.empty() ||
        !IsContext(wrapper, 0))
        return false;
    inner = wrapper.content;
    if (!TakeDerElement(inner, signedData) || !inner.empty())
        return false;
    std::span<const unsigned char> fields = signedData.content;
    while (!fields.empty()) {
        if (!TakeDerElement(fields, field))
            return false;
        layout.fields.push_back(field);
    }
    layout.contentType = type.whole;
    return true;
}

void Append(std::vector<unsigned char>& out, std::span<const unsigned char> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<unsigned char> Wrapped(unsigned char tag, std::span<const unsigned char> content) {
    std::vector<unsigned char> out{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
    } else {
        std::vector<unsigned char> length;
        for (std::size_t v = n; v != 0; v >>= 8)
            length.insert(length.begin(), static_cast<unsigned char>(v & 0xFF));
        out.push_back(static_cast<unsigned char>(0x80 | length.size()));
        Append(out, length);
    }
    Append(out, content);
    return out;
}

// The token without its certificates, which OpenSSL would decode key by key: they are read
// one by one instead, and the one already known is not read again.
std::vector<unsigned char> WithoutCertificates(const Layout& layout) {
    std::vector<unsigned char> fields;
    for (const DerElement& field : layout.fields)
        if (!IsContext(field, 0))
            Append(fields, field.whole);
    std::vector<unsigned char> contentInfo(layout.contentType.begin(), layout.contentType.end());
    Append(contentInfo, Wrapped(0xA0, Wrapped(0x30, fields)));
    return Wrapped(0x30, contentInfo);
}

void ReadCertificates(std::span<const unsigned char> choices, const KnownCertificate& known,
                      TokenContents& out) {
    DerElement choice;
    while (TakeDerElement(choices, choice)) {
        if (choice.cls != V_ASN1_UNIVERSAL || choice.tag != V_ASN1_SEQUENCE)
            continue; // attribute and other certificates
        if (known.cert != nullptr && std::ranges::equal(choice.whole, known.der)) {
            if (X509_up_ref(known.cert) == 1)
                out.certificates.emplace_back(known.cert);
            continue;
        }
        const unsigned char* p = choice.whole.data();
        if (X509* cert = d2i_X509(nullptr, &p, static_cast<long>(choice.whole.size())))
            out.certificates.emplace_back(cert);
    }
}

void FreeCrlStack(STACK_OF(X509_CRL) * s) noexcept {
    sk_X509_CRL_pop_free(s, X509_CRL_free);
}

void FreeCertStack(STACK_OF(X509) * s) noexcept {
    sk_X509_pop_free(s, X509_free);
}

void ReadCrls(TokenContents& out) {
    OpenSslPtr<STACK_OF(X509_CRL), FreeCrlStack> crls(CMS_get1_crls(out.cms.get()));
    for (int i = 0; crls && i < sk_X509_CRL_num(crls.get()); ++i) {
        X509_CRL* crl = sk_X509_CRL_value(crls.get(), i);
        if (X509_CRL_up_ref(crl) == 1)
            out.crls.emplace_back(crl);
    }
}

// The signed data, its one signer and its TSTInfo with a readable generation time.
bool ReadSignedData(std::span<const unsigned char> der, TokenContents& out) {
    const unsigned char* p = der.data();
    out.cms.reset(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
    if (!out.cms || OBJ_obj2nid(CMS_get0_type(out.cms.get())) != NID_pkcs7_signed)
        return false;
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(out.cms.get());
    if (sk_CMS_SignerInfo_num(signers) != 1)
        return false;
    out.signerInfo = sk_CMS_SignerInfo_value(signers, 0);
    ASN1_OCTET_STRING** content = CMS_get0_content(out.cms.get());
    if (content == nullptr || *content == nullptr)
        return false;
    const unsigned char* q = ASN1_STRING_get0_data(*content);
    out.tstInfo.reset(d2i_TS_TST_INFO(nullptr, &q, ASN1_STRING_length(*content)));
    return out.tstInfo && Asn1TimeToUnix(TS_TST_INFO_get_time(out.tstInfo.get()), out.genTime);
}

// A DER token: its parts read without decoding its certificates through OpenSSL's CMS.
bool ReadDerToken(std::span<const unsigned char> token, const KnownCertificate& known,
                  TokenContents& out) {
    Layout layout;
    if (!ReadLayout(token, layout) || !ReadSignedData(WithoutCertificates(layout), out))
        return false;
    for (const DerElement& field : layout.fields) {
        if (IsContext(field, 0))
            ReadCertificates(field.content, known, out);
        else if (IsContext(field, 1))
            ReadOtherRevocations(field.content, out);
    }
    ReadCrls(out);
    return true;
}

// Any token (BER too): OpenSSL reads it all; the other revocation choices are found in
// its DER encoding.
bool ReadAnyToken(std::span<const unsigned char> token, TokenContents& out) {
    if (!ReadSignedData(token, out))
        return false;
    OpenSslPtr<STACK_OF(X509), FreeCertStack> certs(CMS_get1_certs(out.cms.get()));
    for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i) {
        X509* cert = sk_X509_value(certs.get(), i);
        if (X509_up_ref(cert) == 1)
            out.certificates.emplace_back(cert);
    }
    ReadCrls(out);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(out.cms.get(), &der);
    OpenSslPtr<unsigned char, FreeOpensslBytes> owner(der);
    Layout layout;
    if (length > 0 && ReadLayout(std::span(der, static_cast<std::size_t>(length)), layout))
        for (const DerElement& field : layout.fields)
            if (IsContext(field, 1))
                ReadOtherRevocations(field.content, out);
    return true;
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

bool ReadTokenContents(std::span<const unsigned char> token, const KnownCertificate& known,
                       TokenContents& out) {
    out = TokenContents{};
    if (token.empty() || token.size() > static_cast<std::size_t>(LONG_MAX))
        return false;
    bool read = ReadDerToken(token, known, out);
    if (!read) {
        out = TokenContents{};
        read = ReadAnyToken(token, out);
    }
    ERR_clear_error();
    return read;
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
