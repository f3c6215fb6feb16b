// The INI files on disk: reading a value, reading a whole file once, writing under the
// writers' lock.
#include "platform/Profile.h"

#include "platform/AtomicFile.h"
#include "platform/ConfigDirs.h"
#include "platform/LastError.h"
#include "platform/ProfileSyntax.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace profile_syntax;

namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_fd; }
    // Closes now and answers close's result.
    int Reset() {
        int result = 0;
        if (m_fd >= 0) {
            result = close(m_fd);
            m_fd = -1;
        }
        return result;
    }

private:
    int m_fd;
};

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file. Missing: the file does not exist. Failed: `error` tells why.
ReadResult ReadFileText(const std::string& path, std::string& text, int& error) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        error = errno;
        return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0) {
        error = errno;
        return ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return ReadResult::Failed;
    }
    std::string result;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return ReadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        result.append(buffer, static_cast<std::size_t>(n));
    }
    text = std::move(result);
    return ReadResult::Ok;
}

// The path whose file is replaced: the target of a symbolic link, else the path itself.
std::string ReplaceTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                         &std::free);
        if (real) {
            return real.get();
        }
    }
    return path;
}

} // namespace

std::string ResolveProfilePath(const std::string& file) {
    if (file.find('/') == std::string::npos) {
        return SystemConfigDir() + "/" + file;
    }
    return file;
}

std::size_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string& value,
                                    std::size_t size, const std::string& file) {
    if (size == 0) {
        value.clear();
        return 0;
    }
    std::string_view result = defaultValue;
    while (!result.empty() && IsBlank(result.back())) {
        result.remove_suffix(1);
    }
    std::string text;
    std::optional<std::string> found;
    int error = 0;
    if (!file.empty() && ReadFileText(ResolveProfilePath(file), text, error) == ReadResult::Ok) {
        found = ProfileText(std::move(text)).Find(section, key);
        if (found) {
            result = StripQuotes(*found);
        }
    }
    // Every reader of these values treats them as C texts.
    result = result.substr(0, result.find('\0'));
    value.assign(CutUtf8(result, size - 1));
    return value.size();
}

ProfileSnapshot::ProfileSnapshot(const std::string& file) {
    std::string text;
    int error = 0;
    if (file.empty() || ReadFileText(ResolveProfilePath(file), text, error) != ReadResult::Ok) {
        return;
    }
    const ProfileText profile(std::move(text));
    std::unordered_map<std::string, std::size_t> firstHeader;
    std::size_t current = std::string::npos;
    bool reachable = false;
    std::string sectionKey;
    for (std::size_t i = 0; i < profile.m_lines.size(); ++i) {
        const auto& line = profile.m_lines[i];
        if (line.kind == ProfileText::LineKind::Section) {
            current = i;
            sectionKey = LowerName(profile.Name(line));
            // Only the first section of a name is ever read.
            reachable = firstHeader.emplace(sectionKey, i).second;
        } else if (line.kind == ProfileText::LineKind::Key && current != std::string::npos &&
                   reachable) {
            m_values.emplace(sectionKey + '\0' + LowerName(profile.Name(line)),
                             std::string(profile.Value(line)));
        }
    }
}

std::size_t ProfileSnapshot::Get(std::string_view section, std::string_view key,
                                 std::string_view defaultValue, std::string& value,
                                 std::size_t size) const {
    if (size == 0) {
        value.clear();
        return 0;
    }
    std::string_view result = defaultValue;
    while (!result.empty() && IsBlank(result.back())) {
        result.remove_suffix(1);
    }
    const auto it = m_values.find(LowerName(Trim(section)) + '\0' + LowerName(Trim(key)));
    if (it != m_values.end()) {
        result = StripQuotes(it->second);
    }
    result = result.substr(0, result.find('\0'));
    value.assign(CutUtf8(result, size - 1));
    return value.size();
}

