// The table of commands and options, the parsing of a command line by it, and the help
// text made from it.
#include "cli/CliCommands.h"

#include "support/Messages.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr CliOption kIniOnly[] = {kOptIni};
constexpr CliOption kDigestOptions[] = {kOptHash};
constexpr CliOption kShowOptions[] = {kOptIni, kOptJson};
constexpr CliOption kRemoveOptions[] = {kOptIni, kOptYes};
constexpr CliOption kVerifyOptions[] = {kOptIni, kOptStrict, kOptQualified};
constexpr CliOption kYesOnly[] = {kOptYes};
constexpr CliOption kTlUpdateOptions[] = {kOptLotl, kOptOnly, kOptIni};
constexpr CliOption kTlImportOptions[] = {kOptOnly};
constexpr CliOption kListOptions[] = {kOptIni, kOptCheck};
constexpr CliOption kRequestOptions[] = {kOptHash, kOptPolicy, kOptIni, kOptRequestOut};
constexpr CliOption kPostOptions[] = {kOptUrl, kOptIni, kOptUser, kOptReplyOut};
constexpr CliOption kStampOptions[] = {kOptIni, kOptUser};
constexpr std::string_view kHelpAliases[] = {"-h", "help"};

constexpr CliCommand kCommands[] = {
    {"digest", CmdDigest, kDigestOptions, IDS_CLI_HELP_DIGEST, 1, 1, IDS_CLI_NO_FILE, 0},
    {"decode",
     CmdDecode,
     {},
     IDS_CLI_HELP_DECODE,
     1,
     1,
     IDS_CLI_NEEDS_ONE_STAMP,
     IDS_CLI_NEEDS_ONE_STAMP},
    {"stamp", CmdStamp, kStampOptions, IDS_CLI_HELP_STAMP, 1, kAnyCount, IDS_CLI_NEEDS_FILES, 0},
    {"verify", CmdVerify, kVerifyOptions, IDS_CLI_HELP_VERIFY, 1, 2, IDS_CLI_NEEDS_STAMP,
     IDS_CLI_NEEDS_STAMP},
    {"show", CmdShow, kShowOptions, IDS_CLI_HELP_SHOW, 1, 2, IDS_CLI_NEEDS_STAMP,
     IDS_CLI_NEEDS_STAMP},
    {"list", CmdList, kListOptions, IDS_CLI_HELP_LIST, 0, 0, 0, IDS_CLI_NO_ARGUMENTS},
    {"add", CmdAdd, kIniOnly, IDS_CLI_HELP_ADD, 1, 2, IDS_CLI_NEEDS_STAMP, IDS_CLI_NEEDS_STAMP},
    {"remove",
     CmdRemove,
     kRemoveOptions,
     IDS_CLI_HELP_REMOVE,
     1,
     1,
     IDS_CLI_NEEDS_NUMBER,
     IDS_CLI_NEEDS_NUMBER,
     {},
     false},
    {"request", CmdRequest, kRequestOptions, IDS_CLI_HELP_REQUEST, 1, 1, IDS_CLI_NO_FILE, 0},
    {"post", CmdPost, kPostOptions, IDS_CLI_HELP_POST, 1, 1, IDS_CLI_NO_REQUEST_FILE, 0},
    {"trust add", CmdTrustAdd, {}, IDS_CLI_HELP_TRUST_ADD, 1, 1, IDS_CLI_NO_FILE, 0},
    {"trust list", CmdTrustList, {}, IDS_CLI_HELP_TRUST_LIST, 0, 0, 0, IDS_CLI_NO_ARGUMENTS},
    {"trust remove",
     CmdTrustRemove,
     kYesOnly,
     IDS_CLI_HELP_TRUST_REMOVE,
     1,
     1,
     IDS_CLI_NEEDS_NUMBER,
     IDS_CLI_NEEDS_NUMBER,
     {},
     false},
    {"tl update", CmdTlUpdateLine, kTlUpdateOptions, IDS_CLI_HELP_TL_UPDATE, 0, 0, 0,
     IDS_CLI_NO_ARGUMENTS},
    {"tl import", CmdTlImportLine, kTlImportOptions, IDS_CLI_HELP_TL_IMPORT, 1, 1,
     IDS_CLI_NEEDS_FOLDER, IDS_CLI_NEEDS_FOLDER},
    {"tl status", CmdTlStatusLine, {}, IDS_CLI_HELP_TL_STATUS, 0, 0, 0, IDS_CLI_NO_ARGUMENTS},
    {"--help", CmdHelp, {}, IDS_CLI_HELP_HELP, 0, 0, 0, 0, kHelpAliases},
};

