// Private helpers of the time-stamp library: owning pointers for OpenSSL objects, the
// ASN.1 types that OpenSSL does not provide (the reply seen from outside, the TAC), and the
// bounded copies that fill the records. Nothing here is part of the library's interface.
#ifndef MIVO_CORE_TTI_TTI_INTERNAL_H
#define MIVO_CORE_TTI_TTI_INTERNAL_H

#include "core/tti/tti.h"
#include "platform/OpenSslPtr.h"

#include <openssl/asn1.h>
#include <openssl/asn1t.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>

namespace mivo::tti {

// ---- Owning pointers -------------------------------------------------------------------

template <class T, auto Free> using Owned = OpenSslPtr<T, Free>;

using AlgorPtr = Owned<X509_ALGOR, X509_ALGOR_free>;
using Asn1IntegerPtr = Owned<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1ObjectPtr = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using BigNumPtr = Owned<BIGNUM, BN_free>;
using BioPtr = Owned<BIO, BIO_free_all>;
using CmsPtr = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;
using MdCtxPtr = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using MsgImprintPtr = Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>;
using TsReqPtr = Owned<TS_REQ, TS_REQ_free>;
using TstInfoPtr = Owned<TS_TST_INFO, TS_TST_INFO_free>;
using X509Ptr = Owned<X509, X509_free>;

inline void FreeOpensslBytes(unsigned char* p) noexcept {
    OPENSSL_free(p);
}
using OpensslBytesPtr = Owned<unsigned char, FreeOpensslBytes>;

inline void FreeX509Stack(STACK_OF(X509) * s) noexcept {
    sk_X509_pop_free(s, X509_free);
}
using X509StackPtr = Owned<STACK_OF(X509), FreeX509Stack>;

// ---- ASN.1 types of our own ------------------------------------------------------------

// PKIStatusInfo: OpenSSL keeps its own type opaque and exports no template for it.
struct PkiStatusInfo {
    ASN1_INTEGER* status;
    STACK_OF(ASN1_UTF8STRING) * text;
    ASN1_BIT_STRING* failInfo;
};

// TimeStampResp with the token kept as it stands: OpenSSL's TS_RESP would parse the token
// as PKCS#7, which rejects certificate and revocation choices that real TSAs send.
struct TimeStampResp {
    PkiStatusInfo* status;
    ASN1_TYPE* token;
};

// The attribute certificate (RFC 5755) that carries the TAC; see docs/tac.asn1.
struct ObjectDigestInfo {
    ASN1_ENUMERATED* type;
    ASN1_OBJECT* otherType;
    X509_ALGOR* algorithm;
    ASN1_BIT_STRING* digest;
};

struct IssuerSerial {
    GENERAL_NAMES* issuer;
    ASN1_INTEGER* serial;
    ASN1_BIT_STRING* issuerUid;
};

struct AcHolder {
    IssuerSerial* baseCertificateId;
    GENERAL_NAMES* entityName;
    ObjectDigestInfo* objectDigestInfo;
};

struct AcV2Form {
    GENERAL_NAMES* issuerName;
    IssuerSerial* baseCertificateId;
    ObjectDigestInfo* objectDigestInfo;
};

struct AcIssuer {
    int type;
    union {
        GENERAL_NAMES* v1Form;
        AcV2Form* v2Form;
    } d;
};
constexpr int kAcIssuerV1 = 0;
constexpr int kAcIssuerV2 = 1;

struct AcValidity {
    ASN1_GENERALIZEDTIME* notBefore;
    ASN1_GENERALIZEDTIME* notAfter;
};

struct AcInfo {
    ASN1_INTEGER* version;
    AcHolder* holder;
    AcIssuer* issuer;
    X509_ALGOR* signature;
    ASN1_INTEGER* serial;
    AcValidity* validity;
    STACK_OF(X509_ATTRIBUTE) * attributes;
    ASN1_BIT_STRING* issuerUid;
    STACK_OF(X509_EXTENSION) * extensions;
};

struct AttributeCertificate {
    AcInfo* info;
    X509_ALGOR* signatureAlgorithm;
    ASN1_BIT_STRING* signature;
};

struct TimingMetrics {
    ASN1_GENERALIZEDTIME* ntpTime;
    ASN1_INTEGER* offset; // microseconds
    ASN1_INTEGER* delay;  // microseconds
    ASN1_GENERALIZEDTIME* expiration;
};

struct TimingPolicy {
    ASN1_OBJECT* policy;
    ASN1_INTEGER* maxOffset; // microseconds
    ASN1_INTEGER* maxDelay;  // microseconds
};

DECLARE_ASN1_ITEM(PkiStatusInfo)
DECLARE_ASN1_ITEM(TimeStampResp)
DECLARE_ASN1_ITEM(AttributeCertificate)
DECLARE_ASN1_ITEM(TimingMetrics)
DECLARE_ASN1_ITEM(TimingPolicy)

template <class T> struct ItemOf;
template <> struct ItemOf<TimeStampResp> {
    static const ASN1_ITEM* Get() { return ASN1_ITEM_rptr(TimeStampResp); }
};
template <> struct ItemOf<AttributeCertificate> {
    static const ASN1_ITEM* Get() { return ASN1_ITEM_rptr(AttributeCertificate); }
};
template <> struct ItemOf<TimingMetrics> {
    static const ASN1_ITEM* Get() { return ASN1_ITEM_rptr(TimingMetrics); }
};
template <> struct ItemOf<TimingPolicy> {
    static const ASN1_ITEM* Get() { return ASN1_ITEM_rptr(TimingPolicy); }
};

template <class T> struct ItemFree {
    void operator()(T* p) const noexcept {
        ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(p), ItemOf<T>::Get());
    }
};
template <class T> using ItemPtr = std::unique_ptr<T, ItemFree<T>>;

