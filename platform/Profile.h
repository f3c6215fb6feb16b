// Private-profile (INI) files, with the semantics the settings and the stamped-files list
// rely on. Written by hand: the reading rules (case-insensitive names, first match wins,
// the caller's size limit, quotes) and the writing rules (every other line kept byte for
// byte) are those of the classic profile functions, which no INI library reproduces.
//
// File format, as read:
// - Lines end in LF; a CR before it, a UTF-8 byte-order mark at the start, and blanks
//   (space, tab, CR, VT, FF) around names and values are ignored.
// - "[name]": a section header. The name runs from "[" to the last "]" of the line.
// - "key=value": a key of the section above it, split at the first "=". Lines before the
//   first header belong to no section.
// - Lines starting with ";" are comments; other lines (no "=", garbage) are ignored.
// - Section and key names compare case-insensitively (ASCII letters); the first section of
//   a name, and the first key of a name within it, are the ones that count.
// - A value enclosed in a matching pair of double or single quotes loses that pair when it
//   is read; values are written exactly as given, so a value written with its own
//   surrounding quotes reads back without them (as the classic functions behave).
//
// Implemented in ProfileText.cpp (the text in memory) and ProfileFile.cpp (the files on disk).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The text of one INI file, parsed into lines. Lookups and edits work on the text in
// memory; an edit changes only the line it concerns (or adds lines) and leaves every other
// byte as it was. Any byte sequence can be parsed.
class ProfileText {
public:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };

    ProfileText() = default;
    explicit ProfileText(std::string text);

    const std::string& Text() const { return m_strText; }

    // The value of the key as it stands in the file (blanks around it removed, quotes
    // kept); nullopt when the section or the key is missing. Names are trimmed first.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Replaces the value of the key that Find finds, keeping the key's spelling; or, when
    // the key is missing, adds "key=value" after the last non-empty line of the section; or,
    // when the section is missing, appends the section with the key. New lines take the
    // line end the file already uses. False, with nothing changed, when the names are empty
    // or the text could not be read back as written: a line break or NUL anywhere, "]" in
    // the section name, "=" in the key, or a key starting with "[" or ";".
    [[nodiscard]] bool Set(std::string_view section, std::string_view key, std::string_view value);

    // Sets many keys of one section, with the result that Set would give key by key (a key
    // named twice takes its last value), in one pass over the text: a list of thousands of
    // items must not cost a pass per item. False, with nothing changed, when Set would
    // refuse any of the names or values.
    [[nodiscard]] bool SetMany(std::string_view section,
                               const std::vector<std::pair<std::string, std::string>>& entries);

    // Removes the key line that Find finds. Answers whether a line was removed.
    bool DeleteKey(std::string_view section, std::string_view key);

    // Removes every section of that name: header and lines up to the next header.
    // Answers whether anything was removed.
    bool DeleteSection(std::string_view section);

    // Every key that Find can reach, in file order, with its value as Find answers it.
    std::vector<Entry> Entries() const;

    // The keys of `section` that Find can reach (the first line of each name in the first
    // section of that name), in file order, each with its value as GetPrivateProfileString
    // reads it but whole: quotes around it removed, cut at a NUL, no size limit. One pass
    // over the section, however many keys it holds.
    std::vector<std::pair<std::string, std::string>> SectionEntries(std::string_view section) const;

private:
    enum class LineKind { Other, Section, Key };
    struct Line {
        std::size_t begin = 0;   // first byte of the line
        std::size_t end = 0;     // end of its content (before CR LF / LF)
        std::size_t next = 0;    // start of the next line
        bool terminated = false; // ends in a line feed
        LineKind kind = LineKind::Other;
        std::size_t nameBegin = 0, nameEnd = 0;   // section or key name, trimmed
        std::size_t valueBegin = 0, valueEnd = 0; // value, trimmed
    };

    void Parse();
    std::string_view Name(const Line& line) const;
    std::string_view Value(const Line& line) const;
    // Index of the first header of the section, or npos.
    std::size_t FindSection(std::string_view section) const;
    // Index of the first key line of the section that starts at header `sectionLine`.
    std::size_t FindKey(std::size_t sectionLine, std::string_view key) const;
    std::string_view LineEnd() const;

    // The steps of SetMany: the keys checked and merged, then added as a new section or
    // written into the section whose header is line `header`.
    struct SetPlan;
    void AppendSection(std::string_view section, const SetPlan& plan);
    void RewriteSection(std::size_t header, const SetPlan& plan);

    std::string m_strText;
    std::vector<Line> m_lines;

    friend class ProfileSnapshot;
};

