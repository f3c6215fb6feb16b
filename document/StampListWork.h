// The stamp list's background work: the times of the listed stamps read after the window
// shows the rows, and the check of every entry against its source file. Workers read the
// stamps; the results reach the registry and the rows on the owner's thread, by stamp path,
// so that rows added, removed or reloaded meanwhile never take another entry's result.
#pragma once

#include "document/EntryWorkPool.h"

#include <cstddef>
#include <string>
#include <unordered_set>

class CStampList;
class CStampListPanel;

class CStampListWork {
public:
    // `notify` is called on a worker thread when results wait for Deliver.
    CStampListWork(CStampList& registry, CStampListPanel& panel, CEntryWorkPool::Notify notify,
                   unsigned threads = 0);
    // Stops the workers between entries and waits for them; the panel chooses on its own.
    ~CStampListWork();
    CStampListWork(const CStampListWork&) = delete;
    CStampListWork& operator=(const CStampListWork&) = delete;

    // Queues a time read for every stamp path that has an entry without a time, in the
    // order of the list. A row the user chooses meanwhile has its time read at once.
    void ReadMissingTimes();
    // Checks every entry against its source file; the panel's status column shows the
    // statuses as they come, emptied first. False, doing nothing, while a check of every
    // entry is still running.
    bool CheckAll();
    bool IsCheckingAll() const { return m_pool.Busy(EntryJob::Kind::Check); }
    bool IsReadingTimes() const { return !m_timesPending.empty(); }

    // Hands the waiting results to the registry and the panel. On the owner's thread.
    void Deliver();

    // Jobs done and added since the work was last idle (both 0 when idle).
    std::size_t Done() const { return m_pool.DoneCount(); }
    std::size_t Total() const { return m_pool.AddedCount(); }

private:
    void OnChosen(const std::string& stampFile);
    void Apply(const EntryJobResult& result);

    CStampList& m_registry;
    CStampListPanel& m_panel;
    std::unordered_set<std::string> m_timesPending; // stamp paths whose time read is queued
    CEntryWorkPool m_pool;                          // last: its workers stop first
};
