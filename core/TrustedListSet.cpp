#include "core/TrustedListSet.h"

#include "core/TrustedListCache.h"
#include "platform/OpenSslPtr.h"

#include <openssl/x509.h>

#include <algorithm>
#include <mutex>

namespace tl {

struct TrustedListSet::KeyCache {
    std::mutex mutex;
    std::unordered_map<uint64_t, OpenSslPtr<EVP_PKEY, EVP_PKEY_free>> keys; // list << 32 | item
};

TrustedListSet TrustedListSet::Load(const std::string& dir) {
    TrustedListSet set;
    const ListCache cache(dir);
    for (const std::string& territory : cache.Territories()) {
        ListIndex index;
        std::string error;
        if (cache.Load(territory, index, error))
            set.m_lists.push_back(std::move(index));
        else
            set.m_broken.emplace_back(territory, error);
    }
    set.Rebuild();
    return set;
}

void TrustedListSet::Add(ListIndex index) {
    const auto same = std::find_if(m_lists.begin(), m_lists.end(), [&index](const ListIndex& list) {
        return list.territory == index.territory;
    });
    if (same != m_lists.end())
        *same = std::move(index);
    else
        m_lists.push_back(std::move(index));
    Rebuild();
}

const ListIndex* TrustedListSet::Find(const std::string& territory) const {
    for (const ListIndex& list : m_lists)
        if (list.territory == territory)
            return &list;
    return nullptr;
}

const std::vector<TrustedListSet::Ref>& TrustedListSet::Lookup(const Table& table,
                                                               const Blob& key) {
    static const std::vector<Ref> kNone;
    const auto found = key.empty() ? table.end() : table.find(key);
    return found != table.end() ? found->second : kNone;
}

const std::vector<TrustedListSet::Ref>& TrustedListSet::CertsByDigest(const Blob& sha256) const {
    return Lookup(m_byDigest, sha256);
}

const std::vector<TrustedListSet::Ref>& TrustedListSet::CertsByKeyDigest(const Blob& sha256) const {
    return Lookup(m_byKeyDigest, sha256);
}

const std::vector<TrustedListSet::Ref>& TrustedListSet::CertsBySki(const Blob& ski) const {
    return Lookup(m_bySki, ski);
}

const std::vector<TrustedListSet::Ref>& TrustedListSet::SkisByValue(const Blob& ski) const {
    return Lookup(m_skis, ski);
}

EVP_PKEY* TrustedListSet::KeyOf(const Ref& cert) const {
    if (!m_keys || cert.list >= m_lists.size() || cert.item >= m_lists[cert.list].certs.size())
        return nullptr;
    const uint64_t slot = uint64_t{cert.list} << 32 | cert.item;
    const std::lock_guard<std::mutex> lock(m_keys->mutex);
    auto found = m_keys->keys.find(slot);
    if (found == m_keys->keys.end()) {
        const Blob& der = m_lists[cert.list].certs[cert.item].key;
        const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
        found =
            m_keys->keys.emplace(slot, d2i_PUBKEY(nullptr, &bytes, static_cast<long>(der.size())))
                .first;
    }
    return found->second.get();
}

void TrustedListSet::Rebuild() {
    m_keys = std::make_shared<KeyCache>();
    m_byDigest.clear();
    m_byKeyDigest.clear();
    m_bySki.clear();
    m_skis.clear();
    for (uint32_t list = 0; list < m_lists.size(); ++list) {
        const ListIndex& index = m_lists[list];
        for (uint32_t item = 0; item < index.certs.size(); ++item) {
            const IndexCert& cert = index.certs[item];
            m_byDigest[cert.certSha256].push_back({list, item});
            if (!cert.keySha256.empty())
                m_byKeyDigest[cert.keySha256].push_back({list, item});
            if (!cert.ski.empty())
                m_bySki[cert.ski].push_back({list, item});
        }
        for (uint32_t item = 0; item < index.skis.size(); ++item)
            if (!index.skis[item].ski.empty())
                m_skis[index.skis[item].ski].push_back({list, item});
    }
}

} // namespace tl
