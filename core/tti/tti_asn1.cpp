// Bounded copies that fill the records, names as text, and token loading.
#include "core/tti/tti_internal.h"
#include "platform/CmsDecode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

namespace mivo::tti {

// ---- Entry helpers ---------------------------------------------------------------------

int CheckInput(const unsigned char* data, int len) {
    if (len < 0 || (data == nullptr && len > 0))
        return TTI_E_INVALID_PARAMETER;
    return len == 0 ? TTI_E_ASN_FORMAT : TTI_OK;
}

int CheckOutput(const unsigned char* out, const int* len) {
    if (len == nullptr || *len < 0 || (out == nullptr && *len > 0))
        return TTI_E_INVALID_PARAMETER;
    return TTI_OK;
}

int WriteOut(unsigned char* out, int* len, std::span<const unsigned char> bytes) {
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return TTI_E_BUFFER_TOO_SMALL;
    if (bytes.size() > static_cast<std::size_t>(*len)) {
        *len = static_cast<int>(bytes.size());
        return TTI_E_BUFFER_TOO_SMALL;
    }
    if (!bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
    *len = static_cast<int>(bytes.size());
    return TTI_OK;
}

// ---- Record fields ---------------------------------------------------------------------

int CopyText(std::span<char> field, std::span<const unsigned char> value) {
    if (std::find(value.begin(), value.end(), 0) != value.end())
        return TTI_E_ASN_FORMAT;
    if (value.size() >= field.size())
        return TTI_E_INTERNAL_BUFFER;
    if (!value.empty())
        std::memcpy(field.data(), value.data(), value.size());
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(value.size()), field.end(), '\0');
    return TTI_OK;
}

int CopyText(std::span<char> field, const std::string& value) {
    return CopyText(field,
                    std::span(reinterpret_cast<const unsigned char*>(value.data()), value.size()));
}

int CutText(std::span<char> field, std::span<const unsigned char> value) {
    if (std::find(value.begin(), value.end(), 0) != value.end())
        return TTI_E_ASN_FORMAT;
    std::size_t keep = std::min(value.size(), field.size() - 1);
    // The first byte left out must begin a character. A UTF-8 character is at most four
    // bytes, so at most three continuation bytes are given back; bytes that are not UTF-8
    // at all are cut where they fall.
    std::size_t start = keep;
    while (start < value.size() && keep - start < 3 && (value[start] & 0xC0) == 0x80)
        --start;
    if (start < value.size() && (value[start] & 0xC0) != 0x80)
        keep = start;
    return CopyText(field, value.first(keep));
}

int CutText(std::span<char> field, const std::string& value) {
    return CutText(field,
                   std::span(reinterpret_cast<const unsigned char*>(value.data()), value.size()));
}

int CopyAsn1Text(std::span<char> field, const ASN1_STRING* value) {
    if (value == nullptr)
        return TTI_E_ASN_FORMAT;
    return CopyText(field, std::span(ASN1_STRING_get0_data(value),
                                     static_cast<std::size_t>(ASN1_STRING_length(value))));
}

int CopyBytes(std::span<unsigned char> field, int32_t& len, std::span<const unsigned char> value) {
    if (value.size() > field.size())
        return TTI_E_INTERNAL_BUFFER;
    std::fill(field.begin(), field.end(), 0);
    if (!value.empty())
        std::memcpy(field.data(), value.data(), value.size());
    len = static_cast<int32_t>(value.size());
    return TTI_OK;
}

int OidText(std::span<char> field, const ASN1_OBJECT* oid) {
    if (oid == nullptr)
        return TTI_E_ASN_FORMAT;
    // OBJ_obj2txt answers the full length, also when it had to cut the text.
    std::string text(field.size() + 1, '\0');
    int n = OBJ_obj2txt(text.data(), static_cast<int>(text.size()), oid, 1);
    if (n <= 0)
        return TTI_E_ASN_FORMAT;
    if (static_cast<std::size_t>(n) >= field.size())
        return TTI_E_INTERNAL_BUFFER;
    text.resize(static_cast<std::size_t>(n));
    return CopyText(field, text);
}

int PolicyOidText(std::span<char> field, const ASN1_OBJECT* oid) {
    if (oid == nullptr)
        return TTI_E_ASN_FORMAT;
    const int n = OBJ_obj2txt(nullptr, 0, oid, 1);
    if (n <= 0)
        return TTI_E_ASN_FORMAT;
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    if (OBJ_obj2txt(text.data(), static_cast<int>(text.size()), oid, 1) != n)
        return TTI_E_ASN_FORMAT;
    text.resize(static_cast<std::size_t>(n));
    constexpr std::string_view kMark = TTI_CUT_MARK;
    if (text.size() >= field.size())
        text = text.substr(0, field.size() - 1 - kMark.size()).append(kMark);
    return CopyText(field, text);
}

int IntegerContentBytes(std::span<unsigned char> field, int32_t& len, const ASN1_INTEGER* value) {
    if (value == nullptr)
        return TTI_E_ASN_FORMAT;
    if (ASN1_STRING_type(value) != V_ASN1_NEG_INTEGER)
        return IntegerBytes(field, len, value);
    // The DER of the INTEGER without its tag and length: the two's complement octets.
    unsigned char* der = nullptr;
    const int n = i2d_ASN1_INTEGER(value, &der);
    if (n <= 0)
        return TTI_E_ASN_FORMAT;
    OpensslBytesPtr owner(der);
    const unsigned char* p = der;
    long length = 0;
    int tag = 0;
    int cls = 0;
    if ((ASN1_get_object(&p, &length, &tag, &cls, n) & 0x80) != 0 || tag != V_ASN1_INTEGER)
        return TTI_E_ASN_FORMAT;
    return CopyBytes(field, len, std::span(p, static_cast<std::size_t>(length)));
}

int IntegerBytes(std::span<unsigned char> field, int32_t& len, const ASN1_INTEGER* value) {
    if (value == nullptr || ASN1_STRING_type(value) == V_ASN1_NEG_INTEGER)
        return TTI_E_ASN_FORMAT;
    BigNumPtr bn(ASN1_INTEGER_to_BN(value, nullptr));
    if (!bn)
        return TTI_E_ASN_FORMAT;
    int n = BN_num_bytes(bn.get());
    if (n == 0) {
        unsigned char zero = 0;
        return CopyBytes(field, len, std::span(&zero, 1));
    }
    if (static_cast<std::size_t>(n) > field.size())
        return TTI_E_INTERNAL_BUFFER;
    std::fill(field.begin(), field.end(), 0);
    BN_bn2bin(bn.get(), field.data());
    len = n;
    return TTI_OK;
}

int IntegerToInt64(const ASN1_INTEGER* value, int64_t& out) {
    if (value == nullptr)
        return TTI_E_ASN_FORMAT;
    int64_t v = 0;
    if (ASN1_INTEGER_get_int64(&v, value) != 1)
        return TTI_E_INTERNAL_BUFFER;
    out = v;
    return TTI_OK;
}

int IntegerToInt32(const ASN1_INTEGER* value, int32_t& out) {
    int64_t v = 0;
    if (int rc = IntegerToInt64(value, v); rc != TTI_OK)
        return rc;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return TTI_E_INTERNAL_BUFFER;
    out = static_cast<int32_t>(v);
    return TTI_OK;
}

int MicrosToSeconds(const ASN1_INTEGER* micros, float& seconds) {
    int64_t v = 0;
    if (int rc = IntegerToInt64(micros, v); rc != TTI_OK)
        return rc;
    seconds = static_cast<float>(static_cast<double>(v) / 1e6);
    return TTI_OK;
}

namespace {

std::string BioText(BIO* bio) {
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

void AppendHexByte(std::string& text, unsigned char b) {
    static const char kHex[] = "0123456789ABCDEF";
    text += kHex[b >> 4];
    text += kHex[b & 15];
}

// An IA5String as text: printable ASCII as it is, every other byte as \XX.
std::string Ia5Text(const ASN1_STRING* s) {
    std::string text;
    const unsigned char* p = ASN1_STRING_get0_data(s);
    for (int i = 0; i < ASN1_STRING_length(s); ++i) {
        unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            text += static_cast<char>(c);
        } else {
            text += '\\';
            AppendHexByte(text, c);
        }
    }
    return text;
}

std::string IpText(const ASN1_OCTET_STRING* ip) {
    const unsigned char* p = ASN1_STRING_get0_data(ip);
    int n = ASN1_STRING_length(ip);
    std::string text;
    char part[8];
    if (n == 4) {
        for (int i = 0; i < 4; ++i) {
            std::snprintf(part, sizeof part, i ? ".%u" : "%u", p[i]);
            text += part;
        }
    } else if (n == 16) {
        for (int i = 0; i < 16; i += 2) {
            std::snprintf(part, sizeof part, i ? ":%X" : "%X", (p[i] << 8) | p[i + 1]);
            text += part;
        }
    } else {
        for (int i = 0; i < n; ++i)
            AppendHexByte(text, p[i]);
    }
    return text;
}

int ObjText(std::string& text, const ASN1_OBJECT* oid) {
    char buf[1024]; // longer than any record's field
    int n = OBJ_obj2txt(buf, sizeof buf, oid, 1);
    if (n <= 0)
        return TTI_E_ASN_FORMAT;
    if (static_cast<std::size_t>(n) >= sizeof buf)
        return TTI_E_INTERNAL_BUFFER;
    text.assign(buf, static_cast<std::size_t>(n));
    return TTI_OK;
}

} // namespace

int NameText(std::string& text, const X509_NAME* name) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio)
        return TTI_E_MEMORY;
    // RFC 2253, but UTF-8 characters stay as they are instead of \XX escapes.
    const unsigned long flags = XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB;
    if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0)
        return TTI_E_ASN_FORMAT;
    text = BioText(bio.get());
    if (text.find('\0') != std::string::npos)
        return TTI_E_ASN_FORMAT;
    return TTI_OK;
}

