// The anchors that the trust evaluation accepts, gathered once per process:
//
//   - the system's CA store (OpenSSL's default file and folder),
//   - the administrator's folder  SystemConfigDir()/trust  (/etc/mivoklient/trust),
//   - the user's folder           UserConfigDir()/trust    ($XDG_CONFIG_HOME/mivoklient/trust),
//
// each folder holding PEM (one or more certificates) or DER files. When MIVOKLIENT_TRUST_DIR
// is set, its folder replaces all three: for administrators who want only their own
// anchors, and for tests. Files that hold no certificate and folders that cannot be read
// are passed over: they add no anchor, they never make anything trusted.
//
// The store is built at first use and then shared, read-only, by every evaluation on any
// thread. RebuildTrustAnchors drops it after the folders changed (an anchor added or
// removed); a changed MIVOKLIENT_TRUST_DIR is noticed by itself.
#pragma once

#include "platform/OpenSslPtr.h"

#include <openssl/x509.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

inline constexpr char kTrustDirVariable[] = "MIVOKLIENT_TRUST_DIR";

namespace trust {

using X509Ptr = OpenSslPtr<X509, X509_free>;
using X509StorePtr = OpenSslPtr<X509_STORE, X509_STORE_free>;

// Every certificate of the file: PEM with one or more certificates, or one DER certificate.
// Empty for a file that cannot be read or holds no certificate. Files above 1 MiB are
// not read (no certificate file is that large).
std::vector<X509Ptr> ReadCertificateFile(const std::string& path);

// Every certificate of every regular file directly in `dir`, files in name order. False
// (with nothing added) when the folder cannot be read; a missing folder is an empty one.
bool ReadCertificateFolder(const std::string& dir, std::vector<X509Ptr>& certificates);

// ReadCertificateFolder of the user's address book (AddressBookDir()), read once and again
// only when the folder changed (platform/FolderIndex.h). Empty when it cannot be read.
std::shared_ptr<const std::vector<X509Ptr>> AddressBookCertificates();

// Where the anchors come from, as the environment says now.
struct AnchorSources {
    bool systemStore = true;
    std::vector<std::string> folders;

    bool operator==(const AnchorSources&) const = default;
};
AnchorSources CurrentAnchorSources();

class TrustAnchors {
public:
    explicit TrustAnchors(const AnchorSources& sources);
    TrustAnchors(const TrustAnchors&) = delete;
    TrustAnchors& operator=(const TrustAnchors&) = delete;

    // For X509_STORE_CTX_init; the store must not be changed.
    X509_STORE* Store() const { return m_store.get(); }
    const AnchorSources& Sources() const { return m_sources; }
    // Anchors read from the folders (the system store's are looked up when needed).
    std::size_t FolderAnchorCount() const { return m_nFolderAnchors; }

private:
    AnchorSources m_sources;
    X509StorePtr m_store;
    std::size_t m_nFolderAnchors = 0;
};

// The process's anchors; built at first use (thread-safe) and again when the sources in
// the environment changed since.
std::shared_ptr<const TrustAnchors> GetTrustAnchors();

// Drops the anchors, so that the next GetTrustAnchors reads the folders again. Evaluations
// running meanwhile keep the store they started with.
void RebuildTrustAnchors();

} // namespace trust
