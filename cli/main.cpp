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
    {"digest", CmdDigest}, {"decode", CmdDecode}, {"verify", CmdVerify}, {"request", CmdRequest},
    {"post", CmdPost},     {"stamp", CmdStamp},   {"show", CmdShow},     {"list", CmdList},
    {"add", CmdAdd},       {"remove", CmdRemove},
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
  mivoklient-cli stamp [--ini INI] SOUBOR...
      Opatří každý SOUBOR kvalifikovaným časovým razítkem od serveru z nastavení,
      uloží je vedle něj (SOUBOR.tsr celá odpověď, nebo SOUBOR.tst jen token)
      a přidá do seznamu orazítkovaných souborů.
  mivoklient-cli verify [--ini INI] RAZÍTKO [ZDROJ]
      Ověří razítko (.tsr nebo .tst) a jeho podpis a porovná miniaturu zdrojového
      souboru s miniaturou v razítku. Bez ZDROJE se zdroj odvodí z názvu razítka
      (smlouva.pdf.tsr -> smlouva.pdf). Podpisový certifikát se hledá v razítku,
      jinak v adresáři addressbook v nastavení uživatele.
  mivoklient-cli show [--ini INI] [--json] RAZÍTKO [ZDROJ]
      Ověří razítko a vypíše všechny údaje stránky s podrobnostmi razítka
      jako řádky "pole: hodnota" (s --json jako objekt JSON).
  mivoklient-cli list [--ini INI]
      Vypíše seznam orazítkovaných souborů: číslo, název, UTC čas, cesta.
  mivoklient-cli add [--ini INI] RAZÍTKO [ZDROJ]
      Přidá razítko do seznamu (stejnou cestu nahradí) a ověří je.
  mivoklient-cli remove [--ini INI] ČÍSLO
      Odebere položku ze seznamu; soubory zůstanou na disku.
  mivoklient-cli request [--hash KÓD] [--policy OID] [--ini INI] SOUBOR [-o VÝSTUP.tsq]
      Sestaví žádost o časové razítko na SOUBOR (DER, výchozí SOUBOR.tsq).
      Hash a politika podle nastavení, nejsou-li zadány.
  mivoklient-cli post [--url URL] [--ini INI] ŽÁDOST.tsq -o ODPOVĚĎ.tsr
      Odešle žádost serveru časových razítek (URL a spojení podle nastavení)
      a po kontrole rámce uloží jeho odpověď.
      Nastavení se čte ze souboru mivoklient.ini uživatele, --ini zadá jiný.
  mivoklient-cli --help
      Tato nápověda.

Nastavení a seznam se čtou ze souboru mivoklient.ini uživatele
(~/.config/mivoklient/, nebo $MIVOKLIENT_CONFIG_DIR), --ini zadá jiný.
Seznam se uloží na konci příkazu, pokud se změnil.

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
