#include "support/SupportFunctions.h"

#include "platform/LastError.h"
#include "platform/ModulePath.h"
#include "platform/Url.h"
#include "platform/VersionRecord.h"
#include "support/Messages.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

void GetProductVersion(const std::string& path, std::string& text) {
    VersionInfo info;
    if (path.empty() || !ReadVersionRecord(path, info)) {
        return;
    }
    for (std::string_view block : {kVersionBlockCzech, kVersionBlockUsEnglish}) {
        if (const std::string* version = info.FindString(block, "ProductVersion")) {
            text = *version;
            return;
        }
    }
    if (info.hasFixedInfo) {
        text =
            FormatText("%u.%u.%u.%u", info.productVersionMS >> 16, info.productVersionMS & 0xFFFF,
                       info.productVersionLS >> 16, info.productVersionLS & 0xFFFF);
    }
}

void SplitPath(const std::string& path, std::string& directory, std::string& name) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return;
    }
    directory = path.substr(0, slash);
    if (slash + 1 < path.size()) {
        name = path.substr(slash + 1);
    }
}

std::string& ModulePath(std::string& text) {
    text = ExecutablePath();
    return text;
}

std::string& ModuleFileName(std::string& text) {
    std::string path;
    ModulePath(path);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash + 1 < path.size()) {
        text = path.substr(slash + 1);
    }
    return text;
}

std::string& ModuleDirectory(std::string& text) {
    std::string path;
    ModulePath(path);
    const std::size_t slash = path.rfind('/');
    text = slash == std::string::npos ? path : path.substr(0, slash);
    return text;
}

std::string& UrlObjectPath(const std::string& url, std::string& text) {
    UrlParts parts;
    {
        // Parsing is a question, not an operation that failed: keep the last error.
        const LastErrorKeeper keep;
        text = CrackUrl(url, parts) ? parts.ObjectPath() : std::string();
    }
    if (text.empty()) {
        const std::size_t slash = url.rfind('/');
        if (slash != std::string::npos) {
            text = url.substr(slash);
        }
    }
    return text;
}

std::string AbsolutePath(const std::string& path) {
    return AbsolutePath(path, path.starts_with('/') ? std::string() : CurrentDirectory());
}

std::string AbsolutePath(const std::string& path, const std::string& base) {
    if (path.empty())
        return path;
    const bool relative = path.front() != '/';
    const std::string joined = relative && !base.empty() ? base + "/" + path : path;
    const bool absolute = joined.front() == '/';
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        const std::string_view segment(joined.data() + start, end - start);
        if (segment == "..") {
            // Above the root is the root; a relative path keeps what it cannot resolve.
            if (!segments.empty() && segments.back() != "..")
                segments.pop_back();
            else if (!absolute)
                segments.push_back(segment);
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string normal = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i)
        normal.append(i == 0 ? "" : "/").append(segments[i]);
    if (normal.empty())
        return ".";
    if (joined.back() == '/' && normal.back() != '/')
        normal += '/';
    return normal;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            return std::string(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};

    struct stat st {};
    if (fstat(fd, &st) != 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        SetLastError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        return false;
    }
    if (st.st_size > 0x7FFFFFFF) {
        SetLastError(EFBIG);
        return false;
    }
    std::vector<unsigned char> data;
    try {
        data.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        SetLastError(ENOMEM);
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetLastError(static_cast<uint32_t>(errno));
            return false;
        }
        if (n == 0) {
            SetLastError(0); // the file shrank: no system error to show
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes = std::move(data);
    return true;
}
