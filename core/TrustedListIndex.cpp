#include "core/TrustedListIndex.h"

#include "platform/OpenSslPtr.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace tl {

namespace {

using X509Ptr = OpenSslPtr<X509, X509_free>;

constexpr char kMagic[8] = {'M', 'I', 'V', 'O', 'T', 'L', 'I', '1'};
constexpr uint32_t kFormatVersion = 1;
constexpr std::size_t kDigestSize = 32;

std::string ShortForm(const std::string& uri, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    return uri.compare(0, length, prefix) == 0 ? uri.substr(length) : uri;
}

Blob DerOf(int length, unsigned char* bytes) {
    Blob der = length > 0 ? Blob(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(length))
                          : Blob();
    OPENSSL_free(bytes);
    return der;
}

// The entry of one listed certificate; only its digest when OpenSSL cannot read it.
IndexCert CertEntry(uint32_t service, const Blob& der) {
    IndexCert entry;
    entry.service = service;
    entry.certSha256 = Sha256(der);
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    const X509Ptr cert(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    if (!cert)
        return entry;
    unsigned char* out = nullptr;
    int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &out);
    entry.key = DerOf(length, out);
    entry.keySha256 = entry.key.empty() ? Blob() : Sha256(entry.key);
    out = nullptr;
    length = i2d_X509_NAME(X509_get_subject_name(cert.get()), &out);
    entry.subject = DerOf(length, out);
    if (const ASN1_OCTET_STRING* ski = X509_get0_subject_key_id(cert.get()))
        entry.ski.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(ski)),
                         static_cast<std::size_t>(ASN1_STRING_length(ski)));
    return entry;
}

void AddService(const Service& service, uint32_t provider, ListIndex& index) {
    const auto number = static_cast<uint32_t>(index.services.size());
    IndexService entry;
    entry.provider = provider;
    entry.name = service.current.name;
    std::set<Blob> certs;
    std::set<Blob> skis;
    const auto add = [&](const ServiceInstance& instance) {
        entry.instances.push_back({ShortForm(instance.type, kServiceTypePrefix),
                                   ShortForm(instance.status, kServiceStatusPrefix),
                                   instance.start});
        for (const Blob& der : instance.identity.certificates)
            if (certs.insert(der).second)
                index.certs.push_back(CertEntry(number, der));
        for (const Blob& ski : instance.identity.skis)
            if (skis.insert(ski).second)
                index.skis.push_back({number, ski});
    };
    add(service.current);
    for (const ServiceInstance& past : service.history)
        add(past);
    std::stable_sort(
        entry.instances.begin(), entry.instances.end(),
        [](const IndexInstance& a, const IndexInstance& b) { return a.start < b.start; });
    index.services.push_back(std::move(entry));
}

// ---- Writing ------------------------------------------------------------------------------

class Writer {
public:
    void U32(uint32_t value) {
        for (int i = 0; i < 4; ++i)
            m_out.push_back(static_cast<char>(value >> (8 * i)));
    }
    void U64(uint64_t value) {
        for (int i = 0; i < 8; ++i)
            m_out.push_back(static_cast<char>(value >> (8 * i)));
    }
    void Bytes(std::string_view bytes) {
        U32(static_cast<uint32_t>(bytes.size()));
        m_out.append(bytes);
    }
    void Raw(std::string_view bytes) { m_out.append(bytes); }
    std::string& Out() { return m_out; }

private:
    std::string m_out;
};

