#include "core/TrustAnchors.h"

#include "platform/ConfigDirs.h"
#include "platform/FolderIndex.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/stat.h>

namespace trust {

namespace {

constexpr std::streamsize kMaxCertificateFile = 1024 * 1024;

using BioPtr = OpenSslPtr<BIO, BIO_free>;

bool ReadSmallFile(const std::string& path, std::string& bytes) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxCertificateFile)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::vector<X509Ptr> ParseCertificates(const std::string& bytes) {
    std::vector<X509Ptr> certificates;
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(kMaxCertificateFile))
        return certificates;
    if (bytes.find("-----BEGIN") != std::string::npos) {
        BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
        while (bio) {
            X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
            if (cert == nullptr)
                break;
            certificates.emplace_back(cert);
        }
    } else {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const unsigned char* end = p + bytes.size();
        X509* cert = d2i_X509(nullptr, &p, static_cast<long>(bytes.size()));
        // One whole certificate: bytes after it make the file something else.
        if (cert != nullptr && p == end)
            certificates.emplace_back(cert);
        else
            X509_free(cert);
    }
    ERR_clear_error();
    return certificates;
}

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::mutex g_mutex;
std::shared_ptr<const TrustAnchors> g_anchors;

} // namespace

std::vector<X509Ptr> ReadCertificateFile(const std::string& path) {
    std::string bytes;
    if (!ReadSmallFile(path, bytes))
        return {};
    return ParseCertificates(bytes);
}

bool ReadCertificateFolder(const std::string& dir, std::vector<X509Ptr>& certificates) {
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr)
        return errno == ENOENT || errno == ENOTDIR;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        for (X509Ptr& cert : ReadCertificateFile(dir + "/" + name))
            certificates.push_back(std::move(cert));
    return true;
}

std::shared_ptr<const std::vector<X509Ptr>> AddressBookCertificates() {
    using CertList = std::vector<X509Ptr>;
    static FolderIndex<CertList> index;
    const std::string dir = AddressBookDir();
    std::shared_ptr<const CertList> certs =
        index.Get(dir, [&dir]() -> std::shared_ptr<const CertList> {
            auto read = std::make_shared<CertList>();
            if (!ReadCertificateFolder(dir, *read))
                return nullptr;
            return read;
        });
    return certs ? certs : std::make_shared<const CertList>();
}

AnchorSources CurrentAnchorSources() {
    AnchorSources sources;
    const std::string only = EnvValue(kTrustDirVariable);
    if (!only.empty()) {
        sources.systemStore = false;
        sources.folders.push_back(only);
        return sources;
    }
    sources.folders.push_back(SystemConfigDir() + "/trust");
    sources.folders.push_back(UserConfigDir() + "/trust");
    return sources;
}

TrustAnchors::TrustAnchors(const AnchorSources& sources)
    : m_sources(sources), m_store(X509_STORE_new()) {
    if (!m_store)
        return;
    if (sources.systemStore)
        X509_STORE_set_default_paths(m_store.get());
    for (const std::string& dir : sources.folders) {
        std::vector<X509Ptr> certificates;
        if (!ReadCertificateFolder(dir, certificates))
            continue;
        for (const X509Ptr& cert : certificates)
            if (X509_STORE_add_cert(m_store.get(), cert.get()) == 1)
                ++m_nFolderAnchors;
    }
    ERR_clear_error();
}

std::shared_ptr<const TrustAnchors> GetTrustAnchors() {
    const AnchorSources sources = CurrentAnchorSources();
    std::lock_guard lock(g_mutex);
    if (!g_anchors || g_anchors->Sources() != sources)
        g_anchors = std::make_shared<const TrustAnchors>(sources);
    return g_anchors;
}

void RebuildTrustAnchors() {
    std::lock_guard lock(g_mutex);
    g_anchors.reset();
}

} // namespace trust
