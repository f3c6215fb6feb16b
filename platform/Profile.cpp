#include "platform/Profile.h"

#include "platform/ConfigDirs.h"
#include "platform/LastError.h"
#include "platform/Utf8.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNames(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A value in a matching pair of quotes loses the pair.
std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_fd; }
    // Closes now and answers close's result.
    int Reset() {
        int result = 0;
        if (m_fd >= 0) {
            result = close(m_fd);
            m_fd = -1;
        }
        return result;
    }

private:
    int m_fd;
};

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file. Missing: the file does not exist. Failed: `error` tells why.
ReadResult ReadFileText(const std::string& path, std::string& text, struct stat& st, int& error) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        error = errno;
        return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    if (fstat(fd.Get(), &st) != 0) {
        error = errno;
        return ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return ReadResult::Failed;
    }
    std::string result;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return ReadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        result.append(buffer, static_cast<std::size_t>(n));
    }
    text = std::move(result);
    return ReadResult::Ok;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Replaces the file at `path` with `text` so that, whenever the process or the machine
// stops, the path names either the complete old file or the complete new one.
bool ReplaceFileAtomically(const std::string& path, std::string_view text, const struct stat* old) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                       "." + base + ".XXXXXX";

    // mkostemp creates the file with mode 0600, which is what a new profile file gets.
    UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    auto fail = [&temp, &fd]() {
        const int error = errno;
        fd.Reset();
        unlink(temp.c_str());
        SetLastError(static_cast<uint32_t>(error));
        return false;
    };
    if (old != nullptr) {
        if (old->st_uid != geteuid() || old->st_gid != getegid()) {
            // Best effort: only a privileged writer can give the file back to its owner.
            [[maybe_unused]] const int ignored = fchown(fd.Get(), old->st_uid, old->st_gid);
        }
        if (fchmod(fd.Get(), old->st_mode & 07777) != 0) {
            return fail();
        }
    }
    if (!WriteAll(fd.Get(), text) || fsync(fd.Get()) != 0) {
        return fail();
    }
    if (fd.Reset() != 0) {
        const int error = errno;
        unlink(temp.c_str());
        SetLastError(static_cast<uint32_t>(error));
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        SetLastError(static_cast<uint32_t>(error));
        return false;
    }
    // Make the rename itself durable. Best effort: the new file is complete and in place
    // already, and some file systems cannot sync a folder (or we may not read it).
    UniqueFd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) {
        fsync(dirFd.Get());
    }
    return true;
}

// The path whose file is replaced: the target of a symbolic link, else the path itself.
std::string ReplaceTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                         &std::free);
        if (real) {
            return real.get();
        }
    }
    return path;
}

} // namespace

ProfileText::ProfileText(std::string text) : m_strText(std::move(text)) {
    Parse();
}

void ProfileText::Parse() {
    m_lines.clear();
    const std::string_view text = m_strText;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t lf = text.find('\n', pos);
        line.terminated = lf != std::string_view::npos;
        line.end = line.terminated ? lf : text.size();
        line.next = line.terminated ? lf + 1 : text.size();
        if (line.end > line.begin && text[line.end - 1] == '\r') {
            --line.end; // a rewritten line keeps its CR LF
        }
        pos = line.next;

        std::size_t contentBegin = line.begin;
        if (line.begin == 0 && text.substr(0, kBom.size()) == kBom) {
            contentBegin = kBom.size(); // the mark holds no line feed, so the line is longer
        }
        const std::string_view raw = text.substr(contentBegin, line.end - contentBegin);
        const std::string_view content = Trim(raw);
        const std::size_t contentOffset =
            content.empty() ? contentBegin
                            : contentBegin + static_cast<std::size_t>(content.data() - raw.data());

        if (!content.empty() && content.front() == '[') {
            const std::size_t close = content.rfind(']');
            if (close != std::string_view::npos) {
                const std::string_view name = Trim(content.substr(1, close - 1));
                line.kind = LineKind::Section;
                line.nameBegin = name.empty() ? contentOffset + 1
                                              : static_cast<std::size_t>(name.data() - text.data());
                line.nameEnd = line.nameBegin + name.size();
            }
        } else if (!content.empty() && content.front() != ';') {
            const std::size_t eq = content.find('=');
            if (eq != std::string_view::npos) {
                const std::string_view name = Trim(content.substr(0, eq));
                const std::string_view value = Trim(content.substr(eq + 1));
                line.kind = LineKind::Key;
                line.nameBegin = name.empty() ? contentOffset
                                              : static_cast<std::size_t>(name.data() - text.data());
                line.nameEnd = line.nameBegin + name.size();
                line.valueBegin = value.empty()
                                      ? contentOffset + eq + 1
                                      : static_cast<std::size_t>(value.data() - text.data());
                line.valueEnd = line.valueBegin + value.size();
            }
        }
        m_lines.push_back(line);
    }
}

