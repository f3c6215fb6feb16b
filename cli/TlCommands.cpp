// tl update, tl import, tl status: the EU trusted lists on the command line.
#include "cli/TlCommands.h"

#include "cli/CliCommands.h"
#include "core/ClientSettings.h"
#include "core/IClock.h"
#include "core/QualifiedVerdict.h"
#include "core/TrustedListCache.h"
#include "core/TrustedListSet.h"
#include "core/TrustedListUpdate.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <cctype>
#include <cstdio>

namespace {

using tl::TerritoryResult;
using State = TerritoryResult::State;

void PrintResult(const TerritoryResult& result) {
    const std::string name = tl::ListName(result.territory);
    switch (result.state) {
    case State::Updated:
        std::printf("%s\n", FormatRes(IDS_TL_RESULT_UPDATED, name, std::to_string(result.sequence),
                                      tl::UtcText(result.issued))
                                .c_str());
        break;
    case State::Unchanged:
        std::printf(
            "%s\n",
            FormatRes(IDS_TL_RESULT_UNCHANGED, name, std::to_string(result.sequence)).c_str());
        break;
    case State::Missing:
        std::printf("%s\n", result.message.c_str());
        break;
    case State::Refused:
    case State::Unavailable:
    case State::Cancelled:
        std::fprintf(stderr, "%s\n", result.message.c_str());
        break;
    }
    std::fflush(stdout);
}

// Runs the update from `source` and prints its course and summary.
int RunUpdate(tl::IListSource& source, const std::vector<std::string>& only) {
    tl::UpdateOptions options;
    options.only = only;
    options.progress = [](const tl::UpdateProgress& progress) {
        if (progress.result != nullptr)
            PrintResult(*progress.result);
        return true;
    };
    const tl::UpdateSummary summary = tl::UpdateTrustedLists(source, options);
    for (const std::string& territory : summary.removed)
        std::printf("%s\n", FormatRes(IDS_TL_RESULT_REMOVED, territory).c_str());
    const auto count = [&summary](State state) {
        return static_cast<int>(summary.Count(state));
    };
    std::printf("%s\n", FormatRes(IDS_TL_SUMMARY, count(State::Updated), count(State::Unchanged),
                                  count(State::Refused) + count(State::Unavailable) +
                                      count(State::Cancelled),
                                  count(State::Missing))
                            .c_str());
    ReloadStoredTrustedLists();
    return summary.Ok() ? EXIT_OK : EXIT_FAILED;
}

// "podpis ověřen …" when the stored XML is still the one verified, else the warning.
std::string SignatureText(const tl::ListCache& cache, const tl::ListIndex& index, bool& changed) {
    std::string xml;
    changed = !cache.ReadXml(index.territory, xml) || xml.size() != index.xmlSize ||
              tl::Sha256(xml) != index.xmlSha256;
    return changed ? LoadResString(IDS_TL_STATUS_CHANGED)
                   : FormatRes(IDS_TL_STATUS_SIGNED_BY, tl::UtcText(index.verifiedAt),
                               index.signerName);
}

} // namespace

bool ParseTerritoryList(const std::string& text, std::vector<std::string>& codes) {
    codes.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        std::string code =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        for (char& c : code)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!tl::IsTerritoryCode(code))
            return false;
        codes.push_back(code);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return !codes.empty();
}

int CmdTlUpdate(const TlUpdateArgs& args) {
    CClientSettings& settings = GetClientSettings();
    if (args.iniPath.empty())
        (void)UseUserIniFile(settings);
    else
        settings.SetIniPath(args.iniPath);
    settings.Load();
    tl::HttpListSource source(settings, args.lotlUrl.empty() ? tl::kEuLotlUrl : args.lotlUrl);
    return RunUpdate(source, args.only);
}

int CmdTlImport(const TlImportArgs& args) {
    tl::FolderListSource source(args.folder);
    return RunUpdate(source, args.only);
}

int CmdTlStatus(const TlStatusArgs& /*args*/) {
    const tl::ListCache cache(tl::TrustedListDir());
    const std::vector<std::string> territories = cache.Territories();
    if (territories.empty()) {
        std::printf("%s\n", FormatRes(IDS_TL_STATUS_EMPTY, cache.Dir()).c_str());
        return EXIT_OK;
    }
    std::printf("%s\n", FormatRes(IDS_TL_STATUS_HEADER, cache.Dir()).c_str());
    const uint64_t now = Clock().NowFileTime();
    bool faulty = false;
    for (const std::string& territory : territories) {
        tl::ListIndex index;
        std::string error;
        if (!cache.Load(territory, index, error)) {
            std::fprintf(stderr, "%s\n", FormatRes(IDS_TL_STATUS_BROKEN, territory, error).c_str());
            faulty = true;
            continue;
        }
        bool changed = false;
        const std::string signature = SignatureText(cache, index, changed);
        faulty = faulty || changed;
        const bool outdated = index.nextUpdate != 0 && now > index.nextUpdate;
        std::printf("%s\n", FormatRes(IDS_TL_STATUS_LINE, tl::ListName(territory),
                                      std::to_string(index.sequence), tl::UtcText(index.issued),
                                      index.nextUpdate != 0 ? tl::UtcText(index.nextUpdate)
                                                            : LoadResString(IDS_TL_STATUS_NO_NEXT),
                                      signature,
                                      LoadResString(outdated ? IDS_TL_STATUS_OUTDATED
                                                             : IDS_TL_STATUS_CURRENT))
                                .c_str());
    }
    return faulty ? EXIT_FAILED : EXIT_OK;
}
