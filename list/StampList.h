// The stamped-files registry: every stamp file the program made or was asked to keep, with
// its source file, in insertion order, kept in its own section of the INI file.
//
// Several processes share that section (windows under other runtime folders, the command
// line, scripts), so the list is never written whole from memory: every change is written
// at once as one operation on the list as it stands in the file, under the writers' lock,
// and the merged result becomes the list in memory. A change that could not be written is
// kept and written with the next one (or when asked to try again).
//
// Implemented in StampList.cpp (the list in memory) and StampListFile.cpp (the INI section).
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class CClientSettings;
class ProfileText;

// One stamped file. The stamp path, byte for byte, is the entry's identity: on Linux
// "Smlouva.txt.tsr" and "smlouva.txt.tsr" are two files.
struct CStampListEntry {
    std::string m_strStampFile;
    std::string m_strSourceFile;
    std::string m_strUtcTime; // display form of the token's time; never stored

    // The same entry: equal stamp paths.
    bool IsSameEntry(const CStampListEntry& other) const {
        return m_strStampFile == other.m_strStampFile;
    }
};

// One change of the list, applied to whatever the list holds when it is written.
struct CStampListChange {
    enum class Kind {
        Put,    // replaces the first entry with the stamp path, or appends the entry
        Remove, // removes one entry with the stamp path
    };
    Kind m_kind = Kind::Put;
    CStampListEntry m_entry; // Remove: only its stamp path counts
    // Remove: which of several entries with the stamp path (an old file may list a path
    // twice): 0 the first; the last one present when there are fewer.
    int m_nOccurrence = 0;
};

// Applies `change` to `entries`. Answers the index of the entry put, or the index the
// removed entry had; -1 when there was nothing to remove.
int ApplyStampListChange(std::vector<CStampListEntry>& entries, const CStampListChange& change);

class CStampList {
public:
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    bool IsEmpty() const { return m_entries.empty(); }
    const CStampListEntry& GetAt(int index) const {
        return m_entries.at(static_cast<size_t>(index));
    }
    const std::vector<CStampListEntry>& Entries() const { return m_entries; }

    // Appends in memory only (loading; tests).
    void Add(CStampListEntry entry) {
        m_entries.push_back(std::move(entry));
        m_byPath.clear();
    }
    void RemoveAll() {
        m_entries.clear();
        m_byPath.clear();
    }
    // Index of the first entry that is the same entry, -1 when there is none.
    int FindSame(const CStampListEntry& entry) const;
    // Index of entry `occurrence` (0: the first) among those with `stampFile`, or of the
    // last of them when there are fewer; -1 when none has it.
    int FindOccurrence(const std::string& stampFile, int occurrence) const;
    // How many entries before `index` have the stamp path of entry `index`.
    int OccurrenceAt(int index) const;

    // Re-reads the entry's stamp file and replaces its time text with the display form of
    // the token's time. On failure the text stays as it was; nothing is shown.
    static bool RefreshUtcTime(CStampListEntry& entry);

    // Start-up load: empties the list and what was not stored, loads the section,
    // refreshes every entry's time.
    void LoadAtStartup(CClientSettings& settings);
    // The same load without reading any stamp: every time stays empty until FillUtcTime
    // gives it (the window reads the stamps in the background).
    void LoadWithoutTimes(CClientSettings& settings);
    // A time read elsewhere from the stamp file `stampFile`: every entry with that path
    // whose time is still empty takes it (an entry that got its time since keeps it).
    // Answers how many took it.
    int FillUtcTime(const std::string& stampFile, const std::string& time);

    // Makes the change (a Put entry's time refreshed first) and writes it, with every
    // earlier change not yet stored, onto the list in the INI file. Stored: the list is
    // now the stored one, with whatever other processes changed. Not stored (false, the
    // last error set): the change is made in memory and kept for the next write; an entry
    // that the file cannot hold (a line break in a path, blanks or quotes around the value:
    // EINVAL) is made in memory only, until the list is next taken from the file.
    [[nodiscard]] bool Change(CClientSettings& settings, CStampListChange change);
    // Writes the changes not yet stored, as Change does; true at once when there are none.
    [[nodiscard]] bool StorePending(CClientSettings& settings);
    bool HasPendingChanges() const { return !m_pending.empty(); }

    // Reads the stored list again (another process changed it) and makes the changes not
    // yet stored on it. False, with the list as it was, when the file cannot be read now.
    [[nodiscard]] bool Reload(CClientSettings& settings);

private:
    // Takes `stored` as the list: times are kept for stamp paths already known (a Put's
    // fresh time first) and read for the others.
    void TakeStored(std::vector<CStampListEntry> stored);

    std::vector<CStampListEntry> m_entries;
    std::vector<CStampListChange> m_pending; // made in memory, not yet in the file
    // The entries of each stamp path, made at the first FillUtcTime after a change of the
    // entries; empty while not made.
    std::unordered_map<std::string, std::vector<std::size_t>> m_byPath;
};

// INI layout: section "time_stamped_files", "count", and "tsf_item"<i> = stamp path + ","
// + source path for i = 0 .. count-1. Items at and beyond the count that an earlier, longer
// list left are not removed (loading stops at the count).

// Appends the entries of the section in `profile`: the items below the count in index
// order, read whole (no length limit), each split into its two paths. Missing or empty
// items are skipped. The section is walked once, whatever the count says.
void ReadStampListSection(const ProfileText& profile, std::vector<CStampListEntry>& entries);

// Appends the entries of the section in the INI file to `list`; answers the number of
// entries afterwards. A missing or unreadable file lists nothing.
int LoadStampList(CClientSettings& settings, CStampList& list);

// Reads the stored list into `entries`. False, with the last error set, when the file is
// there but cannot be read.
[[nodiscard]] bool ReadStoredStampList(CClientSettings& settings,
                                       std::vector<CStampListEntry>& entries);

// Under the writers' lock: reads the section, applies `changes` in order, writes the section
// back in one atomic replacement of the file (nothing when the list came out the same) and
// answers the list as it now stands in `stored`. False, with the last error set and the
// file as it was, when the file could not be read or written, or a change holds a path the
// file cannot carry (EINVAL).
[[nodiscard]] bool StoreStampListChanges(CClientSettings& settings,
                                         const std::vector<CStampListChange>& changes,
                                         std::vector<CStampListEntry>& stored);

// The entry's paths can be written as one INI value and read back as they are.
bool IsStorableEntry(const CStampListEntry& entry);
