// The registry in memory: the entries with their times, and the changes not yet stored.
#include "list/StampList.h"

#include "core/ClientSettings.h"
#include "core/TimeStampPart.h"
#include "platform/LastError.h"
#include "support/Conversions.h"

#include <cerrno>
#include <cstring>
#include <unordered_map>

int ApplyStampListChange(std::vector<CStampListEntry>& entries, const CStampListChange& change) {
    const std::string& path = change.m_entry.m_strStampFile;
    if (change.m_kind == CStampListChange::Kind::Put) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].m_strStampFile == path) {
                entries[i] = change.m_entry;
                return static_cast<int>(i);
            }
        }
        entries.push_back(change.m_entry);
        return static_cast<int>(entries.size()) - 1;
    }
    int found = -1;
    int seen = 0;
    for (std::size_t i = 0; i < entries.size() && seen <= change.m_nOccurrence; ++i) {
        if (entries[i].m_strStampFile == path) {
            found = static_cast<int>(i);
            ++seen;
        }
    }
    if (found >= 0)
        entries.erase(entries.begin() + found);
    return found;
}

int CStampList::FindSame(const CStampListEntry& entry) const {
    return FindOccurrence(entry.m_strStampFile, 0);
}

int CStampList::FindOccurrence(const std::string& stampFile, int occurrence) const {
    int found = -1;
    int seen = 0;
    for (std::size_t i = 0; i < m_entries.size() && seen <= occurrence; ++i) {
        if (m_entries[i].m_strStampFile == stampFile) {
            found = static_cast<int>(i);
            ++seen;
        }
    }
    return found;
}

int CStampList::OccurrenceAt(int index) const {
    if (index < 0 || index >= GetCount())
        return 0;
    const std::string& path = m_entries[static_cast<std::size_t>(index)].m_strStampFile;
    int before = 0;
    for (int i = 0; i < index; ++i)
        before += m_entries[static_cast<std::size_t>(i)].m_strStampFile == path ? 1 : 0;
    return before;
}

bool CStampList::RefreshUtcTime(CStampListEntry& entry) {
    CTimeStampPart part;
    if (!part.ProcessStampFile(entry.m_strStampFile))
        return false;
    const TTI_TSTINFO& info = part.TstInfo();
    entry.m_strUtcTime =
        FormatGenTime(std::string(info.szGenTime, strnlen(info.szGenTime, sizeof info.szGenTime)));
    return true;
}

void CStampList::LoadAtStartup(CClientSettings& settings) {
    LoadWithoutTimes(settings);
    for (auto& entry : m_entries)
        RefreshUtcTime(entry);
}

void CStampList::LoadWithoutTimes(CClientSettings& settings) {
    RemoveAll();
    m_pending.clear();
    LoadStampList(settings, *this);
}

int CStampList::FillUtcTime(const std::string& stampFile, const std::string& time) {
    if (m_byPath.empty()) {
        m_byPath.reserve(m_entries.size());
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            m_byPath[m_entries[i].m_strStampFile].push_back(i);
    }
    const auto found = m_byPath.find(stampFile);
    if (found == m_byPath.end())
        return 0;
    int filled = 0;
    for (const std::size_t i : found->second) {
        if (m_entries[i].m_strUtcTime.empty()) {
            m_entries[i].m_strUtcTime = time;
            ++filled;
        }
    }
    return filled;
}

bool CStampList::Change(CClientSettings& settings, CStampListChange change) {
    if (change.m_kind == CStampListChange::Kind::Put) {
        // An entry whose stamp cannot be read is still listed, without a time.
        RefreshUtcTime(change.m_entry);
        if (!IsStorableEntry(change.m_entry)) {
            ApplyStampListChange(m_entries, change);
            m_byPath.clear();
            SetLastError(EINVAL);
            return false;
        }
    }
    m_pending.push_back(change);
    if (StorePending(settings))
        return true;
    const uint32_t error = GetLastError();
    ApplyStampListChange(m_entries, change);
    m_byPath.clear();
    SetLastError(error);
    return false;
}

bool CStampList::StorePending(CClientSettings& settings) {
    if (m_pending.empty())
        return true;
    std::vector<CStampListEntry> stored;
    if (!StoreStampListChanges(settings, m_pending, stored))
        return false;
    TakeStored(std::move(stored));
    m_pending.clear();
    return true;
}

bool CStampList::Reload(CClientSettings& settings) {
    std::vector<CStampListEntry> stored;
    if (!ReadStoredStampList(settings, stored))
        return false;
    for (const auto& change : m_pending)
        ApplyStampListChange(stored, change);
    TakeStored(std::move(stored));
    return true;
}

void CStampList::TakeStored(std::vector<CStampListEntry> stored) {
    std::unordered_map<std::string, const std::string*> times;
    times.reserve(m_entries.size() + m_pending.size());
    for (const auto& entry : m_entries)
        times.emplace(entry.m_strStampFile, &entry.m_strUtcTime);
    // A stamp put anew may be a new file under a known name: its fresh time counts.
    for (const auto& change : m_pending)
        if (change.m_kind == CStampListChange::Kind::Put)
            times[change.m_entry.m_strStampFile] = &change.m_entry.m_strUtcTime;
    for (auto& entry : stored) {
        const auto known = times.find(entry.m_strStampFile);
        if (known != times.end())
            entry.m_strUtcTime = *known->second;
        else
            RefreshUtcTime(entry); // listed by another process since we read the list
    }
    m_entries = std::move(stored);
    m_byPath.clear();
}
