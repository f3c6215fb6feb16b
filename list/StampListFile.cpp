// The registry's section of the INI file: reading it, and writing changes onto it under the
// writers' lock.
#include "list/StampList.h"

#include "core/ClientSettings.h"
#include "platform/LastError.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

constexpr std::string_view kItemPrefix = "tsf_item";
// The count is read as any setting is: at most 254 characters.
constexpr std::size_t kCountReadLimit = 254;

std::string ItemKey(std::size_t index) {
    return std::string(kItemPrefix) + std::to_string(index);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

// The index that an item key names: "tsf_item" (any letter case) and a decimal number
// without leading zeros, as the key of that index is written; -1 for any other key.
long long ItemIndex(std::string_view key) {
    if (key.size() <= kItemPrefix.size() || key.size() > kItemPrefix.size() + 10)
        return -1;
    if (!EqualsIgnoringCase(key.substr(0, kItemPrefix.size()), kItemPrefix))
        return -1;
    const std::string_view digits = key.substr(kItemPrefix.size());
    if (digits.find_first_not_of("0123456789") != std::string_view::npos ||
        (digits.size() > 1 && digits.front() == '0'))
        return -1;
    return std::strtoll(std::string(digits).c_str(), nullptr, 10);
}

// "count" as an integer: leading digits, 0 without any; clamped instead of overflowing.
long long ParseCount(std::string_view text) {
    const std::string cut(text.substr(0, kCountReadLimit));
    const long long number = std::strtoll(cut.c_str(), nullptr, 10);
    return std::clamp<long long>(number, 0, INT_MAX);
}

// Splits a stored value into the entry's two paths. The value is stamp path + "," + source
// path, and either may hold commas: where the text before a comma is the text after it
// plus a stamp extension (as every stamp the program makes is named), that comma is the
// one; otherwise the first comma.
CStampListEntry SplitItem(std::string_view value) {
    CStampListEntry entry;
    // Stamp = source + 4 characters, so the comma stands at (size + 3) / 2.
    if (value.size() >= 5 && (value.size() + 3) % 2 == 0) {
        const std::size_t comma = (value.size() + 3) / 2;
        const std::string_view stamp = value.substr(0, comma);
        const std::string_view source = value.substr(comma + 1);
        if (value[comma] == ',' && stamp.substr(0, source.size()) == source &&
            (stamp.ends_with(".tsr") || stamp.ends_with(".tst"))) {
            entry.m_strStampFile = stamp;
            entry.m_strSourceFile = source;
            return entry;
        }
    }
    const auto comma = value.find(',');
    entry.m_strStampFile = value.substr(0, comma);
    if (comma != std::string_view::npos)
        entry.m_strSourceFile = value.substr(comma + 1);
    return entry;
}

std::string ItemValue(const CStampListEntry& entry) {
    return entry.m_strStampFile + "," + entry.m_strSourceFile;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

bool IsStorableEntry(const CStampListEntry& entry) {
    const std::string value = ItemValue(entry);
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return false;
    // Blanks around a value and a pair of quotes around it are not read back.
    if (IsBlank(value.front()) || IsBlank(value.back()))
        return false;
    return !((value.front() == '"' || value.front() == '\'') && value.back() == value.front());
}

void ReadStampListSection(const ProfileText& profile, std::vector<CStampListEntry>& entries) {
    const auto keys = profile.SectionEntries(kSectionStampedFiles);
    long long count = 0;
    for (const auto& [key, value] : keys) {
        if (EqualsIgnoringCase(key, "count")) {
            count = ParseCount(value);
            break;
        }
    }
    // Only the items that are there cost anything, however large the count.
    std::vector<std::pair<long long, const std::string*>> items;
    for (const auto& [key, value] : keys) {
        const long long index = ItemIndex(key);
        if (index >= 0 && index < count && !value.empty())
            items.emplace_back(index, &value);
    }
    std::sort(items.begin(), items.end());
    entries.reserve(entries.size() + items.size());
    for (const auto& item : items)
        entries.push_back(SplitItem(*item.second));
}

int LoadStampList(CClientSettings& settings, CStampList& list) {
    std::vector<CStampListEntry> entries;
    (void)ReadStoredStampList(settings, entries); // unreadable: nothing listed
    for (auto& entry : entries)
        list.Add(std::move(entry));
    return list.GetCount();
}

bool ReadStoredStampList(CClientSettings& settings, std::vector<CStampListEntry>& entries) {
    ProfileText profile;
    bool exists = false;
    if (!ReadProfileFile(settings.IniPath(), profile, exists))
        return false;
    entries.clear();
    ReadStampListSection(profile, entries);
    return true;
}

bool StoreStampListChanges(CClientSettings& settings, const std::vector<CStampListChange>& changes,
                           std::vector<CStampListEntry>& stored) {
    for (const auto& change : changes) {
        if (change.m_kind == CStampListChange::Kind::Put && !IsStorableEntry(change.m_entry)) {
            SetLastError(EINVAL);
            return false;
        }
    }
    std::vector<CStampListEntry> result;
    const bool written =
        EditPrivateProfileFile(settings.IniPath(), [&](ProfileText& profile, bool) {
            result.clear();
            ReadStampListSection(profile, result);
            const std::vector<CStampListEntry> before = result;
            for (const auto& change : changes)
                ApplyStampListChange(result, change);
            const bool same = std::equal(before.begin(), before.end(), result.begin(), result.end(),
                                         [](const CStampListEntry& a, const CStampListEntry& b) {
                                             return a.m_strStampFile == b.m_strStampFile &&
                                                    a.m_strSourceFile == b.m_strSourceFile;
                                         });
            if (same)
                return ProfileEdit::Unchanged; // nothing to write, not even a missing file
            std::vector<std::pair<std::string, std::string>> items;
            items.reserve(result.size() + 1);
            for (std::size_t i = 0; i < result.size(); ++i)
                items.emplace_back(ItemKey(i), ItemValue(result[i]));
            items.emplace_back("count", std::to_string(result.size()));
            return profile.SetMany(kSectionStampedFiles, items) ? ProfileEdit::Changed
                                                                : ProfileEdit::Refused;
        });
    if (!written)
        return false;
    stored = std::move(result);
    return true;
}