int GeneralNameText(std::string& text, const GENERAL_NAME* name) {
    int type = 0;
    const void* value = GENERAL_NAME_get0_value(name, &type);
    switch (type) {
    case GEN_DIRNAME:
        return NameText(text, static_cast<const X509_NAME*>(value));
    case GEN_EMAIL:
        text = "email:" + Ia5Text(static_cast<const ASN1_STRING*>(value));
        return TTI_OK;
    case GEN_DNS:
        text = "DNS:" + Ia5Text(static_cast<const ASN1_STRING*>(value));
        return TTI_OK;
    case GEN_URI:
        text = "URI:" + Ia5Text(static_cast<const ASN1_STRING*>(value));
        return TTI_OK;
    case GEN_IPADD:
        text = "IP Address:" + IpText(static_cast<const ASN1_OCTET_STRING*>(value));
        return TTI_OK;
    case GEN_RID: {
        std::string oid;
        if (int rc = ObjText(oid, static_cast<const ASN1_OBJECT*>(value)); rc != TTI_OK)
            return rc;
        text = "Registered ID:" + oid;
        return TTI_OK;
    }
    case GEN_OTHERNAME: {
        ASN1_OBJECT* oid = nullptr;
        if (GENERAL_NAME_get0_otherName(name, &oid, nullptr) != 1)
            return TTI_E_ASN_FORMAT;
        std::string oidText;
        if (int rc = ObjText(oidText, oid); rc != TTI_OK)
            return rc;
        text = "othername:" + oidText;
        return TTI_OK;
    }
    case GEN_X400:
        text = "X400Name:";
        return TTI_OK;
    case GEN_EDIPARTY:
        text = "EdiPartyName:";
        return TTI_OK;
    default:
        return TTI_E_ASN_FORMAT;
    }
}

