#include "ui/TsaCertificateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

uint16_t g_nCertificateCounter = 0;

std::vector<std::string>& KeptFiles() {
    static std::vector<std::string> files;
    return files;
}

bool WriteAll(int fd, std::span<const unsigned char> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string TemporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

uint16_t TsaCertificateCounter() {
    return g_nCertificateCounter;
}

void SetTsaCertificateCounter(uint16_t value) {
    g_nCertificateCounter = value;
}

std::string WriteTsaCertificateFile(const std::string& folder, std::span<const unsigned char> der) {
    const uint16_t start = g_nCertificateCounter;
    std::string path;
    int fd = -1;
    do {
        char name[16];
        std::snprintf(name, sizeof name, "TSA%04X.cer",
                      static_cast<unsigned>(g_nCertificateCounter));
        ++g_nCertificateCounter; // wraps at 16 bits
        path = folder + "/" + name;
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        // Only a name that is taken is worth the next try; any other failure ends the search.
        if (fd < 0 && errno != EEXIST)
            return {};
    } while (fd < 0 && g_nCertificateCounter != start);
    if (fd < 0)
        return {};
    const bool written = WriteAll(fd, der);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

void KeepTsaCertificateFile(const std::string& path) {
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(RemoveTsaCertificateFiles); });
    KeptFiles().push_back(path);
}

void RemoveTsaCertificateFiles() {
    for (const std::string& path : KeptFiles())
        ::unlink(path.c_str());
    KeptFiles().clear();
}
