#include "platform/AtomicFile.h"

#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Our temporary files: the prefix and a random part of letters and digits. A complete
// unnamed file gets the linked prefix for the moment between its link and its rename; its
// writer holds a lock on it from before it had a name, so an unlocked one has no writer.
constexpr std::string_view kTemporaryPrefix = ".mivoklient-";
constexpr std::string_view kLinkedPrefix = ".mivoklient-linked-";
constexpr std::size_t kRandomLength = 12;
// What earlier versions named the temporary files of a stamp and of the settings file (under
// its usual name); their leftovers are ours too.
constexpr std::string_view kEarlierPrefixes[] = {".mivoklient-stamp-", ".mivoklient.ini."};
constexpr std::size_t kEarlierRandomLength = 6;
// A temporary file unchanged for this long has no writer any more.
constexpr time_t kStaleSeconds = 60 * 60;
// Names to try before giving up when every random name is taken.
constexpr int kNameAttempts = 100;

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_fd; }
    // Closes now (or takes `fd` instead) and answers close's result.
    int Reset(int fd = -1) {
        int result = 0;
        if (m_fd >= 0) {
            result = close(m_fd);
        }
        m_fd = fd;
        return result;
    }

private:
    int m_fd;
};

bool IsAlphanumeric(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

bool IsLinkedTemporaryName(std::string_view name) {
    const std::string_view rest = name.substr(std::min(name.size(), kLinkedPrefix.size()));
    return name.starts_with(kLinkedPrefix) && rest.size() == kRandomLength && IsAlphanumeric(rest);
}

bool IsOurTemporaryName(std::string_view name) {
    if (IsLinkedTemporaryName(name)) {
        return true;
    }
    for (const std::string_view prefix : kEarlierPrefixes) {
        if (name.starts_with(prefix)) {
            const std::string_view rest = name.substr(prefix.size());
            return rest.size() == kEarlierRandomLength && IsAlphanumeric(rest);
        }
    }
    const std::string_view rest = name.substr(std::min(name.size(), kTemporaryPrefix.size()));
    return name.starts_with(kTemporaryPrefix) && rest.size() == kRandomLength &&
           IsAlphanumeric(rest);
}

std::string TemporaryName(std::string_view prefix = kTemporaryPrefix) {
    static constexpr std::string_view kAlphabet =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    unsigned char random[kRandomLength] = {};
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // No entropy yet (early boot): the names need only be unlikely to collide, and a
        // taken one is skipped anyway.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long mix = static_cast<unsigned long long>(now.tv_nsec) ^
                                 (static_cast<unsigned long long>(getpid()) << 32) ^
                                 static_cast<unsigned long long>(now.tv_sec);
        for (auto& byte : random) {
            mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string name(prefix);
    for (const unsigned char byte : random) {
        name += kAlphabet[byte % kAlphabet.size()];
    }
    return name;
}

// The temporary file `name` has no writer: nobody holds its lock. Only then is it removed,
// and only when the name still stands for the file that was locked.
void RemoveIfAbandoned(int folder, const char* name) {
    const UniqueFd fd(openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    struct stat named {};
    if (fd.Get() < 0 || flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 || fstat(fd.Get(), &opened) != 0 ||
        fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || opened.st_ino != named.st_ino ||
        opened.st_dev != named.st_dev) {
        return;
    }
    unlinkat(folder, name, 0);
}

// Removes the temporary files of ours that killed writers left in the folder: a linked one
// as soon as its writer is gone, any other once it has been unchanged for an hour (a
// writer of an earlier version held no lock). Best effort.
void RemoveStaleTemporaries(int folder) {
    const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) {
        return;
    }
    DIR* entries = fdopendir(listing);
    if (entries == nullptr) {
        close(listing);
        return;
    }
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(entries)) {
        if (!IsOurTemporaryName(entry->d_name)) {
            continue;
        }
        struct stat st {};
        if (fstatat(listing, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
            continue;
        }
        if (IsLinkedTemporaryName(entry->d_name) || now - st.st_mtime >= kStaleSeconds) {
            RemoveIfAbandoned(listing, entry->d_name);
        }
    }
    closedir(entries);
}

// Errors of an unnamed temporary file that only say the file system (or the kernel) has
// none: the named kind is used instead.
bool NoUnnamedTemporaries(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

enum class Link { Done, Exists, Unsupported, Failed };

// Gives the unnamed file `fd` the name `name` in `folder`. Failed leaves the reason in errno.
Link LinkUnnamed(int fd, int folder, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return Link::Done;
    }
    if (errno == ENOENT) {
        // No /proc: the direct way, which needs a privilege.
        if (linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) {
            return Link::Done;
        }
        if (errno == ENOENT || errno == EPERM) {
            return Link::Unsupported;
        }
    }
    return errno == EEXIST ? Link::Exists : Link::Failed;
}

class AtomicWriter {
public:
    AtomicWriter(const std::string& path, std::span<const unsigned char> data, FileMode mode,
                 AtomicWriteFailure* failure)
        : m_data(data), m_mode(mode), m_failure(failure) {
        const std::size_t slash = path.rfind('/');
        m_strFolder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        m_strName = slash == std::string::npos ? path : path.substr(slash + 1);
    }

    bool Run(TemporaryKind kind) {
        if (m_strName.empty()) {
            return Fail(AtomicWriteStep::Replace, m_strFolder == "." ? ENOENT : EISDIR);
        }
        m_folder.Reset(open(m_strFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (m_folder.Get() < 0) {
            return Fail(AtomicWriteStep::Create, errno);
        }
        RemoveStaleTemporaries(m_folder.Get());
        m_bTargetExists =
            fstatat(m_folder.Get(), m_strName.c_str(), &m_target, AT_SYMLINK_NOFOLLOW) == 0;
        if (kind == TemporaryKind::UnnamedWherePossible) {
            const std::optional<bool> written = WriteUnnamed();
            if (written) {
                return *written;
            }
        }
        return WriteNamed();
    }

private:
    mode_t CreationMode() const { return m_mode == FileMode::Settings ? 0600 : 0666; }

    bool Fail(AtomicWriteStep step, int error) {
        if (m_failure != nullptr) {
            m_failure->step = step;
        }
        SetLastError(static_cast<uint32_t>(error));
        return false;
    }

    // A settings file that is replaced keeps its mode and, where permitted, its owner.
    bool TakeOverMode(int fd) const {
        if (m_mode != FileMode::Settings || !m_bTargetExists || !S_ISREG(m_target.st_mode)) {
            return true;
        }
        if (m_target.st_uid != geteuid() || m_target.st_gid != getegid()) {
            // Only a privileged writer can give the file back to its owner.
            [[maybe_unused]] const int ignored = fchown(fd, m_target.st_uid, m_target.st_gid);
        }
        return fchmod(fd, m_target.st_mode & 07777) == 0;
    }

    // Writes all of the content and flushes it to disk; on failure errno tells why and the
    // step is noted.
    bool WriteContent(int fd) {
        std::size_t done = 0;
        while (done < m_data.size()) {
            const std::size_t chunk = std::min<std::size_t>(m_data.size() - done, SSIZE_MAX);
            const ssize_t n = write(fd, m_data.data() + done, chunk);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                if (n == 0) {
                    errno = EIO;
                }
                if (m_failure != nullptr) {
                    m_failure->written = done;
                }
                m_step = AtomicWriteStep::Write;
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        if (fsync(fd) != 0) {
            m_step = AtomicWriteStep::Flush;
            return false;
        }
        return true;
    }

    // The file has its name: make that durable. Best effort, since some file systems
    // cannot sync a folder and the new file is complete and in place already.
    bool SyncFolder() const {
        const UniqueFd folder(openat(m_folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.Get() >= 0) {
            fsync(folder.Get());
        }
        return true;
    }

    // Answers the result, or nullopt when the file system has no unnamed temporary files
    // and the named kind is to be used.
    std::optional<bool> WriteUnnamed() {
        const UniqueFd fd(
            openat(m_folder.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, CreationMode()));
        if (fd.Get() < 0) {
            if (NoUnnamedTemporaries(errno)) {
                return std::nullopt;
            }
            return Fail(AtomicWriteStep::Create, errno);
        }
        // Held until the file has its final name: a cleaner in the folder then knows that
        // its temporary name belongs to a live writer.
        if (flock(fd.Get(), LOCK_EX) != 0 || !TakeOverMode(fd.Get())) {
            return Fail(AtomicWriteStep::Create, errno);
        }
        if (!WriteContent(fd.Get())) {
            return Fail(m_step, errno);
        }
        // A new file takes its name at once; an existing one can only be replaced by a rename.
        if (!m_bTargetExists) {
            switch (LinkUnnamed(fd.Get(), m_folder.Get(), m_strName)) {
            case Link::Done:
                return SyncFolder();
            case Link::Unsupported:
                return std::nullopt;
            case Link::Failed:
                return Fail(AtomicWriteStep::Replace, errno);
            case Link::Exists:
                break; // made meanwhile: replace it
            }
        }
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            const std::string temporary = TemporaryName(kLinkedPrefix);
            switch (LinkUnnamed(fd.Get(), m_folder.Get(), temporary)) {
            case Link::Done:
                return Rename(temporary);
            case Link::Unsupported:
                return std::nullopt;
            case Link::Failed:
                return Fail(AtomicWriteStep::Create, errno);
            case Link::Exists:
                break;
            }
        }
        return Fail(AtomicWriteStep::Create, EEXIST);
    }

    bool WriteNamed() {
        UniqueFd fd;
        std::string temporary;
        for (int attempt = 0; attempt < kNameAttempts && fd.Get() < 0; ++attempt) {
            temporary = TemporaryName();
            fd.Reset(openat(m_folder.Get(), temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, CreationMode()));
            if (fd.Get() < 0 && errno != EEXIST) {
                return Fail(AtomicWriteStep::Create, errno);
            }
        }
        if (fd.Get() < 0) {
            return Fail(AtomicWriteStep::Create, EEXIST);
        }
        const auto discard = [&](AtomicWriteStep step) {
            const int error = errno;
            fd.Reset();
            unlinkat(m_folder.Get(), temporary.c_str(), 0);
            return Fail(step, error);
        };
        if (flock(fd.Get(), LOCK_EX) != 0 || !TakeOverMode(fd.Get())) {
            return discard(AtomicWriteStep::Create);
        }
        if (!WriteContent(fd.Get())) {
            return discard(m_step);
        }
        if (fd.Reset() != 0) {
            return discard(AtomicWriteStep::Flush);
        }
        return Rename(temporary);
    }

    // Renames our temporary file over the target; on failure the temporary file goes.
    bool Rename(const std::string& temporary) {
        if (renameat(m_folder.Get(), temporary.c_str(), m_folder.Get(), m_strName.c_str()) != 0) {
            const int error = errno;
            unlinkat(m_folder.Get(), temporary.c_str(), 0);
            return Fail(AtomicWriteStep::Replace, error);
        }
        return SyncFolder();
    }

    std::span<const unsigned char> m_data;
    FileMode m_mode;
    AtomicWriteFailure* m_failure;
    std::string m_strFolder;
    std::string m_strName;
    UniqueFd m_folder;
    bool m_bTargetExists = false;
    struct stat m_target {};
    AtomicWriteStep m_step = AtomicWriteStep::None;
};

} // namespace

bool WriteFileAtomically(const std::string& path, std::span<const unsigned char> data,
                         FileMode mode, AtomicWriteFailure* failure, TemporaryKind kind) {
    if (failure != nullptr) {
        *failure = AtomicWriteFailure{};
    }
    return AtomicWriter(path, data, mode, failure).Run(kind);
}
