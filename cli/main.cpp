// mivoklient-cli: the time-stamp client on the command line.
#include "cli/CliCommands.h"

#include "support/Messages.h"

#include <cstddef>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return UsageError(LoadResString(IDS_CLI_NO_COMMAND));
    const Args words(argv + 1, argv + argc);
    std::size_t used = 0;
    const CliCommand* command = FindCliCommand(words, used);
    if (command == nullptr)
        return UsageError(FormatRes(IDS_CLI_UNKNOWN_COMMAND, words[0]));
    CliArgs args;
    std::string error;
    if (!ParseCommandLine(*command,
                          Args(words.begin() + static_cast<std::ptrdiff_t>(used), words.end()),
                          args, error))
        return UsageError(error);
    return command->run(args);
}
