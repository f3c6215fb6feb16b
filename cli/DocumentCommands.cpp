// The commands that work on the document and the registry, as the window would: stamp,
// verify, show, list, add, remove. Each runs one CliSession, which saves the registry at
// its end when it changed.
#include "cli/CliCommands.h"
#include "cli/CliFrontEnd.h"

#include "document/DetailFields.h"
#include "support/StringIds.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// Options every document command takes, and the plain arguments in order.
struct Parsed {
    std::string ini;
    bool json = false;
    std::vector<std::string> plain;
    std::string error;
};

Parsed Parse(const Args& args, bool allowJson) {
    Parsed p;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--ini") {
            if (++i == args.size() || args[i].empty()) {
                p.error = "--ini potřebuje cestu k souboru INI";
                return p;
            }
            p.ini = args[i];
        } else if (options && allowJson && a == "--json") {
            p.json = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            p.error = "neznámá volba '" + a + "'";
            return p;
        } else {
            p.plain.push_back(a);
        }
    }
    return p;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// Progress of hashing a large file, on standard error, in steps of ten percent.
class HashProgress {
public:
    explicit HashProgress(const std::string& name) : m_name(name) {}
    void operator()(std::uint64_t done, std::uint64_t total) {
        if (total < kLargeFile)
            return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent / 10 == m_lastTenth)
            return;
        m_lastTenth = percent / 10;
        std::fprintf(stderr, "  miniatura %s: %d %%\n", m_name.c_str(), percent);
    }

private:
    static constexpr std::uint64_t kLargeFile = 32ull << 20;
    std::string m_name;
    int m_lastTenth = -1;
};

} // namespace

int CmdStamp(const Args& args) {
    const Parsed p = Parse(args, false);
    if (!p.error.empty())
        return UsageError(p.error);
    if (p.plain.empty())
        return UsageError("stamp potřebuje alespoň jeden soubor");
    CliSession session(p.ini, false);
    // New stamps are checked as they are shown; only failures need saying.
    const std::size_t count = p.plain.size();
    std::size_t stamped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& file = p.plain[i];
        if (count > 1)
            std::printf("[%zu/%zu] %s\n", i + 1, count, file.c_str());
        std::fflush(stdout);
        HashProgress progress(file);
        session.Doc().SetDigestProgress(std::ref(progress));
        const int before = session.Registry().GetCount();
        if (session.Doc().CreateStamp(file) != 0) {
            ++stamped;
            const int index = session.Doc().GetCurrentEntryIndex();
            const std::string stamp =
                index >= 0 ? session.Registry().GetAt(index).m_strStampFile : std::string();
            std::printf("  %s %s\n", before < session.Registry().GetCount() ? "+" : "=",
                        stamp.c_str());
        }
    }
    session.Doc().SetDigestProgress({});
    if (count > 1)
        std::printf("Orazítkováno %zu z %zu souborů.\n", stamped, count);
    return stamped == count ? EXIT_OK : EXIT_FAILED;
}

int CmdVerify(const Args& args) {
    const Parsed p = Parse(args, false);
    if (!p.error.empty())
        return UsageError(p.error);
    if (p.plain.empty() || p.plain.size() > 2 || p.plain[0].empty())
        return UsageError("verify potřebuje soubor s razítkem a případně zdrojový soubor");
    CliSession session(p.ini, false);
    session.SetVerifyAnswer(p.plain.size() == 2 ? p.plain[1] : std::string(), false);
    if (session.Doc().OpenStamp(p.plain[0], false) == 0)
        return UsageError("zdrojový soubor nelze odvodit z názvu razítka; zadejte jej");
    return session.Boxes().m_lastIcon == MsgIcon::Information ? EXIT_OK : EXIT_FAILED;
}