std::string_view ProfileText::Name(const Line& line) const {
    return std::string_view(m_strText).substr(line.nameBegin, line.nameEnd - line.nameBegin);
}

std::string_view ProfileText::Value(const Line& line) const {
    return std::string_view(m_strText).substr(line.valueBegin, line.valueEnd - line.valueBegin);
}

std::size_t ProfileText::FindSection(std::string_view section) const {
    section = Trim(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section && EqualNames(Name(m_lines[i]), section)) {
            return i;
        }
    }
    return std::string::npos;
}

std::size_t ProfileText::FindKey(std::size_t sectionLine, std::string_view key) const {
    key = Trim(key);
    for (std::size_t i = sectionLine + 1; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section) {
            break;
        }
        if (m_lines[i].kind == LineKind::Key && EqualNames(Name(m_lines[i]), key)) {
            return i;
        }
    }
    return std::string::npos;
}

std::string_view ProfileText::LineEnd() const {
    const std::size_t lf = m_strText.find('\n');
    if (lf != std::string::npos && lf > 0 && m_strText[lf - 1] == '\r') {
        return "\r\n";
    }
    return "\n";
}

std::optional<std::string> ProfileText::Find(std::string_view section, std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t line = FindKey(header, key);
    if (line == std::string::npos) {
        return std::nullopt;
    }
    return std::string(Value(m_lines[line]));
}

namespace {

// Whether a section name (trimmed) can be written and read back as it is.
bool StorableSection(std::string_view section) {
    return !section.empty() && !HasLineBreakOrNul(section) &&
           section.find(']') == std::string_view::npos;
}

// Whether a key (trimmed) and its value can be written and read back as they are.
bool StorableKey(std::string_view key, std::string_view value) {
    return !key.empty() && !HasLineBreakOrNul(key) && !HasLineBreakOrNul(value) &&
           key.find('=') == std::string_view::npos && key.front() != '[' && key.front() != ';';
}

std::string LowerName(std::string_view name) {
    std::string lower(name);
    for (auto& c : lower) {
        c = AsciiLower(c);
    }
    return lower;
}

} // namespace

bool ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (!StorableSection(section) || !StorableKey(key, value)) {
        return false;
    }
    const std::string eol(LineEnd());
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        std::string addition;
        if (!m_strText.empty() && m_strText.back() != '\n') {
            addition += eol;
        }
        addition.append("[").append(section).append("]").append(eol);
        addition.append(key).append("=").append(value).append(eol);
        m_strText += addition;
        Parse();
        return true;
    }
    const std::size_t found = FindKey(header, key);
    if (found != std::string::npos) {
        const Line& line = m_lines[found];
        std::string replacement(Name(line));
        replacement.append("=").append(value);
        m_strText.replace(line.begin, line.end - line.begin, replacement);
        Parse();
        return true;
    }
    // After the last non-empty line of the section, so that blank lines that separate it
    // from the next section stay where they are.
    std::size_t last = header;
    for (std::size_t i = header + 1; i < m_lines.size() && m_lines[i].kind != LineKind::Section;
         ++i) {
        const std::string_view content(m_strText.data() + m_lines[i].begin,
                                       m_lines[i].end - m_lines[i].begin);
        if (!Trim(content).empty()) {
            last = i;
        }
    }
    std::string addition;
    const std::size_t at = m_lines[last].next;
    if (!m_lines[last].terminated) {
        addition += eol; // the section's last line ends the file without a line feed
    }
    addition.append(key).append("=").append(value).append(eol);
    m_strText.insert(at, addition);
    Parse();
    return true;
}

