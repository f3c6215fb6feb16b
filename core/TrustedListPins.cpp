#include "core/TrustedListPins.h"

#include "core/TrustedListCache.h"
#include "platform/ConfigDirs.h"
#include "platform/OpenSslPtr.h"
#include "support/SupportFunctions.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace tl {

namespace {

using X509Ptr = OpenSslPtr<X509, X509_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free>;

constexpr char kSignerFolder[] = "lotl-signers";

Blob DerOf(X509* cert) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(cert, &bytes);
    Blob der = length > 0 ? Blob(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(length))
                          : Blob();
    OPENSSL_free(bytes);
    return der;
}

// Every PEM certificate in `bytes`, else the one DER certificate that `bytes` is.
void CertificatesOf(const std::string& bytes, std::vector<Blob>& out) {
    BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    bool found = false;
    while (bio) {
        X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
        if (!cert)
            break;
        out.push_back(DerOf(cert.get()));
        found = true;
    }
    ERR_clear_error();
    if (found)
        return;
    const auto* der = reinterpret_cast<const unsigned char*>(bytes.data());
    X509Ptr cert(d2i_X509(nullptr, &der, static_cast<long>(bytes.size())));
    if (cert && der == reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size())
        out.push_back(DerOf(cert.get()));
    ERR_clear_error();
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::vector<Blob> ReadCertificatesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* folder = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(folder))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    std::vector<Blob> certificates;
    for (const std::string& name : names) {
        std::string bytes;
        if (ReadFileBytes(dir + "/" + name, bytes))
            CertificatesOf(bytes, certificates);
    }
    return certificates;
}

std::vector<std::string> LotlSignerDirs() {
    std::vector<std::string> dirs;
    std::string programDir;
    ModuleDirectory(programDir);
    for (const std::string& candidate :
         {programDir + "/" + kSignerFolder, programDir + "/../share/mivoklient/" + kSignerFolder}) {
        if (IsFolder(candidate)) {
            dirs.push_back(candidate);
            break;
        }
    }
    dirs.push_back(SystemConfigDir() + "/" + kSignerFolder);
    return dirs;
}

std::vector<Blob> ProgramLotlPins() {
    std::vector<Blob> pins;
    for (const std::string& dir : LotlSignerDirs())
        for (Blob& cert : ReadCertificatesIn(dir))
            if (std::find(pins.begin(), pins.end(), cert) == pins.end())
                pins.push_back(std::move(cert));
    return pins;
}

} // namespace tl