int GeneralNamesText(std::string& text, const GENERAL_NAMES* names) {
    text.clear();
    if (names == nullptr || sk_GENERAL_NAME_num(names) <= 0)
        return TTI_OK;
    return GeneralNameText(text, sk_GENERAL_NAME_value(names, 0));
}

// ---- Tokens ----------------------------------------------------------------------------

int LoadToken(Token& token, const unsigned char* data, int len) {
    if (int rc = CheckInput(data, len); rc != TTI_OK)
        return rc;
    const unsigned char* p = data;
    CmsPtr cms(DecodeCmsContentInfo(&p, len));
    if (!cms || p != data + len)
        return TTI_E_ASN_FORMAT;
    if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed)
        return TTI_E_INVALID_TOKEN;
    if (OBJ_obj2nid(CMS_get0_eContentType(cms.get())) != NID_id_smime_ct_TSTInfo)
        return TTI_E_INVALID_TOKEN;
    ASN1_OCTET_STRING** content = CMS_get0_content(cms.get());
    if (content == nullptr || *content == nullptr)
        return TTI_E_INVALID_TOKEN;
    token.content = std::span(ASN1_STRING_get0_data(*content),
                              static_cast<std::size_t>(ASN1_STRING_length(*content)));
    token.cms = std::move(cms);
    return TTI_OK;
}

int SoleSigner(CMS_SignerInfo*& si, const Token& token) {
    STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(token.cms.get());
    if (infos == nullptr || sk_CMS_SignerInfo_num(infos) != 1)
        return TTI_E_INVALID_TOKEN;
    si = sk_CMS_SignerInfo_value(infos, 0);
    return TTI_OK;
}

X509Ptr FindSignerCert(const Token& token, CMS_SignerInfo* si) {
    X509StackPtr certs(CMS_get1_certs(token.cms.get()));
    for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i) {
        X509* cert = sk_X509_value(certs.get(), i);
        if (CMS_SignerInfo_cert_cmp(si, cert) == 0) {
            X509_up_ref(cert);
            return X509Ptr(cert);
        }
    }
    return nullptr;
}

} // namespace mivo::tti
