#include "document/EntryWorkPool.h"

#include "support/IMessageBoxes.h"

#include <algorithm>

namespace {

std::size_t KindIndex(EntryJob::Kind kind) {
    return kind == EntryJob::Kind::Time ? 0 : 1;
}

} // namespace

EntryJobResult RunEntryJob(const EntryJob& job) {
    SilentMessageBoxes silent;
    const ScopedThreadMessageBoxes quiet(&silent);
    EntryJobResult result;
    result.job = job;
    if (job.kind == EntryJob::Kind::Time) {
        CStampListEntry entry;
        entry.m_strStampFile = job.stampFile;
        result.timeRead = CStampList::RefreshUtcTime(entry);
        result.time = std::move(entry.m_strUtcTime);
    } else {
        result.status = CheckEntry({job.stampFile, job.sourceFile, {}});
    }
    return result;
}

CEntryWorkPool::CEntryWorkPool(Notify notify, unsigned threads) : m_notify(std::move(notify)) {
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { Work(); });
}

CEntryWorkPool::~CEntryWorkPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void CEntryWorkPool::Add(std::vector<EntryJob> jobs) {
    if (jobs.empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_added += jobs.size();
        for (EntryJob& job : jobs) {
            ++m_waitingOf[KindIndex(job.kind)];
            m_waiting.push_back(std::move(job));
        }
    }
    m_wake.notify_all();
}

void CEntryWorkPool::Prioritize(const std::string& stampFile) {
    const std::lock_guard lock(m_mutex);
    // Taken from the back so that the jobs keep their order at the front.
    for (auto it = m_waiting.end(); it != m_waiting.begin();) {
        --it;
        if (it->stampFile == stampFile) {
            m_urgent.push_front(std::move(*it));
            it = m_waiting.erase(it);
        }
    }
}

int CEntryWorkPool::Withdraw(EntryJob::Kind kind, const std::string& stampFile) {
    const std::lock_guard lock(m_mutex);
    int withdrawn = 0;
    for (std::deque<EntryJob>* queue : {&m_urgent, &m_waiting}) {
        const auto gone = std::remove_if(queue->begin(), queue->end(), [&](const EntryJob& job) {
            return job.kind == kind && job.stampFile == stampFile;
        });
        withdrawn += static_cast<int>(queue->end() - gone);
        queue->erase(gone, queue->end());
    }
    m_waitingOf[KindIndex(kind)] -= static_cast<std::size_t>(withdrawn);
    m_done += static_cast<std::size_t>(withdrawn);
    CountIdle();
    return withdrawn;
}

std::vector<EntryJobResult> CEntryWorkPool::TakeResults() {
    const std::lock_guard lock(m_mutex);
    std::vector<EntryJobResult> results = std::move(m_results);
    m_results.clear();
    CountIdle();
    return results;
}

void CEntryWorkPool::CountIdle() {
    if (m_urgent.empty() && m_waiting.empty() && m_results.empty() && m_running[0] == 0 &&
        m_running[1] == 0) {
        m_done = 0;
        m_added = 0;
    }
}

bool CEntryWorkPool::Busy(EntryJob::Kind kind) const {
    const std::lock_guard lock(m_mutex);
    const std::size_t k = KindIndex(kind);
    return m_waitingOf[k] + m_running[k] > 0;
}

std::size_t CEntryWorkPool::DoneCount() const {
    const std::lock_guard lock(m_mutex);
    return m_done;
}

std::size_t CEntryWorkPool::AddedCount() const {
    const std::lock_guard lock(m_mutex);
    return m_added;
}

void CEntryWorkPool::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || !m_urgent.empty() || !m_waiting.empty(); });
        if (m_bStop)
            return;
        std::deque<EntryJob>& queue = m_urgent.empty() ? m_waiting : m_urgent;
        const EntryJob job = std::move(queue.front());
        queue.pop_front();
        const std::size_t k = KindIndex(job.kind);
        --m_waitingOf[k];
        ++m_running[k];
        lock.unlock();
        EntryJobResult result = RunEntryJob(job);
        lock.lock();
        --m_running[k];
        ++m_done;
        const bool first = m_results.empty();
        m_results.push_back(std::move(result));
        if (first && m_notify) {
            // Outside the lock: the owner may take the results at once.
            lock.unlock();
            m_notify();
            lock.lock();
        }
    }
}
