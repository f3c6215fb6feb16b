// Reading listed stamps away from the window's thread: the time of a stamp, or the check of
// an entry against its source file, done by one worker per core. The results wait in the
// pool until the owner's thread takes them; nothing here touches the registry or a row.
#pragma once

#include "list/EntryCheck.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One piece of work on one listed stamp.
struct EntryJob {
    enum class Kind {
        Time,  // read the stamp for its time
        Check, // check the entry against its source file
    };
    Kind kind = Kind::Time;
    std::string stampFile;
    std::string sourceFile; // Check only
};

struct EntryJobResult {
    EntryJob job;
    bool timeRead = false; // Time: the stamp was read and `time` is its display form
    std::string time;
    EntryStatus status = EntryStatus::Ok; // Check
};

// Does a job on the calling thread; the stamp reading shows no box.
EntryJobResult RunEntryJob(const EntryJob& job);

class CEntryWorkPool {
public:
    // Called on a worker thread when a result is waiting and none was waiting before; the
    // owner then takes the results on its own thread.
    using Notify = std::function<void()>;

    // Starts `threads` workers (0: one per core).
    explicit CEntryWorkPool(Notify notify, unsigned threads = 0);
    // Stops the workers after the jobs they are doing and waits for them.
    ~CEntryWorkPool();
    CEntryWorkPool(const CEntryWorkPool&) = delete;
    CEntryWorkPool& operator=(const CEntryWorkPool&) = delete;

    // Queues the jobs after those waiting.
    void Add(std::vector<EntryJob> jobs);
    // The waiting jobs on `stampFile` are done before any other.
    void Prioritize(const std::string& stampFile);
    // Takes the waiting jobs of `kind` on `stampFile` out of the queue (they count as done);
    // answers how many there were.
    int Withdraw(EntryJob::Kind kind, const std::string& stampFile);
    // The results so far, in the order they were reached.
    std::vector<EntryJobResult> TakeResults();

    // Jobs of `kind` waiting or being done.
    bool Busy(EntryJob::Kind kind) const;
    // The jobs done (their results taken or not) and added since the pool was last idle:
    // both return to 0 when the last job is done and its result taken.
    std::size_t DoneCount() const;
    std::size_t AddedCount() const;

private:
    void Work();
    void CountIdle(); // under the lock

    Notify m_notify;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<EntryJob> m_urgent; // chosen by the user: taken first
    std::deque<EntryJob> m_waiting;
    std::vector<EntryJobResult> m_results;
    std::size_t m_running[2] = {0, 0}; // per kind
    std::size_t m_waitingOf[2] = {0, 0};
    std::size_t m_done = 0;
    std::size_t m_added = 0;
    bool m_bStop = false;
    std::vector<std::thread> m_workers;
};