// Decodes a whole BER or DER value of one of our types; bytes after it make it fail.
template <class T> [[nodiscard]] ItemPtr<T> DecodeItem(std::span<const unsigned char> der) {
    if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX))
        return nullptr;
    const unsigned char* p = der.data();
    ItemPtr<T> value(reinterpret_cast<T*>(
        ASN1_item_d2i(nullptr, &p, static_cast<long>(der.size()), ItemOf<T>::Get())));
    if (value && p != der.data() + der.size())
        value.reset();
    return value;
}

// Object identifiers of the TAC (UUID arc of the project, see docs/tac.asn1).
inline constexpr const char* kTacAttributeOid = "2.25.147632841029645311856013379428416652545.1";
inline constexpr const char* kTimingMetricsOid = "2.25.147632841029645311856013379428416652545.2";
inline constexpr const char* kTimingPolicyOid = "2.25.147632841029645311856013379428416652545.3";

// ---- Entry points ----------------------------------------------------------------------

// Runs one library call: nothing escapes as an exception, and the OpenSSL errors that the
// call raised are dropped (earlier ones on the thread's queue stay).
template <class F> int Guarded(F&& body) noexcept {
    ERR_set_mark();
    int rc;
    try {
        rc = body();
    } catch (const std::bad_alloc&) {
        rc = TTI_E_MEMORY;
    } catch (...) {
        rc = TTI_E_ASN_UNEXPECTED;
    }
    ERR_pop_to_mark();
    return rc;
}

// The input bytes of a decoder: a null pointer or a negative length is a parameter error;
// an empty input is simply not the structure.
[[nodiscard]] int CheckInput(const unsigned char* data, int len);

// A caller's output buffer: *len is its capacity.
[[nodiscard]] int CheckOutput(const unsigned char* out, const int* len);

// Copies bytes into the caller's buffer, or gives TTI_E_BUFFER_TOO_SMALL with *len set to
// the length needed.
[[nodiscard]] int WriteOut(unsigned char* out, int* len, std::span<const unsigned char> bytes);

// ---- Record fields ---------------------------------------------------------------------

// A zero-terminated text field of `cap` bytes. A zero byte inside the value is a format
// error; a value of cap bytes or more does not fit.
[[nodiscard]] int CopyText(std::span<char> field, std::span<const unsigned char> value);
[[nodiscard]] int CopyText(std::span<char> field, const std::string& value);
[[nodiscard]] int CopyAsn1Text(std::span<char> field, const ASN1_STRING* value);

