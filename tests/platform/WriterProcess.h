// Helpers for tests that run a writer in a child process and stop or kill it mid-write.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <system_error>

// Whether the process has a file of `folder` open, i.e. a write there is in progress: an
// unnamed temporary file shows as "<folder>/#<inode> (deleted)", a named one by its name.
// The folder itself, held open for the write's lifetime, does not count.
inline bool HoldsFileIn(pid_t pid, const std::string& folder) {
    std::error_code error;
    std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
    for (; !error && fds != std::filesystem::directory_iterator(); fds.increment(error)) {
        std::error_code unreadable;
        const std::string target = std::filesystem::read_symlink(fds->path(), unreadable);
        if (!unreadable && target.starts_with(folder + "/")) {
            return true;
        }
    }
    return false;
}

// The files in `folder` other than `keep`: temporary files of writes in progress, or of
// writers that were killed.
inline int OtherFiles(const std::string& folder, const std::string& keep) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        count += entry.path().filename() != keep ? 1 : 0;
    }
    return count;
}
