#include "platform/SharedMemory.h"

#include "platform/LastError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A file descriptor that is closed unless released.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Every descriptor is close-on-exec: a program that we start (a browser for the help page)
// must not inherit our holder claim or our lock and outlive us with it.
int OpenFile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        SetLastError(static_cast<uint32_t>(errno));
    return fd;
}

int Flock(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// A folder only this user can enter: it must be ours, a real folder and closed to others.
bool IsPrivateDir(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        return false;
    return true;
}

} // namespace

CNamedMutex::CNamedMutex(const std::string& path, bool initialOwner) : m_nFd(OpenFile(path)) {
    if (m_nFd >= 0 && initialOwner)
        Lock();
}

CNamedMutex::~CNamedMutex() {
    if (m_nFd >= 0)
        ::close(m_nFd); // closing releases a lock still held
}

void CNamedMutex::Lock() {
    if (m_nFd >= 0)
        (void)Flock(m_nFd, LOCK_EX);
}

void CNamedMutex::Unlock() {
    if (m_nFd >= 0)
        (void)Flock(m_nFd, LOCK_UN);
}

CSharedMemory::~CSharedMemory() {
    Close();
}

std::string CSharedMemory::RuntimeDir() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/') {
        struct stat st {};
        if (::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode))
            return xdg;
    }
    const std::string dir = "/tmp/mivoklient-" + std::to_string(::geteuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        SetLastError(static_cast<uint32_t>(errno));
        return {};
    }
    if (!IsPrivateDir(dir)) {
        SetLastError(EACCES);
        return {};
    }
    return dir;
}

std::string CSharedMemory::NoticeSocketPath(const std::string& name) {
    const std::string dir = RuntimeDir();
    if (dir.empty() || !IsPlainName(name))
        return {};
    std::string path = dir + "/" + name + ".notice";
    if (path.size() >= sizeof(sockaddr_un{}.sun_path))
        return {};
    return path;
}

bool CSharedMemory::PostNotice(const std::string& name, uint32_t word) {
    const std::string path = NoticeSocketPath(name);
    if (path.empty())
        return false;
    Fd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (sock.Get() < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(sock.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return false;
    const char* bytes = reinterpret_cast<const char*>(&word);
    std::size_t sent = 0;
    while (sent < sizeof(word)) {
        const ssize_t n = ::send(sock.Get(), bytes + sent, sizeof(word) - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool CSharedMemory::Create(uint32_t size, const std::string& name) {
    if (m_pData != nullptr || size == 0)
        return false;
    const std::string dir = RuntimeDir();
    if (dir.empty() || !IsPlainName(name)) {
        // Nobody can have a block we cannot even name: run as its holder, without it.
        m_bCreated = true;
        return false;
    }
    const std::string base = dir + "/" + name;

    // The lock is taken first, so that finding out who holds the block, resetting a stale
    // block and mapping it happen as one step for every process.
    auto mutex = std::make_unique<CNamedMutex>(dir + "/mutex:" + name, true);

    Fd holder(OpenFile(base + ".holder"));
    if (holder.Get() < 0) {
        m_bCreated = true;
    } else if (Flock(holder.Get(), LOCK_EX | LOCK_NB) == 0) {
        m_bCreated = true;
    } else {
        m_bCreated = false;
        ::close(holder.Release());
    }
    if (!mutex->IsValid())
        return false;

    Fd block(OpenFile(base));
    if (block.Get() < 0)
        return false;
    struct stat st {};
    if (::fstat(block.Get(), &st) != 0)
        return false;
    // A block left by a process that died is stale: its holder starts from zeros. Any
    // process makes sure the file is long enough to map (reading past its end would fault).
    if ((m_bCreated && ::ftruncate(block.Get(), 0) != 0) ||
        ((m_bCreated || st.st_size < static_cast<off_t>(size)) &&
         ::ftruncate(block.Get(), static_cast<off_t>(size)) != 0)) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, block.Get(), 0);
    if (view == MAP_FAILED) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }

    m_nSize = size;
    m_strName = name;
    m_pMutex = std::move(mutex);
    m_hMapping = block.Release();
    m_nHolderFd = holder.Release();
    m_pData = static_cast<unsigned char*>(view);
    m_pMutex->Unlock();
    return true;
}

bool CSharedMemory::Read(void* destination, uint32_t length, uint32_t offset) {
    if (m_hMapping < 0 || m_pMutex == nullptr || m_pData == nullptr)
        return false;
    if (offset > m_nSize || length > m_nSize - offset)
        return false;
    Lock();
    std::memcpy(destination, m_pData + offset, length);
    Unlock();
    return true;
}

void CSharedMemory::Lock() {
    if (m_pMutex != nullptr)
        m_pMutex->Lock();
}

void CSharedMemory::Unlock() {
    if (m_pMutex != nullptr)
        m_pMutex->Unlock();
}

void CSharedMemory::Close() {
    if (m_pData != nullptr && m_nSize != 0)
        ::munmap(m_pData, m_nSize);
    m_pData = nullptr;
    m_pMutex.reset();
    if (m_hMapping >= 0)
        ::close(m_hMapping);
    m_hMapping = -1;
    if (m_nHolderFd >= 0)
        ::close(m_nHolderFd); // gives up the claim: the next process becomes the holder
    m_nHolderFd = -1;
    m_nSize = 0;
    m_strName.clear();
    m_bCreated = false;
}
