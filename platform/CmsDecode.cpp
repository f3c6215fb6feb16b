#include "platform/CmsDecode.h"
#include "platform/OpenSslPtr.h"

#include <openssl/err.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using CmsPtr = OpenSslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using X509Ptr = OpenSslPtr<X509, X509_free>;

// More distinct certificates than this are not worth keeping: the store starts afresh.
constexpr std::size_t kMaxSharedCertificates = 256;

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kContext0 = 0xa0; // [0], constructed
constexpr unsigned char kOid = 0x06;
// The content type of signed data, 1.2.840.113549.1.7.2, as a whole TLV.
constexpr unsigned char kSignedDataOid[] = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                            0xf7, 0x0d, 0x01, 0x07, 0x02};
// Version, digest algorithms and encapsulated content come before the certificates.
constexpr int kCertificatesIndex = 3;

class SharedCertificates {
public:
    X509* Find(const std::string& der) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_certs.find(der);
        if (it == m_certs.end())
            return nullptr;
        X509_up_ref(it->second.get());
        return it->second.get();
    }
    // Keeps `cert` (one reference of the caller's) unless the same bytes came first;
    // answers the kept certificate with a new reference.
    X509* Keep(const std::string& der, X509Ptr cert) {
        const std::lock_guard lock(m_mutex);
        if (m_certs.size() >= kMaxSharedCertificates)
            m_certs.clear();
        const auto it = m_certs.try_emplace(der, std::move(cert)).first;
        X509_up_ref(it->second.get());
        return it->second.get();
    }
    std::size_t Count() {
        const std::lock_guard lock(m_mutex);
        return m_certs.size();
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::string, X509Ptr> m_certs;
};

SharedCertificates& Shared() {
    static SharedCertificates shared;
    return shared;
}

// One DER element with a one-byte tag and a definite length.
struct Tlv {
    unsigned char tag = 0;
    std::span<const unsigned char> whole;   // header and content
    std::span<const unsigned char> content; // content only
};

bool ReadTlv(std::span<const unsigned char> in, Tlv& out) {
    if (in.size() < 2 || (in[0] & 0x1f) == 0x1f)
        return false;
    std::size_t header = 2;
    std::size_t length = in[1];
    if (length >= 0x80) {
        const std::size_t octets = length & 0x7f;
        if (octets == 0 || octets > 4 || in.size() < 2 + octets)
            return false; // indefinite (BER) or absurd: left to OpenSSL
        length = 0;
        for (std::size_t i = 0; i < octets; ++i)
            length = (length << 8) | in[2 + i];
        header += octets;
    }
    if (length > in.size() - header)
        return false;
    out.tag = in[0];
    out.whole = in.first(header + length);
    out.content = in.subspan(header, length);
    return true;
}

// The elements that fill `in` exactly; false when they do not.
bool ReadElements(std::span<const unsigned char> in, std::vector<Tlv>& out) {
    while (!in.empty()) {
        Tlv tlv;
        if (!ReadTlv(in, tlv))
            return false;
        out.push_back(tlv);
        in = in.subspan(tlv.whole.size());
    }
    return true;
}

void AppendHeader(std::vector<unsigned char>& out, unsigned char tag, std::size_t length) {
    out.push_back(tag);
    if (length < 0x80) {
        out.push_back(static_cast<unsigned char>(length));
        return;
    }
    unsigned char bytes[sizeof(std::size_t)];
    int n = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8)
        bytes[n++] = static_cast<unsigned char>(rest & 0xff);
    out.push_back(static_cast<unsigned char>(0x80 | n));
    while (n > 0)
        out.push_back(bytes[--n]);
}

std::size_t HeaderSize(std::size_t length) {
    std::size_t size = 2;
    if (length >= 0x80)
        for (std::size_t rest = length; rest != 0; rest >>= 8)
            ++size;
    return size;
}