bool ProfileText::SetMany(std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& entries) {
    section = Trim(section);
    if (!StorableSection(section)) {
        return false;
    }
    // The value each key ends with, the spelling it is added with (its first), and the order
    // in which new keys are added.
    std::unordered_map<std::string, std::size_t> last;  // lower-cased key -> entry index
    std::unordered_map<std::string, std::size_t> first; // lower-cased key -> entry index
    std::vector<std::string> order;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string_view key = Trim(entries[i].first);
        if (!StorableKey(key, entries[i].second)) {
            return false;
        }
        auto [it, added] = last.emplace(LowerName(key), i);
        if (added) {
            order.push_back(it->first);
            first.emplace(it->first, i);
        } else {
            it->second = i;
        }
    }
    if (entries.empty()) {
        return true;
    }
    const std::string eol(LineEnd());
    auto keyLine = [&](const std::string& lower) {
        return std::string(Trim(entries[first.at(lower)].first)) + "=" +
               entries[last.at(lower)].second;
    };

    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        std::string addition;
        if (!m_strText.empty() && m_strText.back() != '\n') {
            addition += eol;
        }
        addition.append("[").append(section).append("]").append(eol);
        for (const auto& lower : order) {
            addition.append(keyLine(lower)).append(eol);
        }
        m_strText += addition;
        Parse();
        return true;
    }

    // One walk over the section: existing keys (their first line) get their new values,
    // the others go after the section's last non-empty line.
    std::unordered_map<std::string, bool> present;
    std::string rebuilt;
    rebuilt.reserve(m_strText.size() + entries.size() * 32);
    rebuilt.append(m_strText, 0, m_lines[header].next);
    std::size_t end = header + 1;
    std::size_t lastContent = header;
    for (; end < m_lines.size() && m_lines[end].kind != LineKind::Section; ++end) {
        const std::string_view content(m_strText.data() + m_lines[end].begin,
                                       m_lines[end].end - m_lines[end].begin);
        if (!Trim(content).empty()) {
            lastContent = end;
        }
    }
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line& line = m_lines[i];
        std::string lower;
        bool replaced = false;
        if (line.kind == LineKind::Key) {
            lower = LowerName(Name(line));
            if (last.count(lower) != 0 && present.emplace(lower, true).second) {
                rebuilt.append(m_strText, line.begin, line.nameBegin - line.begin);
                rebuilt.append(Name(line)).append("=").append(entries[last.at(lower)].second);
                rebuilt.append(m_strText, line.end, line.next - line.end);
                replaced = true;
            }
        }
        if (!replaced) {
            rebuilt.append(m_strText, line.begin, line.next - line.begin);
        }
        if (i == lastContent) {
            if (!line.terminated) {
                rebuilt += eol;
            }
            for (const auto& key : order) {
                if (present.count(key) == 0) {
                    rebuilt.append(keyLine(key)).append(eol);
                }
            }
        }
    }
    if (lastContent == header) { // an empty section: the keys follow its header
        if (!m_lines[header].terminated) {
            rebuilt.insert(m_lines[header].next, eol);
        }
        std::string keys;
        for (const auto& key : order) {
            keys.append(keyLine(key)).append(eol);
        }
        rebuilt.insert(m_lines[header].next + (m_lines[header].terminated ? 0 : eol.size()), keys);
    }
    if (end < m_lines.size()) {
        rebuilt.append(m_strText, m_lines[end].begin, std::string::npos);
    }
    m_strText = std::move(rebuilt);
    Parse();
    return true;
}

bool ProfileText::DeleteKey(std::string_view section, std::string_view key) {
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        return false;
    }
    const std::size_t found = FindKey(header, key);
    if (found == std::string::npos) {
        return false;
    }
    m_strText.erase(m_lines[found].begin, m_lines[found].next - m_lines[found].begin);
    Parse();
    return true;
}

bool ProfileText::DeleteSection(std::string_view section) {
    section = Trim(section);
    bool removed = false;
    // Walk backwards so that the offsets of the lines still to visit stay valid.
    std::size_t sectionEnd = m_strText.size();
    for (std::size_t i = m_lines.size(); i-- > 0;) {
        if (m_lines[i].kind != LineKind::Section) {
            continue;
        }
        if (EqualNames(Name(m_lines[i]), section)) {
            std::size_t from = m_lines[i].begin;
            if (from == 0 && m_strText.starts_with(kBom)) {
                from = kBom.size(); // the byte-order mark belongs to the file, not the section
            }
            m_strText.erase(from, sectionEnd - from);
            removed = true;
        }
        sectionEnd = m_lines[i].begin;
    }
    if (removed) {
        Parse();
    }
    return removed;
}

std::vector<ProfileText::Entry> ProfileText::Entries() const {
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != LineKind::Section || FindSection(Name(m_lines[i])) != i) {
            continue; // only the first section of a name is reachable
        }
        const std::string_view section = Name(m_lines[i]);
        for (std::size_t k = i + 1; k < m_lines.size() && m_lines[k].kind != LineKind::Section;
             ++k) {
            if (m_lines[k].kind == LineKind::Key && FindKey(i, Name(m_lines[k])) == k) {
                entries.push_back({std::string(section), std::string(Name(m_lines[k])),
                                   std::string(Value(m_lines[k]))});
            }
        }
    }
    return entries;
}

std::string ResolveProfilePath(const std::string& file) {
    if (file.find('/') == std::string::npos) {
        return SystemConfigDir() + "/" + file;
    }
    return file;
}