constexpr std::array<std::pair<ExitCode, uint32_t>, 3> kExitCodes = {{
    {EXIT_OK, IDS_CLI_EXIT_OK},
    {EXIT_FAILED, IDS_CLI_EXIT_FAILED},
    {EXIT_USAGE, IDS_CLI_EXIT_USAGE},
}};

// The text of `id` before and after its first line feed.
std::pair<std::string, std::string> SplitFirstLine(uint32_t id) {
    const std::string text = LoadResString(id);
    const std::size_t newline = text.find('\n');
    if (newline == std::string::npos)
        return {text, ""};
    return {text.substr(0, newline), text.substr(newline + 1)};
}

bool IsOptionLike(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

const CliOption* FindOption(const CliCommand& command, std::string_view name) {
    const auto it = std::find_if(command.options.begin(), command.options.end(),
                                 [name](const CliOption& o) { return o.name == name; });
    return it != command.options.end() ? &*it : nullptr;
}

// The usage error of a plain argument count outside the command's range, or "".
std::string CountError(const CliCommand& command, const std::vector<std::string>& plain) {
    if (plain.size() < command.minPlain)
        return FormatRes(command.tooFew, command.name);
    if (plain.size() > command.maxPlain)
        return command.tooMany != 0
                   ? FormatRes(command.tooMany, command.name)
                   : FormatRes(IDS_CLI_UNEXPECTED_ARGUMENT, plain[command.maxPlain]);
    return {};
}

// "  mivoklient-cli NAME [--option VALUE]... ARGUMENTS", then the description indented.
std::string CommandHelp(const CliCommand& command) {
    const auto [arguments, description] = SplitFirstLine(command.help);
    std::string text = "  mivoklient-cli " + std::string(command.name);
    for (const CliOption& option : command.options) {
        std::string usage(option.name);
        if (option.value != 0)
            usage += " " + SplitFirstLine(option.value).first;
        text += option.required ? " " + usage : " [" + usage + "]";
    }
    if (!arguments.empty())
        text += " " + arguments;
    text += "\n";
    std::size_t start = 0;
    while (start < description.size()) {
        std::size_t end = description.find('\n', start);
        if (end == std::string::npos)
            end = description.size();
        text += "      " + description.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return text;
}

// One line per command name and alias, for the shell's completion:
// "NAME<TAB>OPTION[=VALUE] ...<TAB>ARGUMENTS", VALUE and ARGUMENTS as the help writes them.
int CmdCompletionTable(const CliArgs&) {
    for (const CliCommand& command : kCommands) {
        std::string rest = "\t";
        for (const CliOption& option : command.options) {
            if (rest.size() > 1)
                rest += ' ';
            rest += option.name;
            if (option.value != 0)
                rest += "=" + SplitFirstLine(option.value).first;
        }
        rest += "\t" + SplitFirstLine(command.help).first + "\n";
        std::fputs((std::string(command.name) + rest).c_str(), stdout);
        for (const std::string_view alias : command.aliases)
            std::fputs((std::string(alias) + rest).c_str(), stdout);
    }
    return EXIT_OK;
}

// Not in the help: the shell's completion script asks for it.
constexpr CliCommand kCompletionTable{"--completion-table", CmdCompletionTable, {}, 0, 0, 0, 0, 0};

} // namespace

std::string CliArgs::Value(const CliOption& option) const {
    const auto it = options.find(option.name);
    return it != options.end() ? it->second : std::string();
}

std::span<const CliCommand> CliCommands() {
    return kCommands;
}

const CliCommand* FindCliCommand(std::string_view name) {
    if (name == kCompletionTable.name)
        return &kCompletionTable;
    for (const CliCommand& command : kCommands)
        if (command.name == name || std::find(command.aliases.begin(), command.aliases.end(),
                                              name) != command.aliases.end())
            return &command;
    return nullptr;
}

const CliCommand* FindCliCommand(const Args& words, std::size_t& used) {
    used = 0;
    if (words.empty())
        return nullptr;
    if (const CliCommand* command = FindCliCommand(words[0])) {
        used = 1;
        return command;
    }
    // A command within a group: the group's name is never a command of its own.
    if (words.size() < 2 || words[0].find(' ') != std::string::npos)
        return nullptr;
    const CliCommand* command = FindCliCommand(words[0] + " " + words[1]);
    used = command != nullptr ? 2 : 0;
    return command;
}

bool ParseCommandLine(const CliCommand& command, const Args& args, CliArgs& parsed,
                      std::string& error) {
    parsed = CliArgs{};
    parsed.command = &command;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !IsOptionLike(arg)) {
            parsed.plain.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const CliOption* option = FindOption(command, arg);
        if (option == nullptr) {
            error = FormatRes(IDS_CLI_UNKNOWN_OPTION, arg);
            return false;
        }
        std::string value;
        if (option->value != 0) {
            if (i + 1 == args.size() || (args[i + 1].empty() && !option->emptyAllowed)) {
                error = FormatRes(IDS_CLI_OPTION_NEEDS_VALUE, option->name,
                                  SplitFirstLine(option->value).second);
                return false;
            }
            value = args[++i];
        }
        if (option->path)
            value = AbsolutePath(value);
        parsed.options.insert_or_assign(std::string(option->name), std::move(value));
    }
    for (const CliOption& option : command.options) {
        if (option.required && !parsed.Has(option)) {
            error =
                FormatRes(IDS_CLI_OPTION_MISSING, option.name, SplitFirstLine(option.value).first);
            return false;
        }
    }
    // A usage error quotes the arguments as they were typed.
    error = CountError(command, parsed.plain);
    if (!error.empty())
        return false;
    if (command.plainPaths)
        for (std::string& plain : parsed.plain)
            plain = AbsolutePath(plain);
    return true;
}

