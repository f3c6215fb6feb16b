// mivoklient-cli: the time-stamp client on the command line.
#include "cli/CliCommands.h"

#include "support/Messages.h"

#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return UsageError(LoadResString(IDS_CLI_NO_COMMAND));
    const std::string name = argv[1];
    const CliCommand* command = FindCliCommand(name);
    if (command == nullptr)
        return UsageError(FormatRes(IDS_CLI_UNKNOWN_COMMAND, name));
    CliArgs args;
    std::string error;
    if (!ParseCommandLine(*command, Args(argv + 2, argv + argc), args, error))
        return UsageError(error);
    return command->run(args);
}