int CmdShow(const Args& args) {
    const Parsed p = Parse(args, true);
    if (!p.error.empty())
        return UsageError(p.error);
    if (p.plain.empty() || p.plain.size() > 2 || p.plain[0].empty())
        return UsageError("show potřebuje soubor s razítkem a případně zdrojový soubor");
    CliSession session(p.ini, false);
    CZarnDoc& doc = session.Doc();
    const std::string source = p.plain.size() == 2 ? p.plain[1] : doc.GuessSourcePath(p.plain[0]);
    doc.LoadEntry({p.plain[0], source, "", ""});
    // Every detail field in the page's order.
    const auto fields = DetailFields();
    std::string text;
    if (p.json) {
        text = "{\n";
        for (std::size_t i = 0; i < fields.size(); ++i)
            text += "  " + JsonString(fields[i].name) + ": " + JsonString(doc.DetailText(i)) +
                    (i + 1 < fields.size() ? ",\n" : "\n");
        text += "}\n";
    } else {
        for (std::size_t i = 0; i < fields.size(); ++i)
            text += std::string(fields[i].name) + ": " + doc.DetailText(i) + "\n";
    }
    std::fflush(stderr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return doc.SourceMatches() ? EXIT_OK : EXIT_FAILED;
}

int CmdList(const Args& args) {
    const Parsed p = Parse(args, false);
    if (!p.error.empty())
        return UsageError(p.error);
    if (!p.plain.empty())
        return UsageError("list nemá žádné argumenty");
    CliSession session(p.ini, true);
    const auto& rows = session.Rows().m_rows;
    for (std::size_t i = 0; i < rows.size(); ++i)
        std::printf("%zu\t%s\t%s\t%s\n", i, rows[i].name.c_str(), rows[i].time.c_str(),
                    session.Registry().GetAt(static_cast<int>(i)).m_strStampFile.c_str());
    return EXIT_OK;
}

int CmdAdd(const Args& args) {
    const Parsed p = Parse(args, false);
    if (!p.error.empty())
        return UsageError(p.error);
    if (p.plain.empty() || p.plain.size() > 2 || p.plain[0].empty())
        return UsageError("add potřebuje soubor s razítkem a případně zdrojový soubor");
    CliSession session(p.ini, false);
    session.SetVerifyAnswer(p.plain.size() == 2 ? p.plain[1] : std::string(), true);
    // Adding shows the stamp, which checks it: a failed check is printed and reported.
    const int before = session.Boxes().m_nShown;
    if (session.Doc().OpenStamp(p.plain[0], true) == 0)
        return UsageError("zdrojový soubor nelze odvodit z názvu razítka; zadejte jej");
    const int index = session.Doc().GetCurrentEntryIndex();
    if (index >= 0) {
        const auto& row = session.Rows().m_rows.at(static_cast<std::size_t>(index));
        std::printf("%d\t%s\t%s\n", index, row.name.c_str(), row.time.c_str());
    }
    return session.Boxes().m_nShown == before ? EXIT_OK : EXIT_FAILED;
}

int CmdRemove(const Args& args) {
    const Parsed p = Parse(args, false);
    if (!p.error.empty())
        return UsageError(p.error);
    if (p.plain.size() != 1)
        return UsageError("remove potřebuje číslo položky (viz list)");
    const std::string& text = p.plain[0];
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return UsageError("neplatné číslo položky '" + text + "'");
    const int index = std::stoi(text);
    CliSession session(p.ini, false);
    if (index >= session.Registry().GetCount()) {
        std::fprintf(stderr, "Položka %d v seznamu není (seznam má %d položek).\n", index,
                     session.Registry().GetCount());
        return EXIT_FAILED;
    }
    // Choosing the row shows its stamp, as in the window; what that check says does not
    // matter for removing it.
    session.Boxes().m_bQuiet = true;
    session.ListPanel()->SelectRow(index);
    session.Boxes().m_bQuiet = false;
    const CStampListEntry removed = session.Registry().GetAt(index);
    const int before = session.Registry().GetCount();
    session.Doc().OnCommand(ID_DELETE_FROM_LIST);
    if (session.Registry().GetCount() != before - 1)
        return EXIT_FAILED;
    std::printf("Odebráno ze seznamu: %s\n", removed.m_strStampFile.c_str());
    return EXIT_OK;
}
