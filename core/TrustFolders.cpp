#include "core/TrustFolders.h"

#include "core/TimeStampPart.h"
#include "core/TrustChecks.h"
#include "core/TrustToken.h"
#include "platform/AtomicFile.h"
#include "platform/ConfigDirs.h"
#include "platform/LastError.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace trust;

namespace {

using BioPtr = OpenSslPtr<BIO, BIO_free>;

// No certificate is larger; the anchor folders do not read larger files either.
constexpr std::size_t kMaxCertificateBytes = 1024 * 1024;

bool Fail(int error) {
    SetLastError(static_cast<uint32_t>(error));
    return false;
}

// Creates `dir` and any missing parent with mode 0700; existing folders stay as they are.
bool MakeFolders(const std::string& dir) {
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0700) == 0)
            continue;
        const int error = errno;
        struct stat st {};
        if (error == EEXIST && stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        return Fail(error == EEXIST ? ENOTDIR : error);
    }
    return true;
}

// Writes `dir`/`name` through the program's atomic writer, so that the name holds the old
// bytes or the new ones.
bool WriteFileAtomically(const std::string& dir, const std::string& name,
                         const std::string& bytes) {
    const std::span<const unsigned char> data(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              bytes.size());
    return ::WriteFileAtomically(dir + "/" + name, data, FileMode::Document);
}

std::string Pem(std::span<X509* const> certificates) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    for (X509* cert : certificates)
        if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1)
            return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

// With `pairs`: upper-case hex pairs joined by ":"; without: plain lower-case hex.
std::string Fingerprint(X509* cert, bool pairs) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) != 1)
        return {};
    static const char kUpper[] = "0123456789ABCDEF";
    static const char kLower[] = "0123456789abcdef";
    const char* digits = pairs ? kUpper : kLower;
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (pairs && i > 0)
            text += ':';
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 0x0F];
    }
    return text;
}

bool StoreCertificate(const std::string& dir, X509* cert, std::string& path) {
    const std::string name = Fingerprint(cert, false);
    X509* only[] = {cert};
    const std::string pem = Pem(only);
    if (name.empty() || pem.empty())
        return Fail(EINVAL);
    if (!MakeFolders(dir) || !WriteFileAtomically(dir, name + ".pem", pem))
        return false;
    path = dir + "/" + name + ".pem";
    return true;
}

struct Entry {
    TrustedCertificate listed;
    std::size_t position = 0; // of the certificate in its file
};

bool ListEntries(std::vector<Entry>& entries) {
    const std::string dir = WritableTrustDir();
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr)
        return errno == ENOENT || Fail(errno);
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string file = dir + "/" + name;
        std::vector<X509Ptr> certificates = ReadCertificateFile(file);
        for (std::size_t i = 0; i < certificates.size(); ++i) {
            X509* cert = certificates[i].get();
            entries.push_back(
                {{NameText(X509_get_subject_name(cert)), Fingerprint(cert, true), file}, i});
        }
    }
    return true;
}

} // namespace

std::string WritableTrustDir() {
    const char* only = std::getenv(kTrustDirVariable);
    if (only != nullptr && *only != '\0')
        return only;
    return UserConfigDir() + "/trust";
}

bool AddTrustAnchor(X509* cert, std::string& path) {
    if (cert == nullptr)
        return Fail(EINVAL);
    const bool stored = StoreCertificate(WritableTrustDir(), cert, path);
    RebuildTrustAnchors();
    return stored;
}

bool AddTrustAnchorBytes(std::span<const unsigned char> bytes, std::string& path) {
    if (bytes.size() > kMaxCertificateBytes)
        return Fail(EINVAL);
    std::string temporary(bytes.begin(), bytes.end());
    BioPtr bio(BIO_new_mem_buf(temporary.data(), static_cast<int>(temporary.size())));
    X509Ptr cert;
    if (bio && temporary.find("-----BEGIN") != std::string::npos) {
        cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    } else if (!bytes.empty()) {
        const unsigned char* p = bytes.data();
        cert.reset(d2i_X509(nullptr, &p, static_cast<long>(bytes.size())));
    }
    ERR_clear_error();
    if (!cert)
        return Fail(EINVAL);
    return AddTrustAnchor(cert.get(), path);
}

bool ListTrustAnchors(std::vector<TrustedCertificate>& list) {
    std::vector<Entry> entries;
    if (!ListEntries(entries))
        return false;
    list.clear();
    for (Entry& entry : entries)
        list.push_back(std::move(entry.listed));
    return true;
}

bool RemoveTrustAnchor(std::size_t index) {
    std::vector<Entry> entries;
    if (!ListEntries(entries))
        return false;
    if (index >= entries.size())
        return Fail(ERANGE);
    const Entry& entry = entries[index];
    std::vector<X509Ptr> certificates = ReadCertificateFile(entry.listed.file);
    std::vector<X509*> kept;
    for (std::size_t i = 0; i < certificates.size(); ++i)
        if (i != entry.position)
            kept.push_back(certificates[i].get());
    bool ok = true;
    if (kept.empty()) {
        ok = unlink(entry.listed.file.c_str()) == 0 || Fail(errno);
    } else {
        const std::size_t slash = entry.listed.file.rfind('/');
        ok = WriteFileAtomically(entry.listed.file.substr(0, slash),
                                 entry.listed.file.substr(slash + 1), Pem(kept));
    }
    RebuildTrustAnchors();
    return ok;
}

bool AddToAddressBook(X509* cert, std::string& path) {
    if (cert == nullptr)
        return Fail(EINVAL);
    if (!EnsureUserConfigDir())
        return false;
    return StoreCertificate(AddressBookDir(), cert, path);
}

TrustedCertificate DescribeCertificate(X509* cert) {
    if (cert == nullptr)
        return {};
    return {NameText(X509_get_subject_name(cert)), Fingerprint(cert, true), {}};
}

X509Ptr StampChainTop(const CTimeStampPart& part) {
    const PCCERT_CONTEXT signer = part.SignerCertificate();
    TokenContents token;
    if (signer == nullptr || signer->Cert() == nullptr ||
        !ReadTokenContents(part.Token(), {signer->Cert(), signer->Encoded()}, token))
        return nullptr;
    const std::shared_ptr<const std::vector<X509Ptr>> addressBook = AddressBookCertificates();
    std::vector<X509*> candidates;
    for (const X509Ptr& cert : token.certificates)
        candidates.push_back(cert.get());
    for (const X509Ptr& cert : *addressBook)
        candidates.push_back(cert.get());
    X509* top = signer->Cert();
    for (int depth = 0; depth < kMaxChainDepth; ++depth) {
        X509* issuer = FindIssuer(top, candidates);
        if (issuer == nullptr)
            break;
        top = issuer;
    }
    ERR_clear_error();
    return X509_up_ref(top) == 1 ? X509Ptr(top) : nullptr;
}
