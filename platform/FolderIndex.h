// What was read from a folder, kept until the folder changes.
//
// A folder's modification time changes whenever a file in it is added, removed or renamed
// (which is how the program and its users put certificates in place). The time has the
// file system's granularity, so a change within the same tick as the reading would go
// unseen: a folder changed less than kSettleSeconds before it was read is read again at
// every look-up until it has settled. Files rewritten in place, without a rename, are not
// noticed.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

template <class T> class FolderIndex {
public:
    static constexpr std::time_t kSettleSeconds = 2;

    // The value that `read` made from the folder `dir`: kept from an earlier look-up when
    // the folder is unchanged since, else read anew (and kept when `read` gives a value).
    std::shared_ptr<const T> Get(const std::string& dir,
                                 const std::function<std::shared_ptr<const T>()>& read) {
        const State now = StateOf(dir);
        {
            const std::lock_guard lock(m_mutex);
            if (m_value && m_dir == dir && m_state.Same(now) && m_bSettled)
                return m_value;
        }
        timespec readAt{};
        clock_gettime(CLOCK_REALTIME, &readAt);
        std::shared_ptr<const T> value = read();
        if (!value)
            return value;
        const std::lock_guard lock(m_mutex);
        m_dir = dir;
        m_state = now;
        m_bSettled = !now.exists || readAt.tv_sec - now.mtime.tv_sec > kSettleSeconds;
        m_value = value;
        return value;
    }

    // Forgets the kept value.
    void Clear() {
        const std::lock_guard lock(m_mutex);
        m_value.reset();
    }

private:
    struct State {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        timespec mtime{};
        bool Same(const State& o) const {
            return exists == o.exists && device == o.device && inode == o.inode &&
                   mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
        }
    };
    static State StateOf(const std::string& dir) {
        State state;
        struct stat st {};
        if (stat(dir.c_str(), &st) == 0) {
            state.exists = true;
            state.device = st.st_dev;
            state.inode = st.st_ino;
            state.mtime = st.st_mtim;
        }
        return state;
    }

    std::mutex m_mutex;
    std::string m_dir;
    State m_state;
    bool m_bSettled = false;
    std::shared_ptr<const T> m_value;
};