std::size_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string& value,
                                    std::size_t size, const std::string& file) {
    if (size == 0) {
        value.clear();
        return 0;
    }
    std::string_view result = defaultValue;
    while (!result.empty() && IsBlank(result.back())) {
        result.remove_suffix(1);
    }
    std::string text;
    std::optional<std::string> found;
    struct stat st {};
    int error = 0;
    if (!file.empty() &&
        ReadFileText(ResolveProfilePath(file), text, st, error) == ReadResult::Ok) {
        found = ProfileText(std::move(text)).Find(section, key);
        if (found) {
            result = StripQuotes(*found);
        }
    }
    // Every reader of these values treats them as C texts.
    result = result.substr(0, result.find('\0'));
    value.assign(CutUtf8(result, size - 1));
    return value.size();
}

ProfileSnapshot::ProfileSnapshot(const std::string& file) {
    std::string text;
    struct stat st {};
    int error = 0;
    if (file.empty() || ReadFileText(ResolveProfilePath(file), text, st, error) != ReadResult::Ok) {
        return;
    }
    const ProfileText profile(std::move(text));
    std::unordered_map<std::string, std::size_t> firstHeader;
    std::size_t current = std::string::npos;
    bool reachable = false;
    std::string sectionKey;
    for (std::size_t i = 0; i < profile.m_lines.size(); ++i) {
        const auto& line = profile.m_lines[i];
        if (line.kind == ProfileText::LineKind::Section) {
            current = i;
            sectionKey = LowerName(profile.Name(line));
            // Only the first section of a name is ever read.
            reachable = firstHeader.emplace(sectionKey, i).second;
        } else if (line.kind == ProfileText::LineKind::Key && current != std::string::npos &&
                   reachable) {
            m_values.emplace(sectionKey + '\0' + LowerName(profile.Name(line)),
                             std::string(profile.Value(line)));
        }
    }
}

std::size_t ProfileSnapshot::Get(std::string_view section, std::string_view key,
                                 std::string_view defaultValue, std::string& value,
                                 std::size_t size) const {
    if (size == 0) {
        value.clear();
        return 0;
    }
    std::string_view result = defaultValue;
    while (!result.empty() && IsBlank(result.back())) {
        result.remove_suffix(1);
    }
    const auto it = m_values.find(LowerName(Trim(section)) + '\0' + LowerName(Trim(key)));
    if (it != m_values.end()) {
        result = StripQuotes(it->second);
    }
    result = result.substr(0, result.find('\0'));
    value.assign(CutUtf8(result, size - 1));
    return value.size();
}

namespace {

enum class Edit { Changed, Unchanged, Refused };

// Reads `file`, lets `edit` change its text, and replaces the file atomically when the text
// changed. `edit` answers whether it changed anything, and Refused for names or values that
// cannot be stored (EINVAL).
template <typename EditFn> bool EditProfileFile(const std::string& file, EditFn edit) {
    if (file.empty()) {
        SetLastError(EINVAL);
        return false;
    }
    const std::string path = ReplaceTarget(ResolveProfilePath(file));
    std::string old;
    struct stat st {};
    int error = 0;
    const ReadResult read = ReadFileText(path, old, st, error);
    if (read == ReadResult::Failed) {
        SetLastError(static_cast<uint32_t>(error));
        return false;
    }
    const bool exists = read == ReadResult::Ok;
    ProfileText profile(old);
    switch (edit(profile, exists)) {
    case Edit::Refused:
        SetLastError(EINVAL);
        return false;
    case Edit::Unchanged:
        return true;
    case Edit::Changed:
        break;
    }
    return ReplaceFileAtomically(path, profile.Text(), exists ? &st : nullptr);
}

} // namespace

bool WritePrivateProfileEntries(const char* section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::string& file) {
    if (section == nullptr) {
        SetLastError(EINVAL);
        return false;
    }
    return EditProfileFile(file, [&](ProfileText& profile, bool exists) {
        const std::string old = profile.Text();
        if (!profile.SetMany(section, entries))
            return Edit::Refused;
        return exists && profile.Text() == old ? Edit::Unchanged : Edit::Changed;
    });
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
    if (section == nullptr) {
        SetLastError(EINVAL);
        return false;
    }
    return EditProfileFile(file, [&](ProfileText& profile, bool exists) {
        const std::string old = profile.Text();
        if (key == nullptr) {
            profile.DeleteSection(section);
        } else if (value == nullptr) {
            profile.DeleteKey(section, key);
        } else if (!profile.Set(section, key, value)) {
            return Edit::Refused;
        }
        // Nothing to change, or nothing to delete in a missing file.
        if (profile.Text() == old && (exists || key == nullptr || value == nullptr))
            return Edit::Unchanged;
        return Edit::Changed;
    });
}