std::string HelpText() {
    std::string text = LoadResString(IDS_CLI_HELP_INTRO) + "\n";
    for (const CliCommand& command : kCommands)
        text += CommandHelp(command);
    text += "\n" + LoadResString(IDS_CLI_HELP_SETTINGS) + "\n\n" +
            LoadResString(IDS_CLI_HELP_LOGIN) + "\n\n" + LoadResString(IDS_CLI_HELP_EXIT_CODES) +
            "\n";
    for (const auto& [code, id] : kExitCodes)
        text += FormatText("  %d  %s\n", static_cast<int>(code), LoadResString(id));
    return text;
}

int UsageError(const std::string& what) {
    std::fprintf(stderr, "%s\n", FormatRes(IDS_CLI_USAGE_ERROR, what).c_str());
    return EXIT_USAGE;
}

bool HashCodeOption(const CliArgs& args, int& code) {
    if (!args.Has(kOptHash))
        return true;
    const std::string value = args.Value(kOptHash);
    if (value.size() != 1 || value[0] < '0' || value[0] > '4')
        return false;
    code = value[0] - '0';
    return true;
}

int MissingArgumentError(const CliArgs& args) {
    return UsageError(FormatRes(args.command->tooFew, args.command->name));
}

int CmdHelp(const CliArgs&) {
    std::fputs(HelpText().c_str(), stdout);
    return EXIT_OK;
}
