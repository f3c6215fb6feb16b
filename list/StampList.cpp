#include "list/StampList.h"

#include "core/ClientSettings.h"
#include "core/TimeStampPart.h"
#include "list/IStampListPanel.h"
#include "platform/Profile.h"
#include "platform/Utf8.h"
#include "support/Conversions.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string ItemKey(int index) {
    return "tsf_item" + std::to_string(index);
}

// What ReadString reads: a 255-byte limit, so at most 254 characters.
constexpr std::size_t kIniReadLimit = 255;
// Enough for any path the file system takes, twice over.
constexpr std::size_t kWholeValueLimit = 16 * 1024;

// The entry still holds the paths that were read from its over-long stored value.
bool IsAsLoaded(const CStampListEntry& entry) {
    const std::string_view cut = CutUtf8(entry.m_strStoredValue, kIniReadLimit - 1);
    const auto comma = cut.find(',');
    return entry.m_strStampFile == cut.substr(0, comma) &&
           entry.m_strSourceFile ==
               (comma == std::string_view::npos ? std::string_view() : cut.substr(comma + 1));
}

} // namespace

bool CStampListEntry::IsSameEntry(const CStampListEntry& other) const {
    return Lower(m_strStampFile) == Lower(other.m_strStampFile);
}

int CStampList::FindSame(const CStampListEntry& entry) const {
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].IsSameEntry(entry))
            return static_cast<int>(i);
    return -1;
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
    RemoveAll();
    LoadStampList(settings, *this);
    for (auto& entry : m_entries)
        RefreshUtcTime(entry);
}

int CStampList::AddOrReplace(const CStampListEntry& entry, IStampListPanel* panel) {
    CStampListEntry added = entry;
    RefreshUtcTime(added); // an entry whose stamp cannot be read is still added
    const int found = FindSame(added);
    if (found >= 0) {
        m_entries[static_cast<size_t>(found)] = added;
        if (panel != nullptr)
            panel->PutEntry(found, added, true);
        return found;
    }
    m_entries.push_back(added);
    if (panel != nullptr)
        panel->PutEntry(-1, added, true);
    return GetCount() - 1;
}

bool CStampList::RemoveAt(int index) {
    if (m_entries.empty() || static_cast<unsigned>(index) >= m_entries.size())
        return false;
    m_entries.erase(m_entries.begin() + index);
    return true;
}

int LoadStampList(CClientSettings& settings, CStampList& list) {
    // One read of the file for the whole list; every lookup reads as ReadString does.
    const ProfileSnapshot ini(settings.IniPath());
    auto read = [&](const std::string& key, std::string& value, std::size_t limit) {
        return ini.Get(kSectionStampedFiles, key, "", value, limit) != 0;
    };
    std::string text;
    int count = 0;
    if (read("count", text, kIniReadLimit)) {
        // atoi: leading digits, 0 without any; clamped instead of overflowing.
        const long long number = std::strtoll(text.c_str(), nullptr, 10);
        count = number > INT_MAX ? INT_MAX : number < 0 ? 0 : static_cast<int>(number);
    }
    for (int i = 0; i < count; ++i) {
        std::string value;
        if (!read(ItemKey(i), value, kIniReadLimit))
            continue;
        CStampListEntry entry;
        std::string whole;
        if (read(ItemKey(i), whole, kWholeValueLimit) && whole.size() > value.size())
            entry.m_strStoredValue = whole;
        const auto comma = value.find(',');
        entry.m_strStampFile = value.substr(0, comma);
        if (comma != std::string::npos)
            entry.m_strSourceFile = value.substr(comma + 1);
        list.Add(std::move(entry));
    }
    return list.GetCount();
}

int SaveStampList(CClientSettings& settings, const CStampList& list, bool* written) {
    const int count = list.GetCount();
    std::vector<std::pair<std::string, std::string>> items;
    items.reserve(static_cast<std::size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        const CStampListEntry& entry = list.GetAt(i);
        std::string value = entry.m_strStampFile + "," + entry.m_strSourceFile;
        if (!entry.m_strStoredValue.empty() && IsAsLoaded(entry))
            value = entry.m_strStoredValue;
        items.emplace_back(ItemKey(i), std::move(value));
    }
    items.emplace_back("count", std::to_string(count));
    // One atomic replacement of the file for the whole list.
    const bool all = WritePrivateProfileEntries(kSectionStampedFiles, items, settings.IniPath());
    if (written != nullptr)
        *written = all;
    return count;
}