// A text that is only shown (a status text, a name): like CopyText, but a value too long
// for the field is cut to cap - 1 bytes or a little less, so that no UTF-8 character is
// split. A zero byte inside is still a format error.
[[nodiscard]] int CutText(std::span<char> field, std::span<const unsigned char> value);
[[nodiscard]] int CutText(std::span<char> field, const std::string& value);

// Bytes with their length field.
[[nodiscard]] int CopyBytes(std::span<unsigned char> field, int32_t& len,
                            std::span<const unsigned char> value);

// Dotted text of an object identifier.
[[nodiscard]] int OidText(std::span<char> field, const ASN1_OBJECT* oid);

// Dotted text of a policy OID. One too long for the field keeps as much of its start as
// fits beside TTI_CUT_MARK, which ends it: no dotted OID holds that mark, so no policy
// compared with an OID can ever match on a prefix.
[[nodiscard]] int PolicyOidText(std::span<char> field, const ASN1_OBJECT* oid);

// A serial number: a non-negative INTEGER as IntegerBytes gives it, a negative one (which
// RFC 3161 does not allow, yet some TSAs send) as its two's complement content octets
// exactly as DER encodes them.
[[nodiscard]] int IntegerContentBytes(std::span<unsigned char> field, int32_t& len,
                                      const ASN1_INTEGER* value);

// A non-negative INTEGER as minimal big-endian bytes (zero gives one zero byte); a
// negative one is a format error.
[[nodiscard]] int IntegerBytes(std::span<unsigned char> field, int32_t& len,
                               const ASN1_INTEGER* value);

// An INTEGER into an int32 field or an int64; out of range does not fit.
[[nodiscard]] int IntegerToInt32(const ASN1_INTEGER* value, int32_t& out);
[[nodiscard]] int IntegerToInt64(const ASN1_INTEGER* value, int64_t& out);

// INTEGER microseconds as float seconds.
[[nodiscard]] int MicrosToSeconds(const ASN1_INTEGER* micros, float& seconds);

// One line of UTF-8 for a name: a directory name in RFC 2253 form (UTF-8 kept, control
// characters escaped), other kinds with a prefix ("DNS:", "email:", "URI:",
// "IP Address:", "Registered ID:", "othername:", "X400Name:", "EdiPartyName:").
[[nodiscard]] int NameText(std::string& text, const X509_NAME* name);
[[nodiscard]] int GeneralNameText(std::string& text, const GENERAL_NAME* name);
// The first name of a GeneralNames; empty text when there is none.
[[nodiscard]] int GeneralNamesText(std::string& text, const GENERAL_NAMES* names);

// ---- Tokens ----------------------------------------------------------------------------

// A decoded token: a CMS SignedData whose content is a TSTInfo.
struct Token {
    CmsPtr cms;
    std::span<const unsigned char> content; // the TSTInfo's bytes, owned by cms
};

// TTI_E_ASN_FORMAT when the bytes are no ContentInfo, TTI_E_INVALID_TOKEN when it is not
// signed data carrying a TSTInfo.
[[nodiscard]] int LoadToken(Token& token, const unsigned char* data, int len);

// The one SignerInfo of a token (a time-stamp token has exactly one).
[[nodiscard]] int SoleSigner(CMS_SignerInfo*& si, const Token& token);

// The signer's certificate among the token's certificates, or null.
[[nodiscard]] X509Ptr FindSignerCert(const Token& token, CMS_SignerInfo* si);

// What TTI_GetTST_TSTInfo, TTI_PrepareSignedMessage and TTI_GetTST_TimeAttributeCert do
// once the token is loaded. `asRead` tells that the prepared form is `original` itself.
[[nodiscard]] int ReadTstInfo(TTI_TSTINFO& record, const Token& token);
[[nodiscard]] int PrepareLoaded(const Token& token, std::span<const unsigned char> original,
                                unsigned char* out, int* outLen, bool& asRead);
[[nodiscard]] int ReadTimeAttributeCert(const Token& token, unsigned char* out, int* outLen);

} // namespace mivo::tti

#endif
