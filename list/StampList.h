// The stamped-files registry: every stamp file the program made or was asked to keep, with
// its source file, in insertion order, kept in its own section of the INI file.
#pragma once

#include <string>
#include <vector>

class CClientSettings;
class IStampListPanel;

// One stamped file. The stamp path is the entry's identity.
struct CStampListEntry {
    std::string m_strStampFile;
    std::string m_strSourceFile;
    std::string m_strUtcTime; // display form of the token's time; never stored
    // The INI value as it stood when it was longer than the read limit (and so arrived
    // cut): saving an entry that is still the cut value writes this back, so that a path
    // the list cannot hold whole is never shortened in the file.
    std::string m_strStoredValue;

    // The same entry: stamp paths equal after a byte-wise lower-case conversion.
    bool IsSameEntry(const CStampListEntry& other) const;
};

class CStampList {
public:
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    bool IsEmpty() const { return m_entries.empty(); }
    const CStampListEntry& GetAt(int index) const {
        return m_entries.at(static_cast<size_t>(index));
    }
    CStampListEntry& GetAt(int index) { return m_entries.at(static_cast<size_t>(index)); }
    const std::vector<CStampListEntry>& Entries() const { return m_entries; }

    void Add(CStampListEntry entry) { m_entries.push_back(std::move(entry)); }
    void RemoveAll() { m_entries.clear(); }
    // Index of the first entry that is the same entry, -1 when there is none.
    int FindSame(const CStampListEntry& entry) const;

    // Re-reads the entry's stamp file and replaces its time text with the display form of
    // the token's time. On failure the text stays as it was; nothing is shown.
    static bool RefreshUtcTime(CStampListEntry& entry);

    // Start-up load: empties the list, loads the section, refreshes every entry's time.
    void LoadAtStartup(CClientSettings& settings);

    // Refreshes the entry's time, then replaces the first same entry (all three fields) or
    // appends it, and has the panel (when there is one) rewrite or append the row and
    // select it. Answers the entry's index. Marking the document modified is the caller's.
    int AddOrReplace(const CStampListEntry& entry, IStampListPanel* panel);

    // Removes entry `index` (taken as unsigned); the entries behind it move up.
    [[nodiscard]] bool RemoveAt(int index);

private:
    std::vector<CStampListEntry> m_entries;
};

// INI layout: section "time_stamped_files", "count", and "tsf_item"<i> = stamp path + ","
// + source path for i = 0 .. count-1.

// Appends the entries of the section to `list`; answers the number of entries afterwards.
// Missing or empty items are skipped; values arrive cut to 254 characters.
int LoadStampList(CClientSettings& settings, CStampList& list);

// Writes every entry and the count; answers the count. Items beyond the count that an
// earlier, longer list left are not removed (loading stops at the count). `written`, when
// given, tells whether every write reached the file.
int SaveStampList(CClientSettings& settings, const CStampList& list, bool* written = nullptr);
