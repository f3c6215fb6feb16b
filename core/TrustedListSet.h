// The stored lists loaded for look-ups: the indexes of every territory, with tables from a
// certificate digest, a key digest and a key identifier to the entries that carry them.
// Loading reads only the index files, never the XML.
#pragma once

#include "core/TrustedListIndex.h"

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tl {

class TrustedListSet {
public:
    // An entry: list number and entry number within that list's table.
    struct Ref {
        uint32_t list = 0;
        uint32_t item = 0;
    };

    // Every index of `dir`. Unreadable ones are left out and named in Broken().
    static TrustedListSet Load(const std::string& dir);

    // Adds one list (a territory already present is replaced).
    void Add(ListIndex index);

    const std::vector<ListIndex>& Lists() const { return m_lists; }
    // The list of `territory`; null when it is not loaded.
    const ListIndex* Find(const std::string& territory) const;
    // (territory, English reason) of the indexes that could not be read.
    const std::vector<std::pair<std::string, std::string>>& Broken() const { return m_broken; }

    // Certificate entries (IndexCert) by digest of the certificate, of its key, and by key
    // identifier; key identifiers listed alone (IndexSki) by their value. Empty when none.
    const std::vector<Ref>& CertsByDigest(const Blob& sha256) const;
    const std::vector<Ref>& CertsByKeyDigest(const Blob& sha256) const;
    const std::vector<Ref>& CertsBySki(const Blob& ski) const;
    const std::vector<Ref>& SkisByValue(const Blob& ski) const;

    // The public key of a certificate entry, decoded on first use and kept for the life of
    // the set (decoding a key costs far more than checking a signature with it). Null when
    // it cannot be read. Safe to call from several threads.
    EVP_PKEY* KeyOf(const Ref& cert) const;

private:
    using Table = std::unordered_map<Blob, std::vector<Ref>>;
    struct KeyCache;
    static const std::vector<Ref>& Lookup(const Table& table, const Blob& key);
    void Rebuild();

    std::shared_ptr<KeyCache> m_keys;

    std::vector<ListIndex> m_lists;
    std::vector<std::pair<std::string, std::string>> m_broken;
    Table m_byDigest;
    Table m_byKeyDigest;
    Table m_bySki;
    Table m_skis;
};

} // namespace tl