// One INI file read once, for callers that look up many keys (the stamped-files list):
// every lookup answers what GetPrivateProfileString would answer for the file as it was
// read, in constant time.
class ProfileSnapshot {
public:
    // Reads `file` (resolved like GetPrivateProfileString); a missing or unreadable file
    // is an empty one.
    explicit ProfileSnapshot(const std::string& file);

    // As GetPrivateProfileString.
    [[nodiscard]] std::size_t Get(std::string_view section, std::string_view key,
                                  std::string_view defaultValue, std::string& value,
                                  std::size_t size) const;

private:
    // Lower-cased "section\0key" of every reachable key, with its raw value.
    std::unordered_map<std::string, std::string> m_values;
};

// Turns a profile file name into the path that is opened: a bare name (no "/") lies in the
// system configuration folder (SystemConfigDir), anything else is used as it is.
std::string ResolveProfilePath(const std::string& file);

// Reads the value of `key` in `section` of `file` into `value`: at most size - 1 bytes,
// cut at the last whole UTF-8 character within that limit. A missing file, section or key
// gives `defaultValue` (its trailing blanks removed, cut alike). Answers the length placed
// in `value`; so an empty value and a missing key both answer 0 when the default is "".
// Reading never changes the thread's last error.
[[nodiscard]] std::size_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                                  std::string_view defaultValue, std::string& value,
                                                  std::size_t size, const std::string& file);

// Writes `key`=`value` into `section` of `file` (see ProfileText::Set); a null `value`
// deletes the key, a null `key` deletes the section. The file and the section are created
// when missing. The file is replaced atomically: the new text goes to a temporary file in
// the same folder, which is flushed to disk and renamed over the old one, so that a crash
// at any moment leaves either the old or the new file, never a partial one. A new file gets
// mode 0600; an existing one keeps its mode (and, where permitted, its owner). A symbolic
// link is followed, and its target replaced. Deleting what is not there changes nothing.
// False, with the last error set to the errno of the failing call (EINVAL for names or
// values that cannot be stored), when the file could not be written.
[[nodiscard]] bool WritePrivateProfileString(const char* section, const char* key,
                                             const char* value, const std::string& file);

// Writes many keys of one section in a single atomic replacement of the file, with the
// result of a WritePrivateProfileString call per key (see ProfileText::SetMany).
[[nodiscard]] bool
WritePrivateProfileEntries(const char* section,
                           const std::vector<std::pair<std::string, std::string>>& entries,
                           const std::string& file);

// Reads the whole of `file` (resolved as above) into `profile`. A missing file gives an
// empty text with `exists` false. False, with the last error set, when the file is there but
// cannot be read: a caller that merges must not take that for an empty file.
[[nodiscard]] bool ReadProfileFile(const std::string& file, ProfileText& profile, bool& exists);

// What an edit of a whole profile file did to its text.
enum class ProfileEdit { Changed, Unchanged, Refused };

// Reads, edits and writes `file` as one step that no other writer can come between. Every
// write of these functions, in any process, takes the same exclusive lock: `flock` on the
// path of the file that is replaced (a symbolic link's target) with ".lock" appended, a
// file that stays there. Under the lock the file is read, `edit` changes its text (told
// whether the file existed) and, when it answers Changed, the file is replaced atomically
// as WritePrivateProfileString does. A lock that another process holds for more than ten
// seconds fails the edit (EAGAIN); a lock file that cannot be made at all (a read-only
// folder) leaves the edit unlocked, and its write then fails for the same reason. Refused
// fails with EINVAL, Unchanged writes nothing. False, with the last error set, when the
// file could not be read or written.
[[nodiscard]] bool
EditPrivateProfileFile(const std::string& file,
                       const std::function<ProfileEdit(ProfileText& profile, bool exists)>& edit);
