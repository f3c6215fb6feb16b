// The commands of mivoklient-cli and their options, in one table from which both the
// parsing of a command line and the help text come. Each command answers the process exit
// code.
#pragma once

#include "support/StringIds.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum ExitCode : int {
    EXIT_OK = 0,     // the command did what it was asked
    EXIT_FAILED = 1, // the operation failed; the reason is on standard error
    EXIT_USAGE = 2,  // the command line was not understood
};

using Args = std::vector<std::string>;

// One option of a command. An argument that starts with "-" (but is not "-" alone) is an
// option: one the command does not know is a usage error, unless it comes after "--",
// which ends the options. An option's value is the next argument, whatever it looks like.
struct CliOption {
    std::string_view name; // as typed, e.g. "--ini"
    // String id of the value's placeholder and, after "\n", what the value is (the usage
    // error "<name> potřebuje <what>" says it); 0 for a flag without a value.
    uint32_t value = 0;
    bool required = false;     // the command cannot do without it
    bool emptyAllowed = false; // an empty value means something (else a usage error)
    bool path = false;         // the value names a file: it is made absolute (AbsolutePath)
};

inline constexpr CliOption kOptIni{.name = "--ini", .value = IDS_CLI_VALUE_INI, .path = true};
inline constexpr CliOption kOptJson{"--json"};
inline constexpr CliOption kOptHash{"--hash", IDS_CLI_VALUE_HASH};
inline constexpr CliOption kOptPolicy{"--policy", IDS_CLI_VALUE_POLICY, false, true};
inline constexpr CliOption kOptUrl{"--url", IDS_CLI_VALUE_URL};
inline constexpr CliOption kOptRequestOut{
    .name = "-o", .value = IDS_CLI_VALUE_REQUEST_OUT, .path = true};
inline constexpr CliOption kOptReplyOut{
    .name = "-o", .value = IDS_CLI_VALUE_REPLY_OUT, .required = true, .path = true};
inline constexpr CliOption kOptYes{"--yes"};
inline constexpr CliOption kOptStrict{"--strict"};
inline constexpr CliOption kOptQualified{"--qualified"};
inline constexpr CliOption kOptLotl{"--lotl", IDS_CLI_VALUE_LOTL};
inline constexpr CliOption kOptOnly{"--only", IDS_CLI_VALUE_ONLY};
inline constexpr CliOption kOptUser{"--user", IDS_CLI_VALUE_USER};
inline constexpr CliOption kOptCheck{"--check"};

struct CliCommand;

// A command line after the command's name, parsed: the options given (the last of an
// option given twice wins) and the other arguments in order.
struct CliArgs {
    const CliCommand* command = nullptr;
    std::map<std::string, std::string, std::less<>> options;
    std::vector<std::string> plain;

    bool Has(const CliOption& option) const { return options.contains(option.name); }
    // The option's value; empty when it was not given.
    std::string Value(const CliOption& option) const;
};

inline constexpr std::size_t kAnyCount = std::numeric_limits<std::size_t>::max();

struct CliCommand {
    // One word, or a group's name and the command's within it ("tl update").
    std::string_view name;
    int (*run)(const CliArgs& args);
    std::span<const CliOption> options;
    // String id of the help: the plain arguments on the first line (empty when there are
    // none), then the description.
    uint32_t help;
    std::size_t minPlain;
    std::size_t maxPlain;
    // Usage errors when there are fewer or more plain arguments ("%s" = the command's name);
    // tooMany 0: "nečekaný argument" with the first one too many.
    uint32_t tooFew;
    uint32_t tooMany;
    // Other names of the command.
    std::span<const std::string_view> aliases = {};
    // The plain arguments name files: each is made absolute (AbsolutePath) as it is parsed.
    bool plainPaths = true;
};

// Every command, in the order the help lists them.
std::span<const CliCommand> CliCommands();
// The command called `name` (or one of its aliases); null when there is none.
const CliCommand* FindCliCommand(std::string_view name);
// The command that the first words of `words` name: one word, or two for a command within a
// group ("trust add"); `used` gets how many words named it. Null when none does.
const CliCommand* FindCliCommand(const Args& words, std::size_t& used);
// Parses `args` for `command`. False, with the usage error in `error`, when the command
// line is not one the command takes. File names, as plain arguments and as option values,
// come out absolute against the current folder: whatever the command stores or prints
// names the same file wherever it is read next.
[[nodiscard]] bool ParseCommandLine(const CliCommand& command, const Args& args, CliArgs& parsed,
                                    std::string& error);
// The whole --help text: every command with its options and arguments, then the exit codes.
std::string HelpText();

// Prints a usage error with a hint to --help and answers EXIT_USAGE.
[[nodiscard]] int UsageError(const std::string& what);
// The code 0 to 4 given with --hash, or `code` unchanged when the option was not given;
// false for any other value.
[[nodiscard]] bool HashCodeOption(const CliArgs& args, int& code);
// The usage error of a command line without the plain arguments its command needs (an
// empty one counts as missing).
[[nodiscard]] int MissingArgumentError(const CliArgs& args);

[[nodiscard]] int CmdDigest(const CliArgs& args);
[[nodiscard]] int CmdDecode(const CliArgs& args);
[[nodiscard]] int CmdVerify(const CliArgs& args);
[[nodiscard]] int CmdRequest(const CliArgs& args);
[[nodiscard]] int CmdPost(const CliArgs& args);
[[nodiscard]] int CmdStamp(const CliArgs& args);
[[nodiscard]] int CmdShow(const CliArgs& args);
[[nodiscard]] int CmdList(const CliArgs& args);
[[nodiscard]] int CmdAdd(const CliArgs& args);
[[nodiscard]] int CmdRemove(const CliArgs& args);
[[nodiscard]] int CmdHelp(const CliArgs& args);
// trust add, trust list, trust remove: the user's trust folder.
[[nodiscard]] int CmdTrustAdd(const CliArgs& args);
[[nodiscard]] int CmdTrustList(const CliArgs& args);
[[nodiscard]] int CmdTrustRemove(const CliArgs& args);
// tl update, tl import, tl status (cli/TlCommands.h) on the parsed command line.
[[nodiscard]] int CmdTlUpdateLine(const CliArgs& args);
[[nodiscard]] int CmdTlImportLine(const CliArgs& args);
[[nodiscard]] int CmdTlStatusLine(const CliArgs& args);
