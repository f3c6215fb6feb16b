// trust add, trust list, trust remove: the user's trust folder on the command line; and the
// commands of the EU trusted lists on the parsed command line.
#include "cli/CliCommands.h"
#include "cli/CliFrontEnd.h"
#include "cli/TlCommands.h"

#include "core/TrustFolders.h"
#include "platform/LastError.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int Failed(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    return EXIT_FAILED;
}

// The territories of --only; false (after the usage error) for a value that is none.
bool OnlyOption(const CliArgs& args, std::vector<std::string>& codes, int& exitCode) {
    codes.clear();
    if (!args.Has(kOptOnly))
        return true;
    if (ParseTerritoryList(args.Value(kOptOnly), codes))
        return true;
    exitCode = UsageError(FormatRes(IDS_CLI_BAD_TERRITORIES, args.Value(kOptOnly)));
    return false;
}

} // namespace

int CmdTrustAdd(const CliArgs& args) {
    const std::string& file = args.plain[0];
    if (file.empty())
        return MissingArgumentError(args);
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(file, bytes))
        return Failed(FormatResWithSystemError(IDS_FILE_READ_ERROR, file));
    std::string path;
    if (!AddTrustAnchorBytes(bytes, path)) {
        if (GetLastError() == EINVAL)
            return Failed(FormatRes(IDS_CLI_NO_CERTIFICATE, file));
        return Failed(FormatResWithSystemError(IDS_WRITE_ERROR, WritableTrustDir()));
    }
    // The list names the certificate as it was stored.
    std::vector<TrustedCertificate> listed;
    if (ListTrustAnchors(listed))
        for (const TrustedCertificate& cert : listed)
            if (cert.file == path) {
                std::printf(
                    "%s\n",
                    FormatRes(IDS_CLI_TRUST_ADDED, cert.subject, cert.sha256, path).c_str());
                return EXIT_OK;
            }
    std::printf("%s\n", path.c_str());
    return EXIT_OK;
}

int CmdTrustList(const CliArgs&) {
    std::vector<TrustedCertificate> listed;
    if (!ListTrustAnchors(listed))
        return Failed(FormatResWithSystemError(IDS_FILE_READ_ERROR, WritableTrustDir()));
    if (listed.empty()) {
        std::printf("%s\n", FormatRes(IDS_CLI_TRUST_EMPTY, WritableTrustDir()).c_str());
        return EXIT_OK;
    }
    std::string text;
    for (std::size_t i = 0; i < listed.size(); ++i)
        text += std::to_string(i) + "\t" + listed[i].subject + "\t" + listed[i].sha256 + "\t" +
                listed[i].file + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return EXIT_OK;
}

int CmdTrustRemove(const CliArgs& args) {
    const std::string& text = args.plain[0];
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return UsageError(FormatRes(IDS_CLI_BAD_NUMBER, text));
    // The question before removing needs someone to answer it.
    const bool confirmed = args.Has(kOptYes);
    if (!confirmed && ::isatty(STDIN_FILENO) == 0)
        return UsageError(FormatRes(IDS_CLI_NEEDS_TERMINAL, args.command->name, kOptYes.name));
    const std::size_t index = std::stoul(text);
    std::vector<TrustedCertificate> listed;
    if (!ListTrustAnchors(listed))
        return Failed(FormatResWithSystemError(IDS_FILE_READ_ERROR, WritableTrustDir()));
    if (index >= listed.size())
        return Failed(FormatRes(IDS_CLI_NO_SUCH_ENTRY, static_cast<int>(index),
                                static_cast<int>(listed.size())));
    const std::string subject = listed[index].subject;
    CliMessageBoxes boxes;
    boxes.m_questions =
        confirmed ? CliMessageBoxes::Questions::AnswerYes : CliMessageBoxes::Questions::Ask;
    if (boxes.Show(FormatRes(IDS_CLI_TRUST_REMOVE, subject), LoadResString(IDS_APP_TITLE),
                   MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return Failed(LoadResString(IDS_CLI_NOT_REMOVED));
    if (!RemoveTrustAnchor(index))
        return Failed(FormatResWithSystemError(IDS_WRITE_ERROR, listed[index].file));
    std::printf("%s\n", FormatRes(IDS_CLI_TRUST_REMOVED, subject).c_str());
    return EXIT_OK;
}

int CmdTlUpdateLine(const CliArgs& args) {
    TlUpdateArgs update;
    update.lotlUrl = args.Value(kOptLotl);
    update.iniPath = args.Value(kOptIni);
    int exitCode = EXIT_OK;
    if (!OnlyOption(args, update.only, exitCode))
        return exitCode;
    return CmdTlUpdate(update);
}

int CmdTlImportLine(const CliArgs& args) {
    TlImportArgs import;
    import.folder = args.plain[0];
    if (import.folder.empty())
        return MissingArgumentError(args);
    int exitCode = EXIT_OK;
    if (!OnlyOption(args, import.only, exitCode))
        return exitCode;
    return CmdTlImport(import);
}

int CmdTlStatusLine(const CliArgs&) {
    return CmdTlStatus({});
}
