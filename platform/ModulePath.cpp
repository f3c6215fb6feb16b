#include "platform/ModulePath.h"

#include "platform/LastError.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

std::string ExecutablePath() {
    // The link's length is not known in advance: grow the buffer until the answer fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            SetLastError(static_cast<uint32_t>(errno));
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        if (buffer.size() >= (1U << 20)) {
            SetLastError(ENAMETOOLONG);
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}
