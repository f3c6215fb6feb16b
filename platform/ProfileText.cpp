// The text of an INI file in memory: parsing into lines, lookups and edits.
#include "platform/Profile.h"
#include "platform/ProfileSyntax.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

using namespace profile_syntax;

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

// The keys of a SetMany call, checked and merged: per lower-cased key the value it ends
// with (its last) and the line it is added with when missing (its first spelling), and the
// order in which missing keys are added (by first mention).
struct ProfileText::SetPlan {
    std::unordered_map<std::string, std::string_view> values;
    std::unordered_map<std::string, std::string> lines;
    std::vector<std::string> order;

    // False when Set would refuse any of the keys or values.
    bool Build(const std::vector<std::pair<std::string, std::string>>& entries) {
        for (const auto& [name, value] : entries) {
            const std::string_view key = Trim(name);
            if (!StorableKey(key, value)) {
                return false;
            }
            std::string lower = LowerName(key);
            if (values.count(lower) == 0) {
                order.push_back(lower);
                lines.emplace(lower, std::string(key));
            }
            values[lower] = value;
        }
        for (auto& [lower, line] : lines) {
            line.append("=").append(values.at(lower));
        }
        return true;
    }
};

bool ProfileText::SetMany(std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& entries) {
    section = Trim(section);
    SetPlan plan;
    if (!StorableSection(section) || !plan.Build(entries)) {
        return false;
    }
    if (entries.empty()) {
        return true;
    }
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        AppendSection(section, plan);
    } else {
        RewriteSection(header, plan);
    }
    Parse();
    return true;
}

void ProfileText::AppendSection(std::string_view section, const SetPlan& plan) {
    const std::string eol(LineEnd());
    std::string addition;
    if (!m_strText.empty() && m_strText.back() != '\n') {
        addition += eol;
    }
    addition.append("[").append(section).append("]").append(eol);
    for (const auto& lower : plan.order) {
        addition.append(plan.lines.at(lower)).append(eol);
    }
    m_strText += addition;
}

// One walk over the section: existing keys (their first line) get their new values, the
// others go after the section's last non-empty line.
void ProfileText::RewriteSection(std::size_t header, const SetPlan& plan) {
    const std::string eol(LineEnd());
    std::unordered_map<std::string, bool> present;
    std::string rebuilt;
    rebuilt.reserve(m_strText.size() + plan.order.size() * 32);
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
    auto appendMissing = [&](std::string& to) {
        for (const auto& key : plan.order) {
            if (present.count(key) == 0) {
                to.append(plan.lines.at(key)).append(eol);
            }
        }
    };
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line& line = m_lines[i];
        const auto found = line.kind == LineKind::Key ? plan.values.find(LowerName(Name(line)))
                                                      : plan.values.end();
        if (found != plan.values.end() && present.emplace(found->first, true).second) {
            rebuilt.append(m_strText, line.begin, line.nameBegin - line.begin);
            rebuilt.append(Name(line)).append("=").append(found->second);
            rebuilt.append(m_strText, line.end, line.next - line.end);
        } else {
            rebuilt.append(m_strText, line.begin, line.next - line.begin);
        }
        if (i == lastContent) {
            if (!line.terminated) {
                rebuilt += eol;
            }
            appendMissing(rebuilt);
        }
    }
    if (lastContent == header) { // an empty section: the keys follow its header
        std::string keys = m_lines[header].terminated ? std::string() : eol;
        appendMissing(keys);
        rebuilt.insert(m_lines[header].next, keys);
    }
    if (end < m_lines.size()) {
        rebuilt.append(m_strText, m_lines[end].begin, std::string::npos);
    }
    m_strText = std::move(rebuilt);
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

std::vector<std::pair<std::string, std::string>>
ProfileText::SectionEntries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        return entries;
    }
    std::unordered_set<std::string> seen;
    for (std::size_t i = header + 1; i < m_lines.size() && m_lines[i].kind != LineKind::Section;
         ++i) {
        if (m_lines[i].kind == LineKind::Key && seen.insert(LowerName(Name(m_lines[i]))).second) {
            std::string_view value = StripQuotes(Value(m_lines[i]));
            value = value.substr(0, value.find('\0')); // read as a C text
            entries.emplace_back(std::string(Name(m_lines[i])), std::string(value));
        }
    }
    return entries;
}