void WriteBody(const ListIndex& index, Writer& w) {
    for (const std::string* text : {&index.territory, &index.tslType, &index.operatorName})
        w.Bytes(*text);
    for (const uint64_t value :
         {index.sequence, index.issued, index.nextUpdate, index.verifiedAt, index.xmlSize})
        w.U64(value);
    w.Bytes(index.xmlSha256);
    w.Bytes(index.signerSha256);
    w.Bytes(index.signerName);
    w.U32(static_cast<uint32_t>(index.providers.size()));
    for (const std::string& name : index.providers)
        w.Bytes(name);
    w.U32(static_cast<uint32_t>(index.services.size()));
    for (const IndexService& service : index.services) {
        w.U32(service.provider);
        w.Bytes(service.name);
        w.U32(static_cast<uint32_t>(service.instances.size()));
        for (const IndexInstance& instance : service.instances) {
            w.Bytes(instance.type);
            w.Bytes(instance.status);
            w.U64(instance.start);
        }
    }
    w.U32(static_cast<uint32_t>(index.certs.size()));
    for (const IndexCert& cert : index.certs) {
        w.U32(cert.service);
        for (const Blob* blob :
             {&cert.certSha256, &cert.keySha256, &cert.ski, &cert.subject, &cert.key})
            w.Bytes(*blob);
    }
    w.U32(static_cast<uint32_t>(index.skis.size()));
    for (const IndexSki& ski : index.skis) {
        w.U32(ski.service);
        w.Bytes(ski.ski);
    }
    w.U32(static_cast<uint32_t>(index.pointers.size()));
    for (const IndexPointer& pointer : index.pointers) {
        for (const std::string* text :
             {&pointer.territory, &pointer.location, &pointer.tslType, &pointer.mimeType})
            w.Bytes(*text);
        w.U32(static_cast<uint32_t>(pointer.signers.size()));
        for (const Blob& signer : pointer.signers)
            w.Bytes(signer);
    }
}

// ---- Reading ------------------------------------------------------------------------------

// Reads little-endian numbers and length-prefixed byte strings, never past the end. After
// the first failure every read fails.
class Reader {
public:
    explicit Reader(std::string_view data) : m_data(data) {}

    bool U32(uint32_t& value) {
        value = 0;
        if (!Need(4))
            return false;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t{static_cast<unsigned char>(m_data[m_at++])} << (8 * i);
        return true;
    }
    bool U64(uint64_t& value) {
        value = 0;
        if (!Need(8))
            return false;
        for (int i = 0; i < 8; ++i)
            value |= uint64_t{static_cast<unsigned char>(m_data[m_at++])} << (8 * i);
        return true;
    }
    bool Bytes(std::string& out) {
        uint32_t length = 0;
        if (!U32(length) || !Need(length))
            return false;
        out.assign(m_data.substr(m_at, length));
        m_at += length;
        return true;
    }
    // A digest: exactly 32 bytes, or (when `optional`) none at all.
    bool Digest(std::string& out, bool optional) {
        return Bytes(out) && (out.size() == kDigestSize || (optional && out.empty())) ? true
                                                                                      : Fail();
    }
    // A count of elements that take at least `minimum` bytes each: no more than fit.
    bool Count(uint32_t& count, std::size_t minimum) {
        return U32(count) && count <= (m_data.size() - m_at) / minimum ? true : Fail();
    }
    bool Fail() { return m_ok = false; }
    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_at == m_data.size(); }

private:
    bool Need(std::size_t bytes) {
        if (!m_ok || m_data.size() - m_at < bytes)
            return m_ok = false;
        return true;
    }

    std::string_view m_data;
    std::size_t m_at = 0;
    bool m_ok = true;
};

bool ReadServices(Reader& r, ListIndex& index) {
    uint32_t count = 0;
    if (!r.Count(count, 12))
        return false;
    index.services.resize(count);
    for (IndexService& service : index.services) {
        uint32_t instances = 0;
        if (!r.U32(service.provider) || service.provider >= index.providers.size() ||
            !r.Bytes(service.name) || !r.Count(instances, 16))
            return r.Fail();
        service.instances.resize(instances);
        uint64_t previous = 0;
        for (IndexInstance& instance : service.instances) {
            if (!r.Bytes(instance.type) || !r.Bytes(instance.status) || !r.U64(instance.start) ||
                instance.start < previous)
                return r.Fail();
            previous = instance.start;
        }
    }
    return true;
}

bool ReadCertificates(Reader& r, ListIndex& index) {
    uint32_t count = 0;
    if (!r.Count(count, 24))
        return false;
    index.certs.resize(count);
    for (IndexCert& cert : index.certs) {
        if (!r.U32(cert.service) || cert.service >= index.services.size() ||
            !r.Digest(cert.certSha256, false) || !r.Digest(cert.keySha256, true) ||
            !r.Bytes(cert.ski) || !r.Bytes(cert.subject) || !r.Bytes(cert.key))
            return r.Fail();
    }
    if (!r.Count(count, 8))
        return false;
    index.skis.resize(count);
    for (IndexSki& ski : index.skis)
        if (!r.U32(ski.service) || ski.service >= index.services.size() || !r.Bytes(ski.ski))
            return r.Fail();
    return true;
}

