#include "document/StampListWork.h"

#include "document/StampListPanel.h"
#include "list/StampList.h"

#include <set>
#include <utility>
#include <vector>

CStampListWork::CStampListWork(CStampList& registry, CStampListPanel& panel,
                               CEntryWorkPool::Notify notify, unsigned threads)
    : m_registry(registry), m_panel(panel), m_pool(std::move(notify), threads) {
    m_panel.SetChosenHook([this](const std::string& stampFile) { OnChosen(stampFile); });
}

CStampListWork::~CStampListWork() {
    m_panel.SetChosenHook({});
}

void CStampListWork::ReadMissingTimes() {
    std::vector<EntryJob> jobs;
    for (const CStampListEntry& entry : m_registry.Entries()) {
        if (entry.m_strUtcTime.empty() && m_timesPending.insert(entry.m_strStampFile).second)
            jobs.push_back({EntryJob::Kind::Time, entry.m_strStampFile, {}});
    }
    m_pool.Add(std::move(jobs));
}

bool CStampListWork::CheckAll() {
    if (m_pool.Busy(EntryJob::Kind::Check))
        return false;
    m_panel.ShowStatusColumn();
    std::vector<EntryJob> jobs;
    std::set<std::pair<std::string, std::string>> queued; // a path listed twice is read once
    for (const CStampListEntry& entry : m_registry.Entries()) {
        if (queued.emplace(entry.m_strStampFile, entry.m_strSourceFile).second)
            jobs.push_back({EntryJob::Kind::Check, entry.m_strStampFile, entry.m_strSourceFile});
    }
    m_pool.Add(std::move(jobs));
    return true;
}

void CStampListWork::OnChosen(const std::string& stampFile) {
    // The entry's check goes before the others still waiting.
    m_pool.Prioritize(stampFile);
    // Its time is wanted now, with the stamp the document is about to show: read here
    // rather than wait for a worker (one may be reading it already; the first result
    // counts, the other finds the time there).
    if (m_timesPending.count(stampFile) == 0)
        return;
    (void)m_pool.Withdraw(EntryJob::Kind::Time, stampFile);
    Apply(RunEntryJob({EntryJob::Kind::Time, stampFile, {}}));
}

void CStampListWork::Deliver() {
    for (const EntryJobResult& result : m_pool.TakeResults())
        Apply(result);
}

void CStampListWork::Apply(const EntryJobResult& result) {
    const EntryJob& job = result.job;
    if (job.kind == EntryJob::Kind::Check) {
        m_panel.SetStatus(job.stampFile, job.sourceFile, result.status);
        return;
    }
    m_timesPending.erase(job.stampFile);
    if (result.timeRead) {
        m_registry.FillUtcTime(job.stampFile, result.time);
        m_panel.FillTime(job.stampFile, result.time);
    }
}
