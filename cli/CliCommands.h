// The commands of mivoklient-cli. Each answers the process exit code.
#pragma once

#include <string>
#include <vector>

enum ExitCode : int {
    EXIT_OK = 0,     // the command did what it was asked
    EXIT_FAILED = 1, // the operation failed; the reason is on standard error
    EXIT_USAGE = 2,  // the command line was not understood
};

using Args = std::vector<std::string>;

int CmdDigest(const Args& args);
int CmdDecode(const Args& args);
int CmdVerify(const Args& args);
int CmdRequest(const Args& args);
int CmdPost(const Args& args);
int CmdStamp(const Args& args);
int CmdShow(const Args& args);
int CmdList(const Args& args);
int CmdAdd(const Args& args);
int CmdRemove(const Args& args);

// Prints a usage error with a hint to --help and answers EXIT_USAGE.
int UsageError(const std::string& what);
