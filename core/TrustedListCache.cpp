#include "core/TrustedListCache.h"

#include "core/TrustedListXml.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tl {

namespace {

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeDir() {
    std::string home = EnvValue("HOME");
    if (!home.empty())
        return home;
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr)
        return result->pw_dir;
    return {};
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Creates `dir` and its missing parents with mode 0700.
bool MakeDirs(const std::string& dir, std::string& error) {
    struct stat info {};
    if (stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return true;
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = ErrnoText("cannot create", part);
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

void SyncFolder(const std::string& dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)fsync(fd);
        close(fd);
    }
}

} // namespace

std::string TrustedListDir() {
    const std::string dir = EnvValue(kTlDirVariable);
    if (!dir.empty())
        return WithoutTrailingSlashes(dir);
    const std::string xdg = EnvValue("XDG_CACHE_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return WithoutTrailingSlashes(xdg) + "/mivoklient/tl";
    std::string home = WithoutTrailingSlashes(HomeDir());
    if (home == "/")
        home.clear();
    return home + "/.cache/mivoklient/tl";
}

bool IsTerritoryCode(std::string_view text) {
    return text.size() == 2 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'A' && text[1] <= 'Z';
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::span<const unsigned char> data(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              bytes.size());
    if (::WriteFileAtomically(path, data, FileMode::Document))
        return true;
    errno = static_cast<int>(GetLastError());
    error = ErrnoText("cannot write", path);
    return false;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::size_t>(info.st_size) <= kMaxListBytes;
    std::string content;
    char buffer[65536];
    while (ok) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
        ok = content.size() <= kMaxListBytes;
    }
    close(fd);
    if (ok)
        bytes = std::move(content);
    return ok;
}

std::string ListCache::XmlPath(const std::string& territory) const {
    return m_dir + "/" + territory + ".xml";
}

std::string ListCache::IndexPath(const std::string& territory) const {
    return m_dir + "/" + territory + ".idx";
}

bool ListCache::Store(const ListIndex& index, std::string_view xml, std::string& error) const {
    if (!IsTerritoryCode(index.territory)) {
        error = "not a territory code: " + index.territory.substr(0, 16);
        return false;
    }
    return MakeDirs(m_dir, error) && WriteFileAtomically(XmlPath(index.territory), xml, error) &&
           WriteFileAtomically(IndexPath(index.territory), SerializeIndex(index), error);
}

bool ListCache::Load(const std::string& territory, ListIndex& index, std::string& error) const {
    std::string bytes;
    if (!IsTerritoryCode(territory) || !ReadFileBytes(IndexPath(territory), bytes)) {
        error = "no index";
        return false;
    }
    if (!ReadIndex(bytes, index, error))
        return false;
    if (index.territory != territory) {
        error = "the index is of another territory";
        return false;
    }
    return true;
}

bool ListCache::ReadXml(const std::string& territory, std::string& xml) const {
    return IsTerritoryCode(territory) && ReadFileBytes(XmlPath(territory), xml);
}

std::vector<std::string> ListCache::Territories() const {
    std::vector<std::string> territories;
    DIR* dir = opendir(m_dir.c_str());
    if (dir == nullptr)
        return territories;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == 6 && name.compare(2, 4, ".idx") == 0 &&
            IsTerritoryCode(name.substr(0, 2)))
            territories.push_back(name.substr(0, 2));
    }
    closedir(dir);
    std::sort(territories.begin(), territories.end());
    return territories;
}

void ListCache::Remove(const std::string& territory) const {
    if (!IsTerritoryCode(territory))
        return;
    // The index first: without it the territory counts as absent.
    (void)unlink(IndexPath(territory).c_str());
    (void)unlink(XmlPath(territory).c_str());
    SyncFolder(m_dir);
}

} // namespace tl
