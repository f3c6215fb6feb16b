// The commands that work on the document and the registry, as the window would: stamp,
// verify, show, list, add, remove. Each runs one CliSession, whose registry writes every
// change at once; a change that could not be written fails the command.
#include "cli/CliCommands.h"
#include "cli/CliConnectionPrompts.h"
#include "cli/CliFrontEnd.h"

#include "document/DetailFields.h"
#include "list/EntryCheck.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

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
        std::fprintf(stderr, "%s\n", FormatRes(IDS_CLI_HASH_PROGRESS, m_name, percent).c_str());
    }

private:
    static constexpr std::uint64_t kLargeFile = 32ull << 20;
    std::string m_name;
    int m_lastTenth = -1;
};

} // namespace

int CmdStamp(const CliArgs& args) {
    CliSession session(args.Value(kOptIni), false);
    CliConnectionPrompts prompts(UserOption(args));
    // New stamps are checked as they are shown; only failures need saying.
    const std::size_t count = args.plain.size();
    std::size_t stamped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& file = args.plain[i];
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
        std::printf("%s\n", FormatRes(IDS_CLI_STAMPED_COUNT, stamped, count).c_str());
    // A stamp that is not on the stored list is a failure too.
    return stamped == count && session.ListSaved() ? EXIT_OK : EXIT_FAILED;
}

int CmdVerify(const CliArgs& args) {
    const std::vector<std::string>& plain = args.plain;
    if (plain[0].empty())
        return MissingArgumentError(args);
    CliSession session(args.Value(kOptIni), false);
    session.SetVerifyAnswer(plain.size() == 2 ? plain[1] : std::string(), false);
    if (session.Doc().OpenStamp(plain[0], false) == 0)
        return UsageError(LoadResString(IDS_CLI_CANNOT_GUESS_SOURCE));
    if (session.Boxes().m_lastIcon != MsgIcon::Information)
        return EXIT_FAILED;
    // The stamp is in order; what the verdicts must say besides, the options tell.
    const StampVerdicts& verdicts = session.Doc().LastVerification();
    std::string refusal;
    if (args.Has(kOptStrict) && !(verdicts.trust && verdicts.trust->IsTrusted()))
        refusal = verdicts.trust ? verdicts.trust->message : std::string();
    else if (args.Has(kOptQualified) &&
             !(verdicts.qualified && verdicts.qualified->qualified == Qualified::Yes))
        refusal = verdicts.qualified ? verdicts.qualified->message : std::string();
    else
        return EXIT_OK;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return EXIT_FAILED;
}

int CmdShow(const CliArgs& args) {
    const std::vector<std::string>& plain = args.plain;
    if (plain[0].empty())
        return MissingArgumentError(args);
    CliSession session(args.Value(kOptIni), false);
    CZarnDoc& doc = session.Doc();
    const std::string source = plain.size() == 2 ? plain[1] : doc.GuessSourcePath(plain[0]);
    doc.LoadEntry({plain[0], source, ""});
    // Every detail field in the page's order, then the verdicts, each where it is published.
    const auto fields = DetailFields();
    const bool json = args.Has(kOptJson);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if ((fields[i].places & (json ? kShowJson : kShowText)) == 0)
            continue;
        lines.push_back(json ? "  " + JsonString(fields[i].name) + ": " +
                                   JsonString(doc.DetailText(i))
                             : std::string(fields[i].name) + ": " + doc.DetailText(i));
    }
    std::string text = json ? "{\n" : "";
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (json && i + 1 < lines.size() ? ",\n" : "\n");
    if (json)
        text += "}\n";
    std::fflush(stderr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return doc.SourceMatches() ? EXIT_OK : EXIT_FAILED;
}

int CmdList(const CliArgs& args) {
    CliSession session(args.Value(kOptIni), true);
    const auto& rows = session.Rows().m_rows;
    const bool check = args.Has(kOptCheck);
    std::vector<EntryStatus> statuses;
    if (check)
        statuses = CheckEntries(session.Registry().Entries());
    std::string text;
    bool allOk = true;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += std::to_string(i) + "\t" + rows[i].name + "\t";
        if (check && i < statuses.size()) {
            text += LoadResString(EntryStatusTextId(statuses[i])) + "\t";
            allOk = allOk && statuses[i] == EntryStatus::Ok;
        }
        text += rows[i].time + "\t" + session.Registry().GetAt(static_cast<int>(i)).m_strStampFile +
                "\n";
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return allOk ? EXIT_OK : EXIT_FAILED;
}

int CmdAdd(const CliArgs& args) {
    const std::vector<std::string>& plain = args.plain;
    if (plain[0].empty())
        return MissingArgumentError(args);
    CliSession session(args.Value(kOptIni), false);
    session.SetVerifyAnswer(plain.size() == 2 ? plain[1] : std::string(), true);
    // Adding shows the stamp, which checks it: a failed check is printed and reported.
    const int before = session.Boxes().m_nShown;
    if (session.Doc().OpenStamp(plain[0], true) == 0)
        return UsageError(LoadResString(IDS_CLI_CANNOT_GUESS_SOURCE));
    const int index = session.Doc().GetCurrentEntryIndex();
    if (index >= 0) {
        const auto& row = session.Rows().m_rows.at(static_cast<std::size_t>(index));
        std::printf("%d\t%s\t%s\n", index, row.name.c_str(), row.time.c_str());
    }
    return session.Boxes().m_nShown == before && session.ListSaved() ? EXIT_OK : EXIT_FAILED;
}

int CmdRemove(const CliArgs& args) {
    const std::string& text = args.plain[0];
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return UsageError(FormatRes(IDS_CLI_BAD_NUMBER, text));
    // The question before removing needs someone to answer it.
    const bool confirmed = args.Has(kOptYes);
    if (!confirmed && ::isatty(STDIN_FILENO) == 0)
        return UsageError(FormatRes(IDS_CLI_NEEDS_TERMINAL, args.command->name, kOptYes.name));
    const int index = std::stoi(text);
    CliSession session(args.Value(kOptIni), false);
    if (index >= session.Registry().GetCount()) {
        std::fprintf(
            stderr, "%s\n",
            FormatRes(IDS_CLI_NO_SUCH_ENTRY, index, session.Registry().GetCount()).c_str());
        return EXIT_FAILED;
    }
    // Choosing the row shows its stamp, as in the window; what that check says does not
    // matter for removing it.
    session.Boxes().m_bQuiet = true;
    session.ListPanel()->SelectRow(index);
    session.Boxes().m_bQuiet = false;
    session.Boxes().m_questions =
        confirmed ? CliMessageBoxes::Questions::AnswerYes : CliMessageBoxes::Questions::Ask;
    const CStampListEntry removed = session.Registry().GetAt(index);
    // The registry may take in other processes' changes as it stores the removal, so the
    // panel's answer tells whether the entry went, not the count.
    if (session.ListPanel()->DeleteSelected() != 1) {
        std::fprintf(stderr, "%s\n", LoadResString(IDS_CLI_NOT_REMOVED).c_str());
        return EXIT_FAILED;
    }
    if (!session.ListSaved())
        return EXIT_FAILED; // the write error has been printed
    std::printf("%s\n", FormatRes(IDS_CLI_REMOVED, removed.m_strStampFile).c_str());
    return EXIT_OK;
}