// A signed-data ContentInfo taken apart: the message without its certificates, and the
// certificates' DER. False for anything else.
bool SplitCertificates(std::span<const unsigned char> in, std::vector<unsigned char>& message,
                       std::vector<Tlv>& certs, std::size_t& consumed) {
    Tlv info, oid, wrapper, signedData;
    if (!ReadTlv(in, info) || info.tag != kSequence || !ReadTlv(info.content, oid) ||
        oid.tag != kOid ||
        !std::equal(oid.whole.begin(), oid.whole.end(), std::begin(kSignedDataOid),
                    std::end(kSignedDataOid)))
        return false;
    const auto rest = info.content.subspan(oid.whole.size());
    if (!ReadTlv(rest, wrapper) || wrapper.tag != kContext0 ||
        wrapper.whole.size() != rest.size() || !ReadTlv(wrapper.content, signedData) ||
        signedData.tag != kSequence || signedData.whole.size() != wrapper.content.size())
        return false;
    std::vector<Tlv> fields;
    if (!ReadElements(signedData.content, fields) ||
        static_cast<int>(fields.size()) <= kCertificatesIndex ||
        fields[kCertificatesIndex].tag != kContext0)
        return false;
    const Tlv& field = fields[kCertificatesIndex];
    if (!ReadElements(field.content, certs) || certs.empty())
        return false;
    for (const Tlv& cert : certs)
        if (cert.tag != kSequence)
            return false; // another choice than a plain certificate

    const std::size_t signedLength = signedData.content.size() - field.whole.size();
    const std::size_t wrapperLength = HeaderSize(signedLength) + signedLength;
    const std::size_t infoLength = oid.whole.size() + HeaderSize(wrapperLength) + wrapperLength;
    message.clear();
    message.reserve(HeaderSize(infoLength) + infoLength);
    AppendHeader(message, kSequence, infoLength);
    message.insert(message.end(), oid.whole.begin(), oid.whole.end());
    AppendHeader(message, kContext0, wrapperLength);
    AppendHeader(message, kSequence, signedLength);
    const unsigned char* begin = signedData.content.data();
    message.insert(message.end(), begin, field.whole.data());
    message.insert(message.end(), field.whole.data() + field.whole.size(),
                   begin + signedData.content.size());
    consumed = info.whole.size();
    return true;
}

// The message without its certificates, with the shared certificates put back in their
// order; null when any step fails.
CMS_ContentInfo* DecodeSharing(std::span<const unsigned char> in, std::size_t& consumed) {
    std::vector<unsigned char> message;
    std::vector<Tlv> certs;
    if (in.size() > static_cast<std::size_t>(LONG_MAX) ||
        !SplitCertificates(in, message, certs, consumed))
        return nullptr;
    const unsigned char* p = message.data();
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(message.size())));
    if (!cms || p != message.data() + message.size())
        return nullptr;
    for (const Tlv& der : certs) {
        X509Ptr cert(SharedCertificate(der.whole.data(), der.whole.size()));
        // A repeated certificate is refused here and left to OpenSSL's own decoding.
        if (!cert || CMS_add0_cert(cms.get(), cert.get()) != 1)
            return nullptr;
        (void)cert.release();
    }
    return cms.release();
}

} // namespace

CMS_ContentInfo* DecodeCmsContentInfo(const unsigned char** pp, long length) {
    if (pp == nullptr || *pp == nullptr || length <= 0)
        return d2i_CMS_ContentInfo(nullptr, pp, length);
    std::size_t consumed = 0;
    ERR_set_mark();
    CMS_ContentInfo* cms =
        DecodeSharing(std::span(*pp, static_cast<std::size_t>(length)), consumed);
    ERR_pop_to_mark();
    if (cms == nullptr)
        return d2i_CMS_ContentInfo(nullptr, pp, length);
    *pp += consumed;
    return cms;
}

X509* SharedCertificate(const unsigned char* der, std::size_t length) {
    if (der == nullptr || length == 0 || length > static_cast<std::size_t>(LONG_MAX))
        return nullptr;
    const std::string key(reinterpret_cast<const char*>(der), length);
    if (X509* cert = Shared().Find(key))
        return cert;
    const unsigned char* p = der;
    X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(length)));
    if (!cert || p != der + length)
        return nullptr;
    return Shared().Keep(key, std::move(cert));
}

std::size_t SharedCertificateCount() {
    return Shared().Count();
}
