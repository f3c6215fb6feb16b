#include "platform/ConfigDirs.h"

#include "platform/LastError.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string HomeDir() {
    std::string home = EnvValue("HOME");
    if (!home.empty()) {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return {};
}

} // namespace

std::string UserConfigDir() {
    std::string dir = EnvValue("MIVOKLIENT_CONFIG_DIR");
    if (!dir.empty()) {
        return WithoutTrailingSlashes(dir);
    }
    // As the XDG base directory rules say: a relative XDG_CONFIG_HOME is invalid, ignore it.
    std::string xdg = EnvValue("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') {
        return WithoutTrailingSlashes(xdg) + "/mivoklient";
    }
    std::string home = WithoutTrailingSlashes(HomeDir());
    if (home == "/") {
        home.clear();
    }
    return home + "/.config/mivoklient";
}

bool EnsureUserConfigDir() {
    const std::string dir = UserConfigDir();
    // Create each missing component from the root down.
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') {
            continue;
        }
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0700) == 0) {
            continue;
        }
        const int error = errno;
        struct stat st {};
        if (error == EEXIST && stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            continue;
        }
        SetLastError(static_cast<uint32_t>(error == EEXIST ? ENOTDIR : error));
        return false;
    }
    return true;
}

std::string SystemConfigDir() {
    std::string dir = EnvValue("MIVOKLIENT_SYSCONF_DIR");
    if (!dir.empty()) {
        return WithoutTrailingSlashes(dir);
    }
    return "/etc/mivoklient";
}

std::string UserIniPath() {
    return UserConfigDir() + "/" + kIniFileName;
}

std::string AddressBookDir() {
    return UserConfigDir() + "/addressbook";
}