bool ReadProfileFile(const std::string& file, ProfileText& profile, bool& exists) {
    exists = false;
    if (file.empty()) {
        profile = ProfileText();
        return true;
    }
    std::string text;
    int error = 0;
    switch (ReadFileText(ResolveProfilePath(file), text, error)) {
    case ReadResult::Ok:
        exists = true;
        profile = ProfileText(std::move(text));
        return true;
    case ReadResult::Missing:
        profile = ProfileText();
        return true;
    case ReadResult::Failed:
        break;
    }
    SetLastError(static_cast<uint32_t>(error));
    return false;
}

namespace {

// The exclusive lock of every writer of one profile file, held from the read to the rename.
class ProfileLock {
public:
    // Waits for the lock on `path` + ".lock". Without a lock file that can be opened (a
    // read-only folder) the holder goes on unlocked: its write fails for the same reason.
    explicit ProfileLock(const std::string& path) {
        const std::string lockPath = path + ".lock";
        m_fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            m_fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (m_fd < 0) {
            return;
        }
        // Polled rather than waited for, so that a writer stopped while it holds the lock
        // (a process in a debugger, a frozen window) cannot freeze ours.
        constexpr int kWaitMs = 10000;
        int slept = 0;
        for (useconds_t pause = 200;; pause = std::min<useconds_t>(pause * 2, 20000)) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return; // a file system without locks: as without a lock file
            }
            if (slept >= kWaitMs * 1000) {
                m_bTimedOut = true;
                return;
            }
            usleep(pause);
            slept += static_cast<int>(pause);
        }
    }
    ~ProfileLock() {
        if (m_fd >= 0) {
            close(m_fd); // releases the lock
        }
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

    // Another writer kept the lock for the whole wait.
    bool TimedOut() const { return m_bTimedOut; }

private:
    int m_fd = -1;
    bool m_bTimedOut = false;
};

} // namespace

bool EditPrivateProfileFile(const std::string& file,
                            const std::function<ProfileEdit(ProfileText&, bool)>& edit) {
    if (file.empty()) {
        SetLastError(EINVAL);
        return false;
    }
    const std::string path = ReplaceTarget(ResolveProfilePath(file));
    const ProfileLock lock(path);
    if (lock.TimedOut()) {
        SetLastError(EAGAIN);
        return false;
    }
    std::string old;
    int error = 0;
    const ReadResult read = ReadFileText(path, old, error);
    if (read == ReadResult::Failed) {
        SetLastError(static_cast<uint32_t>(error));
        return false;
    }
    const bool exists = read == ReadResult::Ok;
    ProfileText profile(std::move(old));
    switch (edit(profile, exists)) {
    case ProfileEdit::Refused:
        SetLastError(EINVAL);
        return false;
    case ProfileEdit::Unchanged:
        return true;
    case ProfileEdit::Changed:
        break;
    }
    const std::string& text = profile.Text();
    return WriteFileAtomically(path,
                               {reinterpret_cast<const unsigned char*>(text.data()), text.size()},
                               FileMode::Settings);
}

bool WritePrivateProfileEntries(const char* section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::string& file) {
    if (section == nullptr) {
        SetLastError(EINVAL);
        return false;
    }
    return EditPrivateProfileFile(file, [&](ProfileText& profile, bool exists) {
        const std::string old = profile.Text();
        if (!profile.SetMany(section, entries))
            return ProfileEdit::Refused;
        return exists && profile.Text() == old ? ProfileEdit::Unchanged : ProfileEdit::Changed;
    });
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
    if (section == nullptr) {
        SetLastError(EINVAL);
        return false;
    }
    return EditPrivateProfileFile(file, [&](ProfileText& profile, bool exists) {
        const std::string old = profile.Text();
        if (key == nullptr) {
            profile.DeleteSection(section);
        } else if (value == nullptr) {
            profile.DeleteKey(section, key);
        } else if (!profile.Set(section, key, value)) {
            return ProfileEdit::Refused;
        }
        // Nothing to change, or nothing to delete in a missing file.
        if (profile.Text() == old && (exists || key == nullptr || value == nullptr))
            return ProfileEdit::Unchanged;
        return ProfileEdit::Changed;
    });
}
