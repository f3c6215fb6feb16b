#include "list/EntryCheck.h"

#include "core/HashAlgorithms.h"
#include "core/TimeStampPart.h"
#include "support/ResultCodes.h"
#include "support/StringIds.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// What is left once the stamp is known to be valid: the source's digest against the
// stamp's.
struct SourceJob {
    std::size_t index = 0;
    std::string source;
    std::string hashOid;
    std::vector<unsigned char> expected;
};

// The stamp half of the check: a status when it decides the entry, else the job that
// hashes the source.
bool CheckStamp(const CStampListEntry& entry, std::size_t index, EntryStatus& status,
                SourceJob& job) {
    if (!IsRegularFile(entry.m_strStampFile)) {
        status = EntryStatus::StampMissing;
        return true;
    }
    CTimeStampPart part;
    if (part.ProcessStampFile(entry.m_strStampFile) != 1) {
        status = EntryStatus::StampInvalid;
        return true;
    }
    if (!IsRegularFile(entry.m_strSourceFile)) {
        status = EntryStatus::SourceMissing;
        return true;
    }
    const TTI_TSTINFO& info = part.TstInfo();
    const std::size_t length =
        info.nDigestLen > 0 ? static_cast<std::size_t>(info.nDigestLen) : std::size_t{0};
    job.index = index;
    job.source = entry.m_strSourceFile;
    job.hashOid = info.szHashOid;
    job.expected.assign(info.digest, info.digest + std::min(length, sizeof info.digest));
    return false;
}

EntryStatus CheckSource(const SourceJob& job) {
    unsigned char digest[kDigestBufferSize] = {};
    std::int32_t length = 0;
    const int rc = FileDigest(job.source, job.hashOid.c_str(), digest, length);
    if (rc == RESULT_E_READ_SOURCE)
        return EntryStatus::SourceMissing;
    if (rc != RESULT_OK)
        return EntryStatus::StampInvalid; // a digest algorithm we cannot compute
    const bool same = length >= 0 && static_cast<std::size_t>(length) == job.expected.size() &&
                      std::memcmp(digest, job.expected.data(), job.expected.size()) == 0;
    return same ? EntryStatus::Ok : EntryStatus::SourceChanged;
}

// Source jobs handed from the calling thread to the hashing threads.
class JobQueue {
public:
    void Push(SourceJob job) {
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_ready.notify_one();
    }
    void Close() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }
    // False when the queue is closed and empty.
    bool Pop(SourceJob& job, bool wait) {
        std::unique_lock lock(m_mutex);
        if (wait)
            m_ready.wait(lock, [this] { return m_closed || !m_jobs.empty(); });
        if (m_jobs.empty())
            return false;
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<SourceJob> m_jobs;
    bool m_closed = false;
};

} // namespace

uint32_t EntryStatusTextId(EntryStatus status) {
    switch (status) {
    case EntryStatus::Ok:
        return IDS_ENTRY_STATUS_OK;
    case EntryStatus::SourceChanged:
        return IDS_ENTRY_STATUS_SOURCE_CHANGED;
    case EntryStatus::SourceMissing:
        return IDS_ENTRY_STATUS_SOURCE_MISSING;
    case EntryStatus::StampMissing:
        return IDS_ENTRY_STATUS_STAMP_MISSING;
    case EntryStatus::StampInvalid:
        break;
    }
    return IDS_ENTRY_STATUS_STAMP_INVALID;
}

EntryStatus CheckEntry(const CStampListEntry& entry) {
    EntryStatus status = EntryStatus::Ok;
    SourceJob job;
    if (CheckStamp(entry, 0, status, job))
        return status;
    return CheckSource(job);
}

std::vector<EntryStatus> CheckEntries(const std::vector<CStampListEntry>& entries,
                                      unsigned threads) {
    std::vector<EntryStatus> statuses(entries.size(), EntryStatus::Ok);
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, entries.size()));
    JobQueue queue;
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i)
        workers.emplace_back([&queue, &statuses] {
            SourceJob job;
            while (queue.Pop(job, true))
                statuses[job.index] = CheckSource(job);
        });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SourceJob job;
        if (!CheckStamp(entries[i], i, statuses[i], job))
            queue.Push(std::move(job));
    }
    queue.Close();
    // The calling thread hashes too once the stamps are read.
    SourceJob job;
    while (queue.Pop(job, false))
        statuses[job.index] = CheckSource(job);
    for (std::thread& worker : workers)
        worker.join();
    return statuses;
}