bool ReadPointers(Reader& r, ListIndex& index) {
    uint32_t count = 0;
    if (!r.Count(count, 20))
        return false;
    index.pointers.resize(count);
    for (IndexPointer& pointer : index.pointers) {
        uint32_t signers = 0;
        if (!r.Bytes(pointer.territory) || !r.Bytes(pointer.location) ||
            !r.Bytes(pointer.tslType) || !r.Bytes(pointer.mimeType) || !r.Count(signers, 4))
            return r.Fail();
        pointer.signers.resize(signers);
        for (Blob& signer : pointer.signers)
            if (!r.Bytes(signer))
                return false;
    }
    return true;
}

bool ReadBody(Reader& r, ListIndex& index) {
    for (std::string* text : {&index.territory, &index.tslType, &index.operatorName})
        if (!r.Bytes(*text))
            return false;
    for (uint64_t* value :
         {&index.sequence, &index.issued, &index.nextUpdate, &index.verifiedAt, &index.xmlSize})
        if (!r.U64(*value))
            return false;
    uint32_t providers = 0;
    if (!r.Digest(index.xmlSha256, false) || !r.Digest(index.signerSha256, true) ||
        !r.Bytes(index.signerName) || !r.Count(providers, 4))
        return false;
    index.providers.resize(providers);
    for (std::string& name : index.providers)
        if (!r.Bytes(name))
            return false;
    return ReadServices(r, index) && ReadCertificates(r, index) && ReadPointers(r, index);
}

} // namespace

Blob Sha256(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return {};
    return Blob(reinterpret_cast<char*>(digest), length);
}

std::string CertificateName(const Blob& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    const X509Ptr cert(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    if (!cert)
        return {};
    const X509_NAME* subject = X509_get_subject_name(cert.get());
    char text[256] = {};
    if (X509_NAME_get_text_by_NID(subject, NID_commonName, text, sizeof text) > 0)
        return text;
    X509_NAME_oneline(subject, text, sizeof text);
    return text;
}

ListIndex BuildIndex(const TrustedList& list, std::string_view xml, const Blob& signer,
                     uint64_t verifiedAt) {
    ListIndex index;
    index.territory = list.territory;
    index.tslType = list.tslType;
    index.operatorName = list.operatorName;
    index.sequence = list.sequence;
    index.issued = list.issued;
    index.nextUpdate = list.nextUpdate;
    index.verifiedAt = verifiedAt;
    index.xmlSize = xml.size();
    index.xmlSha256 = Sha256(xml);
    index.signerSha256 = signer.empty() ? Blob() : Sha256(signer);
    index.signerName = CertificateName(signer);
    for (const Provider& provider : list.providers) {
        const auto number = static_cast<uint32_t>(index.providers.size());
        index.providers.push_back(provider.name);
        for (const Service& service : provider.services)
            AddService(service, number, index);
    }
    for (const ListPointer& pointer : list.pointers)
        index.pointers.push_back({pointer.territory, pointer.location, pointer.tslType,
                                  pointer.mimeType, pointer.signers});
    return index;
}

std::string SerializeIndex(const ListIndex& index) {
    Writer w;
    w.Raw(std::string_view(kMagic, sizeof kMagic));
    w.U32(kFormatVersion);
    WriteBody(index, w);
    const Blob digest = Sha256(w.Out());
    w.Raw(digest);
    return std::move(w.Out());
}

bool ReadIndex(std::string_view bytes, ListIndex& index, std::string& error) {
    index = {};
    if (bytes.size() < sizeof kMagic + 4 + kDigestSize ||
        bytes.substr(0, sizeof kMagic) != std::string_view(kMagic, sizeof kMagic)) {
        error = "not an index file";
        return false;
    }
    const std::string_view content = bytes.substr(0, bytes.size() - kDigestSize);
    if (Sha256(content) != bytes.substr(content.size())) {
        error = "the index is damaged (digest mismatch)";
        return false;
    }
    Reader r(content.substr(sizeof kMagic));
    uint32_t version = 0;
    if (!r.U32(version) || version != kFormatVersion) {
        error = "unknown index version";
        return false;
    }
    if (!ReadBody(r, index) || !r.AtEnd()) {
        index = {};
        error = "the index is malformed";
        return false;
    }
    return true;
}

} // namespace tl
