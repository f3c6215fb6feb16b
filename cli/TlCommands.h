// The commands for the EU trusted lists, on arguments the command line has already parsed:
//
//   tl update [--lotl URL] [--only CZ,SK] [--ini INI]   download, verify and store the lists
//   tl import SLOŽKA [--only CZ,SK]                     the same from files downloaded elsewhere
//   tl status                                           what is stored, per territory
//
// Each prints its results (one line per list) on standard output and the reasons of
// failures on standard error, and answers the process exit code (cli/CliCommands.h). The
// command line reaches them through its table (cli/CliOptions.cpp), which gives their help.
#pragma once

#include <string>
#include <vector>

struct TlUpdateArgs {
    std::string lotlUrl;           // empty: the EU's published address
    std::vector<std::string> only; // territory codes; empty: all
    std::string iniPath;           // settings with the proxy; empty: the user's
};

struct TlImportArgs {
    std::string folder;
    std::vector<std::string> only;
};

struct TlStatusArgs {};

int CmdTlUpdate(const TlUpdateArgs& args);
int CmdTlImport(const TlImportArgs& args);
int CmdTlStatus(const TlStatusArgs& args);

// Splits "CZ,sk" into {"CZ", "SK"}. False when a part is not a two-letter code.
[[nodiscard]] bool ParseTerritoryList(const std::string& text, std::vector<std::string>& codes);
