// mivoklient-cli: the time-stamp client on the command line.
#include "cli/CliCommands.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Command {
    const char* name;
    int (*run)(const Args&);
};

constexpr Command kCommands[] = {
    {"digest", CmdDigest},
    {"decode", CmdDecode},
};

constexpr const char* kHelp =
    R"(mivoklient-cli - klient kvalifikovaných časových razítek (RFC 3161)

Použití:
  mivoklient-cli digest [--hash KÓD] SOUBOR
      Vypíše miniaturu (hash) souboru šestnáctkově.
      KÓD: 0 SHA1, 1 MD5, 2 SHA-256 (výchozí), 3 SHA-384, 4 SHA-512.
  mivoklient-cli decode RAZÍTKO
      Vypíše dekódované záznamy souboru .tsr (celá odpověď) nebo .tst (token)
      jako řádky "název: hodnota": stav odpovědi, položky TSTInfo a TAC, je-li přítomen.
      Odpověď a token se rozlišují podle obsahu, ne podle přípony.
  mivoklient-cli --help
      Tato nápověda.

Návratové kódy:
  0  příkaz proběhl úspěšně
  1  operace selhala; důvod je vypsán na standardní chybový výstup
  2  nesprávně zadaný příkaz nebo argumenty
)";

} // namespace

int UsageError(const std::string& what) {
    std::fprintf(stderr, "mivoklient-cli: %s\nNápověda: mivoklient-cli --help\n", what.c_str());
    return EXIT_USAGE;
}

int main(int argc, char** argv) {
    if (argc < 2)
        return UsageError("chybí příkaz");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(kHelp, stdout);
        return EXIT_OK;
    }
    const Args args(argv + 2, argv + argc);
    for (const auto& c : kCommands)
        if (name == c.name)
            return c.run(args);
    return UsageError("neznámý příkaz '" + name + "'");
}
