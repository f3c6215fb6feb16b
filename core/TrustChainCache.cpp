#include "core/TrustChainCache.h"

#include "core/TrustToken.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace trust {

namespace {

using MdCtxPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;

// Each certificate's length before its bytes, so that no two lists hash the same stream.
bool HashCertificate(EVP_MD_CTX* ctx, X509* cert, std::vector<unsigned char>& buffer) {
    const int length = cert != nullptr ? i2d_X509(cert, nullptr) : -1;
    if (length <= 0)
        return false;
    buffer.resize(static_cast<std::size_t>(length));
    unsigned char* p = buffer.data();
    if (i2d_X509(cert, &p) != length)
        return false;
    const auto size = static_cast<std::uint32_t>(length);
    const unsigned char prefix[4] = {
        static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
        static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
    return EVP_DigestUpdate(ctx, prefix, sizeof prefix) == 1 &&
           EVP_DigestUpdate(ctx, buffer.data(), buffer.size()) == 1;
}

} // namespace

std::optional<ChainKey> ChainKeyOf(X509* signer, std::span<X509* const> tokenCertificates) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::vector<unsigned char> buffer;
    bool hashed = HashCertificate(ctx.get(), signer, buffer);
    for (X509* cert : tokenCertificates)
        hashed = hashed && HashCertificate(ctx.get(), cert, buffer);
    ChainKey key{};
    unsigned int length = 0;
    if (!hashed || EVP_DigestFinal_ex(ctx.get(), key.data(), &length) != 1 ||
        length != key.size()) {
        ERR_clear_error();
        return std::nullopt;
    }
    return key;
}

std::optional<ValidityWindow> WindowAround(std::time_t at, std::span<X509* const> certificates) {
    ValidityWindow window;
    window.at = at;
    window.after = std::numeric_limits<std::time_t>::min();
    window.before = std::numeric_limits<std::time_t>::max();
    bool onBound = false;
    for (X509* cert : certificates) {
        for (const ASN1_TIME* date : {X509_get0_notBefore(cert), X509_get0_notAfter(cert)}) {
            std::time_t bound = 0;
            if (!Asn1TimeToUnix(date, bound))
                return std::nullopt;
            if (bound < at)
                window.after = std::max(window.after, bound);
            else if (bound > at)
                window.before = std::min(window.before, bound);
            else
                onBound = true;
        }
    }
    if (onBound)
        window.after = window.before = at;
    return window;
}

std::size_t ChainCache::KeyHash::operator()(const ChainKey& key) const {
    std::size_t value = 0;
    std::memcpy(&value, key.data(), sizeof value); // a SHA-256 is spread well enough
    return value;
}

std::optional<TrustChain> ChainCache::Find(const ChainSources& sources, const ChainKey& key,
                                           std::time_t genTime) const {
    const std::lock_guard lock(m_mutex);
    if (!m_sources.Same(sources))
        return std::nullopt;
    const auto found = m_chains.find(key);
    if (found == m_chains.end())
        return std::nullopt;
    for (const Entry& entry : found->second)
        if (entry.window.Holds(genTime))
            return entry.chain;
    return std::nullopt;
}

void ChainCache::Keep(const ChainSources& sources, const ChainKey& key,
                      const ValidityWindow& window, TrustChain chain) {
    const std::lock_guard lock(m_mutex);
    if (!m_sources.Same(sources) || m_nChains >= kMaxChains) {
        m_chains.clear();
        m_nChains = 0;
        m_sources = sources;
    }
    std::vector<Entry>& entries = m_chains[key];
    // Another thread may have kept the same chain meanwhile.
    for (const Entry& entry : entries)
        if (entry.window.Holds(window.at))
            return;
    entries.push_back(Entry{window, std::move(chain)});
    ++m_nChains;
}

void ChainCache::Clear() {
    const std::lock_guard lock(m_mutex);
    m_chains.clear();
    m_nChains = 0;
    m_sources = {};
}

std::size_t ChainCache::Size() const {
    const std::lock_guard lock(m_mutex);
    return m_nChains;
}

ChainCache& ProcessChainCache() {
    static ChainCache cache;
    return cache;
}

} // namespace trust
