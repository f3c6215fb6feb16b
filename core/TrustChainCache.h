// Chains to an anchor, kept for the stamps that follow: a TSA signs many stamps with one
// certificate, and building and verifying its chain again for each of them would be most
// of the time that the trust verdict takes. Private to the trust evaluation.
//
// A kept chain is given again only for the same inputs of its building:
//   - the same signer and the same certificates carried in the token, in their order (a
//     SHA-256 of their encodings),
//   - the same anchors and the same address book (the very objects that the process holds
//     for them; new ones, after a folder changed or the anchors were rebuilt, drop every
//     kept chain),
//   - a generation time within the span around the first one in which no certificate that
//     the building looked at (those of the chain, and every certificate of the token, of
//     the address book and among the anchors that bears the name of an issuer in the
//     chain) becomes or ceases to be valid: within it the building takes the same steps.
// Only chains that were built are kept; a signer that leads nowhere is tried again every
// time. Revocation is not part of a chain: it is judged for every stamp.
#pragma once

#include "core/TrustAnchors.h"

#include <openssl/x509.h>

#include <array>
#include <cstddef>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace trust {

// The signer's way to an anchor, signer first.
struct TrustChain {
    std::vector<X509*> certs;
    std::shared_ptr<const void> owner; // holds the certificates of `certs`, when they are ours
    bool lastIsAnchor = false;
    std::string anchor;
    bool expired = false;
    bool notYetValid = false;
};

using ChainKey = std::array<unsigned char, 32>;

// The key of the signer with the token's certificates; nullopt when one cannot be encoded.
std::optional<ChainKey> ChainKeyOf(X509* signer, std::span<X509* const> tokenCertificates);

// Generation times at which every certificate of a set is valid or not as at `at`: `at`
// itself and the seconds strictly between the nearest validity bounds below and above it
// (a bound is a notBefore or notAfter of one of them). When `at` is itself a bound, `at`
// alone.
struct ValidityWindow {
    std::time_t at = 0;
    std::time_t after = 0;
    std::time_t before = 0;

    bool Holds(std::time_t t) const { return t == at || (after < t && t < before); }
};

// The window of `certificates` around `at`; nullopt when a validity date cannot be read.
std::optional<ValidityWindow> WindowAround(std::time_t at, std::span<X509* const> certificates);

// What a chain was built from besides the token: the anchors and the address book.
struct ChainSources {
    std::shared_ptr<const TrustAnchors> anchors;
    std::shared_ptr<const std::vector<X509Ptr>> addressBook;

    bool Same(const ChainSources& o) const {
        return anchors == o.anchors && addressBook == o.addressBook;
    }
};

// Safe to use from several threads at once.
class ChainCache {
public:
    // Beyond it, every kept chain is dropped before a new one is kept.
    static constexpr std::size_t kMaxChains = 256;

    // The chain kept for `key`, built from `sources`, whose window holds `genTime`.
    std::optional<TrustChain> Find(const ChainSources& sources, const ChainKey& key,
                                   std::time_t genTime) const;
    // Keeps `chain`, built from `sources` for `key` at a time that `window` is around.
    void Keep(const ChainSources& sources, const ChainKey& key, const ValidityWindow& window,
              TrustChain chain);
    void Clear();
    std::size_t Size() const;

private:
    struct Entry {
        ValidityWindow window;
        TrustChain chain;
    };
    struct KeyHash {
        std::size_t operator()(const ChainKey& key) const;
    };

    mutable std::mutex m_mutex;
    ChainSources m_sources;
    std::unordered_map<ChainKey, std::vector<Entry>, KeyHash> m_chains;
    std::size_t m_nChains = 0;
};

// The process's chains.
ChainCache& ProcessChainCache();

} // namespace trust
