// The string table: every text the program shows, in Czech, UTF-8.
#include "support/StringIds.h"

#include <algorithm>
#include <array>

namespace {

// Sorted by id (checked at compile time below).
constexpr std::array kRows = std::to_array<StringTableRow>({
    {IDR_MAINFRAME, "MIVO klient\n\nMIVO klient\n\n\nMIVO klient.Document\nMIVO klient Document"},

    {ID_SETTINGS, "Nastavit parametry"},
    {ID_DELETE_FROM_LIST, "Smazat soubor s časovým razítkem ze seznamu"},
    {ID_VERIFY, "Ověřit hash souboru\nOvěřit soubor"},
    {ID_VIEW_STAMP_LIST, "Zobrazit nebo skrýt panel seznamu razítek"},
    {ID_HELP_CONTENTS, "Zobrazit nápovědu aplikace\nNápověda"},

    {IDS_APP_TITLE, "MIVO klient"},
    {IDS_IDLEMESSAGE, "Připraven"},
    {ID_FILE_NEW, "Vytvořit nové časové razítko\nNové"},
    {ID_FILE_OPEN, "Otevřít existující časové razítko\nOtevřít"},
    {ID_FILE_PRINT, "Tisk\nTisk"},
    {ID_FILE_PRINT_DIRECT, "Vytisknout aktuální stránku"},
    {ID_FILE_PRINT_PREVIEW, "Náhled tisku\nNáhled tisku"},
    {ID_APP_ABOUT, "Zobrazit informace o programu, verzi a copyright\nO aplikaci"},
    {ID_APP_EXIT, "Ukončit aplikaci\nKonec"},
    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
    {ID_VIEW_TOOLBAR, "Zobrazit nebo skrýt panel nástrojů\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Zobrazit nebo skrýt panel stavů\nToggle StatusBar"},

    {IDS_STAMP_LIST_TITLE, "Kvalifikované časové razítko"},
    {IDS_COLUMN_STAMP_FILE, "Soubor s razítkem"},
    {IDS_COLUMN_UTC_TIME, "UTC čas"},
    {IDS_FILTER_STAMP_FILES, "Kvalifikované časové razítka"},
    {IDS_OPEN_STAMP_TITLE, "Otevřít soubor kvalifikovaného časového razítka"},
    {IDS_CONFIRM_DELETE, "Vymazat vybraný soubor kvalifikovaného časového razítka?"},
    {IDS_FILTER_ALL_FILES, "Všechny soubory"},
    {IDS_SELECT_SOURCE_TITLE, "Vyberte zdrojový soubor"},
    {IDS_DIGEST_MISMATCH, "Ověření miniatury skončilo chybou"},
    {IDS_FILE_READ_ERROR, "Chyba při čtení souboru %s"},
    {IDS_HASH_INIT_ERROR, "Chyba při inicializaci hash funkce"},
    {IDS_HASH_NOT_SUPPORTED, "Hash algoritmus není podporován"},
    {IDS_SOURCE_READ_ERROR, "Chyba při čtení zdrojového souboru %s"},

    {IDS_TTI_OK, "tti: ok"},
    {IDS_TTI_INVALID_PARAMETER, "předán neplatný parametr"},
    {IDS_TTI_MEMORY, "TTI memory error"},
    {IDS_TTI_BUFFER_TOO_SMALL, "The size of buffer is too small"},
    {IDS_TTI_INTERNAL_BUFFER, "internal buffer error"},
    {IDS_TTI_ASN_UNEXPECTED, "ASN funkce vrátila neočekávaný výsledek"},
    {IDS_TTI_ASN_FORMAT, "Neočekávaná ASN chyba. Chybný formát."},
    {IDS_TTI_INVALID_TOKEN, "Neplatný time-stamp token"},
    {IDS_TTI_SIGNATURE, "Chyba při ověření podpisu časového razítka."},
    {IDS_TTI_NOT_GRANTED,
     "The time-stamp response status was not PKIS_granted or PKIS_grantedWithMods. This "
     "indicates that the timestamp response was a failure response, therefore there is no "
     "time-stamp token in the response"},
    {IDS_TTI_NO_TOKEN,
     "No token was present in the response. This is an unexpected situation and indicates "
     "corrupt data or a misbehaving time-stamp server"},
    {IDS_TTI_LENGTH, "Neplatná délka dat"},
    {IDS_TTI_TCP_HEADER, "neočekávaná hodnota v hlavičce TCP"},
    {IDS_TTI_NOT_SUPPORTED, "TTI_HTTP a TTI_SMTP nejsou nyní podporovány"},
    {IDS_TTI_NO_SIGNER_CERT, "Časové razítko neobsahuje podpisový certifikát"},
    {IDS_TTI_NO_TAC, "Časové razítko neobsahuje TAC"},
    {IDS_TTI_TAC_IMPRINT, "Hodnota miniatury TAC neodpovídá hodnotě uložené v časovém razítku"},
    {IDS_TTI_TAC_NO_POLICY, "V TAC chybí položka: politika časové autority"},
    {IDS_TTI_UNKNOWN, "Neznámá chyba"},
    {IDS_STAMP_ERROR, "Chyba kvalifikovaného časového razítka"},

    {IDS_TTI_ENCODE_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_EncodeTimestampRequest %s"},
    {IDS_TTI_REPLY_ERROR_TEXT, "Chyba vrácená TTI knihovnou\n\nZpráva odpovědi:  %s"},
    {IDS_TTI_UNEXPECTED_MESSAGE, "Chyba vrácená TTI knihovnou\n\nNeočekávaná zpráva TSA %d"},
    {IDS_TTI_REPLY_LENGTH, "Chyba vrácená TTI knihovnou\n\nNesouhlasí velikost přijatých dat "
                           "(%u bajtů přijato, %u bajtů očekáváno)"},
    {IDS_TTI_GET_STATUS_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_GetTSR_Status %s\n\n%s"},
    {IDS_TTI_NOT_GRANTED_STATUS, "Chyba vrácená TTI knihovnou\n\nKvalifikované časové razítko "
                                 "nebylo vydáno.\nStatus %d. %d - %s"},
    {IDS_TTI_GET_TOKEN_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_GetTSR_EncodedToken %s"},
    {IDS_TTI_GET_TSTINFO_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_GetTST_TSTInfo %s"},
    {IDS_TTI_IMPRINT_MISMATCH,
     "Chyba vrácená TTI knihovnou\n\nMiniatura (hash) odpovědi nesouhlasí s miniaturou žádosti"},
    {IDS_TTI_POLICY_MISMATCH, "Chyba vrácená TTI knihovnou\n\nvrácená politika časové autority "
                              "nesouhlasí s časovou politikou žádosti"},
    {IDS_TTI_NONCE_MISMATCH, "Chyba vrácená TTI knihovnou\n\nvrácená hodnota nonce nesouhlasí s "
                             "hodnotou nonce žádosti"},
    {IDS_TTI_TIME_SKEW,
     "Chyba vrácená TTI knihovnou\n\nRozdíl času časového razítka a času vašeho PC je větší než "
     "5 minut. Čas na Vašem PC nemusí být přesný nebo se může jednat o bezpečnostní problém."},
    {IDS_TTI_GET_TAC_FAILED,
     "Chyba vrácená TTI knihovnou\n\nTTI_GetTST_TimeAttributeCert failed: %s"},
    {IDS_TTI_TIMING_METRICS_FAILED,
     "Chyba vrácená TTI knihovnou\n\nTTI_GetTAC_TimingMetrics failed: %s"},
    {IDS_TTI_TIMING_POLICY_FAILED,
     "Chyba vrácená TTI knihovnou\n\nTTI_GetTAC_TimingPolicy failed: %s"},
    {IDS_TTI_CERT_INFO_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_GetTAC_CertInfo failed: %s"},
    {IDS_TTI_VERIFY_SIGNATURE_FAILED,
     "Chyba vrácená TTI knihovnou\n\nTTI_VerifyTST_Signature failed: %s"},
    {IDS_TTI_GET_TSA_CERT_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_GetTST_TSACert failed: %s"},

    {IDS_CONNECT_ERROR, "Chyba při připojení k serveru "},
    {IDS_WRONG_CONTENT_TYPE,
     "Chybný typ dokumentu Content-Type v http odpovědi, kterou klient přijal od serveru"},
    {IDS_SET_PARAMETERS, "Prosím, nastavte parametry"},
    {IDS_CANNOT_CREATE_FILE, "Nelze vytvořit soubor %s"},
    {IDS_WRITE_ERROR, "Chyba při zápisu do souboru: %s"},
    {IDS_SHORT_WRITE, "chyba při zápisu do souboru %s (%d bajtů zapsat, %u bajtů zapsáno)"},
    {IDS_STAMP_FILE_READ_ERROR, "Chyba při čtení souboru '%s'"},
    {IDS_VERIFY_RESULT_CAPTION, "Výsledek ověření"},
    {IDS_STAMP_OK, "Kvalifikované časové razítko je v pořádku"},

    {IDS_NO_TAC_FOUND, "No TimeAttributeCert found"},
    {IDS_INVALID_DATA, "neplatná data"},
    {IDS_UNIT_SECONDS, " s"},
    {IDS_UNIT_MILLISECONDS, " ms"},
    {IDS_UNIT_MICROSECONDS, " µs"},
    {IDS_ACCURACY_UNEXPECTED, "(Programming error:  unexpected data)"},
    {IDS_ACCURACY_UNKNOWN, "neznámý"},

    {IDS_VERIFY_DIALOG_CAPTION, "Ověření razítka"},
    {IDS_VERIFY_DIALOG_OK, "Ověřit"},
    {IDS_VERIFY_DIALOG_CANCEL, "Storno"},
    {IDS_VERIFY_DIALOG_STAMP_GROUP, "Soubor s časovým razítkem"},
    {IDS_VERIFY_DIALOG_SOURCE_GROUP, "Zdrojový soubor"},
    {IDS_VERIFY_DIALOG_BROWSE, "..."},
    {IDS_VERIFY_DIALOG_ADD_TO_LIST, "Přidat do seznamu"},

    {IDS_MENU_STAMP, "&Razítko"},
    {IDS_MENU_NEW, "&Nové\tCtrl+N"},
    {IDS_MENU_OPEN, "&Otevřít...\tCtrl+O"},
    {IDS_MENU_VERIFY, "O&věřit"},
    {IDS_MENU_DELETE, "&Smazat"},
    {IDS_MENU_PRINT, "&Tisk"},
    {IDS_MENU_PRINT_PREVIEW, "&Náhled tisku"},
    {IDS_MENU_EXIT, "&Konec"},
    {IDS_MENU_VIEW, "&Zobrazit"},
    {IDS_MENU_TOOLBAR, "&Panel nástrojů"},
    {IDS_MENU_STATUS_BAR, "P&anel stavů"},
    {IDS_MENU_STAMP_LIST, "Panel &seznamu"},
    {IDS_MENU_TOOLS, "Nás&troje"},
    {IDS_MENU_SETTINGS, "&Nastavení"},
    {IDS_MENU_HELP, "Nápo&věda"},
    {IDS_MENU_HELP_CONTENTS, "Nápo&věda\tF1"},
    {IDS_MENU_ABOUT, "&O aplikaci..."},

    {IDS_FILTER_STAMP_FILES_PATTERN, "*.tsr;*.tst"},
    {IDS_FILTER_ALL_FILES_PATTERN, "*.*"},
    {IDS_BUTTON_RETRY, "Zkusit znovu"},
    {IDS_LIST_DISCARD_QUESTION,
     "Změny seznamu souborů s časovým razítkem se nepodařilo uložit do souboru %s.\n\n"
     "Zavřít přesto a tyto změny zahodit?"},
    {IDS_SOURCE_NOT_REGULAR,
     "%s není obyčejný soubor (je to zařízení, roura nebo soket). Miniaturu "
     "lze spočítat jen z obyčejného souboru."},
    {IDS_SOURCE_CHANGED, "Soubor %s se během čtení změnil (velikost nebo čas poslední změny), "
                         "jeho miniaturu nelze použít. Zkuste to znovu, až se soubor přestane "
                         "měnit."},

    {IDS_HELP_PAGE, "napoveda.html"},

    {IDS_BUTTON_YES, "Ano"},
    {IDS_BUTTON_NO, "Ne"},
    {IDS_BUTTON_OK, "OK"},
    {IDS_BUTTON_CANCEL, "Storno"},
    {IDS_CERT_PROBLEM_CAPTION, "Výstraha zabezpečení"},
    {IDS_CERT_PROBLEM_INTRO, "Certifikát serveru %s neprošel kontrolou:"},
    {IDS_CERT_PROBLEM_QUESTION,
     "Chcete přesto pokračovat? Spojení se serverem nebude chráněno ověřeným certifikátem."},
    {IDS_CRED_SERVER_CAPTION, "Přihlášení k serveru"},
    {IDS_CRED_PROXY_CAPTION, "Přihlášení k proxy serveru"},
    {IDS_CRED_SERVER_INTRO, "Server %s požaduje uživatelské jméno a heslo."},
    {IDS_CRED_PROXY_INTRO, "Proxy server %s požaduje uživatelské jméno a heslo."},
    {IDS_CRED_REALM, "Oblast: %s"},
    {IDS_CRED_USER, "&Uživatelské jméno:"},
    {IDS_CRED_PASSWORD, "&Heslo:"},
    {IDS_CLI_HELP_INTRO,
     "mivoklient-cli - klient kvalifikovaných časových razítek (RFC 3161)\n\nPoužití:"},
    {IDS_CLI_HELP_SETTINGS,
     "Nastavení a seznam se čtou ze souboru mivoklient.ini uživatele\n"
     "(~/.config/mivoklient/, nebo $MIVOKLIENT_CONFIG_DIR), --ini zadá jiný.\n"
     "Seznam se uloží na konci příkazu, pokud se změnil.\n"
     "Volby a argumenty lze zadat v libovolném pořadí. Po \"--\" už je vše argument,\n"
     "také název souboru, který začíná \"-\"; jinak je to neznámá volba."},
    {IDS_CLI_HELP_EXIT_CODES, "Návratové kódy:"},
    {IDS_CLI_EXIT_OK, "příkaz proběhl úspěšně"},
    {IDS_CLI_EXIT_FAILED, "operace selhala; důvod je vypsán na standardní chybový výstup"},
    {IDS_CLI_EXIT_USAGE, "nesprávně zadaný příkaz nebo argumenty"},
    {IDS_CLI_HELP_DIGEST, "SOUBOR\n"
                          "Vypíše miniaturu (hash) souboru šestnáctkově.\n"
                          "KÓD: 0 SHA1, 1 MD5, 2 SHA-256 (výchozí), 3 SHA-384, 4 SHA-512."},
    {IDS_CLI_HELP_DECODE,
     "RAZÍTKO\n"
     "Vypíše dekódované záznamy souboru .tsr (celá odpověď) nebo .tst (token)\n"
     "jako řádky \"název: hodnota\": stav odpovědi, položky TSTInfo a TAC, je-li přítomen.\n"
     "Odpověď a token se rozlišují podle obsahu, ne podle přípony."},
    {IDS_CLI_HELP_STAMP,
     "SOUBOR...\n"
     "Opatří každý SOUBOR kvalifikovaným časovým razítkem od serveru z nastavení,\n"
     "uloží je vedle něj (SOUBOR.tsr celá odpověď, nebo SOUBOR.tst jen token)\n"
     "a přidá do seznamu orazítkovaných souborů."},
    {IDS_CLI_HELP_VERIFY,
     "RAZÍTKO [ZDROJ]\n"
     "Ověří razítko (.tsr nebo .tst) a jeho podpis a porovná miniaturu zdrojového\n"
     "souboru s miniaturou v razítku. Bez ZDROJE se zdroj odvodí z názvu razítka\n"
     "(smlouva.pdf.tsr -> smlouva.pdf). Podpisový certifikát se hledá v razítku,\n"
     "jinak v adresáři addressbook v nastavení uživatele. Na dalších řádcích vypíše,\n"
     "zda je vydavatel důvěryhodný a zda je razítko kvalifikované. S --strict skončí\n"
     "úspěchem, jen je-li vydavatel důvěryhodný, s --qualified, jen je-li razítko\n"
     "kvalifikované podle seznamů důvěryhodných služeb EU."},
    {IDS_CLI_HELP_SHOW, "RAZÍTKO [ZDROJ]\n"
                        "Ověří razítko a vypíše všechny údaje stránky s podrobnostmi razítka\n"
                        "jako řádky \"pole: hodnota\" (s --json jako objekt JSON)."},
    {IDS_CLI_HELP_LIST, "\nVypíše seznam orazítkovaných souborů: číslo, název, UTC čas, cesta.\n"
                        "S --check ověří každé razítko proti jeho souboru a jako třetí sloupec\n"
                        "vypíše stav (v pořádku, zdroj změněn, zdroj chybí, razítko chybí,\n"
                        "razítko neplatné); vrátí 1, když některý řádek není v pořádku."},
    {IDS_CLI_HELP_ADD,
     "RAZÍTKO [ZDROJ]\nPřidá razítko do seznamu (stejnou cestu nahradí) a ověří je."},
    {IDS_CLI_HELP_REMOVE, "ČÍSLO\n"
                          "Odebere položku ze seznamu; soubory zůstanou na disku.\n"
                          "Na terminálu se nejprve zeptá; bez terminálu odebere jen s --yes."},
    {IDS_CLI_HELP_REQUEST, "SOUBOR\n"
                           "Sestaví žádost o časové razítko na SOUBOR (DER, výchozí SOUBOR.tsq).\n"
                           "Hash a politika podle nastavení, nejsou-li zadány."},
    {IDS_CLI_HELP_POST, "ŽÁDOST.tsq\n"
                        "Odešle žádost serveru časových razítek (URL a spojení podle nastavení)\n"
                        "a po kontrole rámce uloží jeho odpověď.\n"
                        "Nastavení se čte ze souboru mivoklient.ini uživatele, --ini zadá jiný."},
    {IDS_CLI_HELP_HELP, "\nTato nápověda."},
    {IDS_CLI_USAGE_ERROR, "mivoklient-cli: %s\nNápověda: mivoklient-cli --help"},
    {IDS_CLI_NO_COMMAND, "chybí příkaz"},
    {IDS_CLI_UNKNOWN_COMMAND, "neznámý příkaz '%s'"},
    {IDS_CLI_UNKNOWN_OPTION, "neznámá volba '%s'"},
    {IDS_CLI_UNEXPECTED_ARGUMENT, "nečekaný argument '%s'"},
    {IDS_CLI_OPTION_NEEDS_VALUE, "%s potřebuje %s"},
    {IDS_CLI_OPTION_MISSING, "chybí %s %s"},
    {IDS_CLI_VALUE_INI, "INI\ncestu k souboru INI"},
    {IDS_CLI_VALUE_HASH, "KÓD\nkód algoritmu 0 až 4"},
    {IDS_CLI_VALUE_POLICY, "OID\nOID politiky"},
    {IDS_CLI_VALUE_URL, "URL\nadresu serveru"},
    {IDS_CLI_VALUE_REQUEST_OUT, "VÝSTUP.tsq\nnázev výstupního souboru"},
    {IDS_CLI_VALUE_REPLY_OUT, "ODPOVĚĎ.tsr\nnázev souboru pro odpověď"},
    {IDS_CLI_BAD_HASH_CODE, "neplatný kód algoritmu '%s' (0 až 4)"},
    {IDS_CLI_NEEDS_FILES, "%s potřebuje alespoň jeden soubor"},
    {IDS_CLI_NEEDS_STAMP, "%s potřebuje soubor s razítkem a případně zdrojový soubor"},
    {IDS_CLI_NO_ARGUMENTS, "%s nemá žádné argumenty"},
    {IDS_CLI_NEEDS_NUMBER, "%s potřebuje číslo položky (viz list)"},
    {IDS_CLI_BAD_NUMBER, "neplatné číslo položky '%s'"},
    {IDS_CLI_CANNOT_GUESS_SOURCE, "zdrojový soubor nelze odvodit z názvu razítka; zadejte jej"},
    {IDS_CLI_NO_SUCH_ENTRY, "Položka %d v seznamu není (seznam má %d položek)."},
    {IDS_CLI_REMOVED, "Odebráno ze seznamu: %s"},
    {IDS_CLI_STAMPED_COUNT, "Orazítkováno %zu z %zu souborů."},
    {IDS_CLI_HASH_PROGRESS, "  miniatura %s: %d %%"},
    {IDS_CLI_NO_FILE, "chybí soubor"},
    {IDS_CLI_NO_REQUEST_FILE, "chybí soubor s požadavkem"},
    {IDS_CLI_NEEDS_ONE_STAMP, "%s potřebuje právě jeden soubor s razítkem"},
    {IDS_CLI_NEEDS_TERMINAL,
     "%s se bez terminálu nemůže zeptat na potvrzení; potvrďte je volbou %s"},
    {IDS_CLI_ANSWER_HINT, " [a/N] "},
    {IDS_CLI_NOT_REMOVED, "Položka nebyla odebrána."},

    {IDS_TRUST_TRUSTED, "Vydavatel časového razítka je důvěryhodný: jeho certifikát vede k "
                        "důvěryhodné autoritě „%s“."},
    {IDS_TRUST_UNTRUSTED, "Vydavateli časového razítka nelze důvěřovat: jeho certifikát nevede k "
                          "žádné důvěryhodné certifikační autoritě."},
    {IDS_TRUST_EXPIRED, "Vydavateli časového razítka nelze důvěřovat: platnost jeho certifikátu "
                        "nebo certifikátu nadřízené autority v době vydání razítka již skončila."},
    {IDS_TRUST_NOT_YET_VALID,
     "Vydavateli časového razítka nelze důvěřovat: jeho certifikát nebo certifikát nadřízené "
     "autority v době vydání razítka ještě nebyl platný."},
    {IDS_TRUST_WRONG_USAGE, "Vydavateli časového razítka nelze důvěřovat: jeho certifikát není "
                            "určen výhradně k vydávání časových razítek."},
    {IDS_TRUST_SIGNER_MISMATCH,
     "Vydavateli časového razítka nelze důvěřovat: podepsané atributy razítka neoznačují "
     "certifikát, kterým bylo razítko podepsáno."},
    {IDS_TRUST_TSA_NAME_MISMATCH, "Vydavateli časového razítka nelze důvěřovat: jméno autority "
                                  "uvedené v razítku neodpovídá jeho certifikátu."},
    {IDS_TRUST_WEAK_ALGORITHM, "Časovému razítku nelze důvěřovat: v době jeho vydání už použitý "
                               "algoritmus nebo délka klíče nebyly dostatečně bezpečné."},
    {IDS_TRUST_REVOKED, "Vydavateli časového razítka nelze důvěřovat: certifikát v jeho řetězci "
                        "byl zneplatněn dne %s."},
    {IDS_TRUST_REVOCATION_UNKNOWN,
     "Nepodařilo se ověřit, zda certifikát vydavatele časového razítka nebyl zneplatněn."},
    {IDS_TRUST_TAC_NOT_VERIFIED, "TAC neověřen"},

    {IDS_TL_QUALIFIED,
     "Časové razítko je kvalifikované: služba „%s“ poskytovatele „%s“ měla v době jeho vydání "
     "v důvěryhodném seznamu státu %s status kvalifikované služby vytváření časových razítek."},
    {IDS_TL_QUALIFIED_BEFORE_2016,
     "Časové razítko je kvalifikované: služba „%s“ poskytovatele „%s“ byla v době jeho vydání "
     "v důvěryhodném seznamu státu %s vedena jako služba časových razítek ve stavu „%s“ "
     "(podle pravidel platných do 30. června 2016)."},
    {IDS_TL_NOT_QUALIFIED_STATUS,
     "Časové razítko není kvalifikované: služba „%s“ poskytovatele „%s“ z důvěryhodného seznamu "
     "státu %s neměla v době jeho vydání status kvalifikované služby vytváření časových razítek "
     "(typ %s, stav: %s)."},
    {IDS_TL_NOT_QUALIFIED_NOT_TSA,
     "Časové razítko není kvalifikované: důvěryhodný seznam státu %s uvádí certifikát TSA nebo "
     "jeho vydavatele jen jako službu „%s“ poskytovatele „%s“ typu %s, ne jako službu vytváření "
     "časových razítek."},
    {IDS_TL_NOT_QUALIFIED_NOT_YET,
     "Časové razítko není kvalifikované: služba „%s“ poskytovatele „%s“ byla do důvěryhodného "
     "seznamu státu %s zapsána až po vydání razítka."},
    {IDS_TL_NOT_LISTED,
     "Časové razítko není kvalifikované: certifikát TSA není v žádném ověřeném důvěryhodném "
     "seznamu EU."},
    {IDS_TL_QUALIFIED_UNKNOWN,
     "Nelze určit, zda je časové razítko kvalifikované: důvěryhodný seznam státu %s, odkud TSA "
     "pochází, není k dispozici. Aktualizujte důvěryhodné seznamy."},
    {IDS_TL_OUTDATED_NOTE,
     " Důvěryhodný seznam státu %s je zastaralý: nový měl být vydán nejpozději %s."},
    {IDS_TL_ANCHOR_NAME, "kvalifikovaná služba „%s“ poskytovatele „%s“ (důvěryhodný seznam %s)"},
    {IDS_TL_LIST_NAME, "Důvěryhodný seznam státu %s"},
    {IDS_TL_LOTL_NAME, "Seznam seznamů EU"},
    {IDS_TL_REFUSED_UNREADABLE,
     "%s z %s byl odmítnut: soubor není čitelný důvěryhodný seznam ve formátu XML (%s)."},
    {IDS_TL_REFUSED_SIGNATURE,
     "%s z %s byl odmítnut: jeho podpis nelze ověřit žádným z certifikátů, které pro něj uvádí "
     "seznam seznamů EU (%s)."},
    {IDS_TL_LOTL_REFUSED_SIGNATURE,
     "Seznam seznamů EU z %s byl odmítnut: jeho podpis nelze ověřit certifikáty zveřejněnými "
     "v Úředním věstníku EU ani přes předchozí seznamy, na které odkazuje (%s)."},
    {IDS_TL_REFUSED_TERRITORY, "%s z %s byl odmítnut: je to seznam území %s."},
    {IDS_TL_REFUSED_TYPE, "%s z %s byl odmítnut: je to seznam jiného druhu (%s)."},
    {IDS_TL_REFUSED_OLDER,
     "%s z %s byl odmítnut: má pořadové číslo %s, uložený seznam je novější (číslo %s)."},
    {IDS_TL_NO_PINS, "Chybí certifikáty pro ověření seznamu seznamů EU (hledány ve složkách %s)."},
    {IDS_TL_DOWNLOAD_FAILED, "%s se nepodařilo stáhnout z %s."},
    {IDS_TL_DOWNLOAD_STATUS, "%s se nepodařilo stáhnout z %s: server odpověděl stavem %d."},
    {IDS_TL_NOT_IN_FOLDER, "%s ve složce %s není."},
    {IDS_TL_NOT_IN_LOTL, "Seznam seznamů EU neuvádí důvěryhodný seznam státu %s."},
    {IDS_TL_STORE_FAILED, "%s se nepodařilo uložit do složky %s (%s)."},
    {IDS_TL_CANCELLED, "Aktualizace byla přerušena, zbylé seznamy zůstaly beze změny."},
    {IDS_TL_RESULT_UPDATED, "%s: aktualizován, pořadové číslo %s, vydán %s."},
    {IDS_TL_RESULT_UNCHANGED, "%s: beze změny, pořadové číslo %s."},
    {IDS_TL_RESULT_REMOVED,
     "Důvěryhodný seznam státu %s byl odstraněn: seznam seznamů EU jej už neuvádí."},
    {IDS_TL_SUMMARY, "Aktualizováno: %d, beze změny: %d, nezdařilo se: %d, nenalezeno: %d."},
    {IDS_TL_STATUS_LINE, "%s: pořadové číslo %s, vydán %s, příští vydání %s, %s, %s."},
    {IDS_TL_STATUS_SIGNED_BY, "podpis ověřen %s (certifikát „%s“)"},
    {IDS_TL_STATUS_CHANGED, "uložený soubor se od ověření změnil, aktualizujte seznamy"},
    {IDS_TL_STATUS_OUTDATED, "zastaralý"},
    {IDS_TL_STATUS_CURRENT, "platný"},
    {IDS_TL_STATUS_EMPTY, "Ve složce %s nejsou uloženy žádné důvěryhodné seznamy."},
    {IDS_TL_STATUS_BROKEN, "%s: uložený index nelze přečíst (%s)."},
    {IDS_TL_STATUS_NO_NEXT, "neuvedeno"},
    {IDS_TL_SERVICE_GRANTED, "kvalifikovaný status udělen"},
    {IDS_TL_SERVICE_WITHDRAWN, "kvalifikovaný status odňat"},
    {IDS_TL_SERVICE_ACCREDITED, "akreditována"},
    {IDS_TL_SERVICE_UNDER_SUPERVISION, "pod dohledem"},
    {IDS_TL_SERVICE_SUPERVISION_ENDING, "dohled se ukončuje"},
    {IDS_TL_SERVICE_SUPERVISION_CEASED, "dohled ukončen"},
    {IDS_TL_SERVICE_SUPERVISION_REVOKED, "dohled zrušen"},
    {IDS_TL_SERVICE_ACCREDITATION_CEASED, "akreditace ukončena"},
    {IDS_TL_SERVICE_ACCREDITATION_REVOKED, "akreditace zrušena"},
    {IDS_TL_SERVICE_RECOGNISED_NATIONALLY, "uznána na národní úrovni"},
    {IDS_TL_SERVICE_DEPRECATED_NATIONALLY, "zrušena na národní úrovni"},
    {IDS_TL_STATUS_HEADER, "Důvěryhodné seznamy ve složce %s:"},
    {IDS_ENTRY_STATUS_OK, "v pořádku"},
    {IDS_ENTRY_STATUS_SOURCE_CHANGED, "zdroj změněn"},
    {IDS_ENTRY_STATUS_SOURCE_MISSING, "zdroj chybí"},
    {IDS_ENTRY_STATUS_STAMP_MISSING, "razítko chybí"},
    {IDS_ENTRY_STATUS_STAMP_INVALID, "razítko neplatné"},
    {IDS_PROGRESS_TITLE, "Časové razítko"},
    {IDS_PROGRESS_HASHING, "Počítám otisk souboru %s…"},
    {IDS_PROGRESS_WAITING, "Čekám na odpověď serveru %s…"},
    {IDS_BATCH_FILE, "Soubor %d z %d: %s"},
    {IDS_BATCH_SUMMARY, "Orazítkováno souborů: %d z %d."},
    {IDS_BATCH_FAILED_HEADER, "Nepodařilo se orazítkovat:"},
    {IDS_BATCH_FAILED_ITEM, "%s: %s"},
    {IDS_BATCH_STOPPED, "Orazítkování bylo zastaveno; neorazítkovaných souborů zůstalo: %d."},
    {IDS_BATCH_STOPPING,
     "Po tomto souboru se orazítkování zastaví (dalším Storno i tento soubor)."},
    {IDS_FOLDER_QUESTION, "Orazítkovat všech %d souborů ve složce %s?"},
    {IDS_FOLDER_EMPTY, "Ve složce %s není žádný soubor k orazítkování."},
    {IDS_BATCH_NO_REASON, "důvod není znám"},
    {ID_CHECK_ALL, "Ověří každé razítko seznamu proti jeho zdrojovému souboru\nOvěřit vše"},
    {IDS_MENU_CHECK_ALL, "Ověřit vše"},
    {IDS_COLUMN_STATUS, "Stav"},
    {IDS_REDIRECT_NEW_ADDRESS, "nová adresa: %s"},
    {IDS_REDIRECT_TOO_MANY, "nová adresa: %s; přesměrování bylo víc než %d"},
    {IDS_REDIRECT_STATUS, "nová adresa: %s; přesměrování se stavem %d klient nenásleduje"},
    {IDS_REDIRECT_UNUSABLE, "nová adresa: %s; není to adresa http ani https"},
    {IDS_BODY_EMPTY, "Server poslal odpověď bez dat (0 bajtů)."},
    {IDS_BODY_TOO_LONG, "Odpověď serveru je delší, než klient přijme: %llu bajtů, nejvýše %llu. "
                        "Začátek odpovědi (hex): %s"},
    {IDS_BODY_TOO_LONG_CUT, "Odpověď serveru je delší, než klient přijme: přes %llu bajtů (pak "
                            "klient čtení ukončil), nejvýše %llu. Začátek odpovědi (hex): %s"},
    {IDS_BODY_READ_FAILED,
     "Čtení odpovědi se přerušilo po %llu bajtech. Začátek odpovědi (hex): %s"},
    {IDS_BODY_READ_FAILED_EMPTY, "Čtení odpovědi se přerušilo dřív, než přišla data."},
    {IDS_REPLY_CHECK_FAILED, "Chyba vrácená TTI knihovnou\n\nTTI_CheckReply %s\n\n"
                             "Odpověď serveru: %llu bajtů, začátek (hex): %s"},
    {IDS_CLI_VALUE_USER, "JMÉNO\nuživatelské jméno"},
    {IDS_CLI_ASK_USER, "Uživatelské jméno: "},
    {IDS_CLI_ASK_PASSWORD, "Heslo pro %s: "},
    {IDS_CLI_NO_TERMINAL, "Jméno a heslo se nelze zeptat: standardní vstup není terminál."},
    {IDS_CLI_HELP_LOGIN,
     "Serveru nebo proxy, které žádají přihlášení, odpoví klient jménem a heslem\n"
     "z nastavení (auth_user a auth_passwd, proxy_server_user a proxy_server_passwd);\n"
     "na co tam nejsou, se zeptá na terminálu (heslo se nezobrazuje). --user JMÉNO\n"
     "zadá jméno pro server; na heslo se pak ptá vždy."},
    {IDS_PRINT_FAILED, "Tisk se nezdařil: %s"},
    {IDS_PRINT_NO_PRINTER, "v systému není nastavena žádná tiskárna."},
    {IDS_PRINT_NOT_PRINTED, "stránku se nepodařilo odeslat na tiskárnu %s."},
    {IDS_VIEWER_START_FAILED,
     "Certifikát TSA se nepodařilo zobrazit: prohlížeč pro soubor %s se nespustil."},
    {IDS_HELP_START_FAILED, "Nápovědu %s se nepodařilo otevřít: prohlížeč nápovědy se nespustil."},
    {IDS_CLI_LOGIN_SERVER, "Server %s%s žádá přihlášení."},
    {IDS_CLI_LOGIN_PROXY, "Proxy server %s%s žádá přihlášení."},

    {ID_TL_UPDATE, "Stáhne a ověří aktuální seznamy důvěryhodných služeb EU\n"
                   "Aktualizovat seznamy důvěryhodných služeb EU"},
    {IDS_MENU_TL_UPDATE, "&Aktualizovat seznamy důvěryhodných služeb EU…"},
    {IDS_TRUST_AUTHORITY_QUESTION,
     "Důvěřovat této certifikační autoritě?\n\n%s\nSHA-256: %s\n\n"
     "Její certifikát bude uložen mezi důvěryhodné a časová razítka, která vede k ní, "
     "budou uznána za důvěryhodná. Otisk SHA-256 porovnejte s otiskem, který autorita "
     "zveřejňuje."},
    {IDS_TL_PROGRESS_TITLE, "Aktualizace seznamů důvěryhodných služeb EU"},
    {IDS_TL_PROGRESS_LABEL, "%s (%d z %d)"},
    {IDS_CLI_HELP_TRUST_ADD,
     "CERTIFIKÁT.pem\n"
     "Uloží certifikát (PEM nebo DER) mezi důvěryhodné autority uživatele; razítka,\n"
     "jejichž certifikát k němu vede, jsou pak důvěryhodná."},
    {IDS_CLI_HELP_TRUST_LIST,
     "\nVypíše důvěryhodné certifikáty uživatele: číslo, subjekt, otisk SHA-256, soubor."},
    {IDS_CLI_HELP_TRUST_REMOVE,
     "ČÍSLO\n"
     "Odebere certifikát z důvěryhodných (číslo podle trust list).\n"
     "Na terminálu se nejprve zeptá; bez terminálu odebere jen s --yes."},
    {IDS_CLI_HELP_TL_UPDATE,
     "\n"
     "Stáhne seznam seznamů EU a důvěryhodné seznamy států, na které odkazuje,\n"
     "ověří jejich podpisy a uloží je (proxy podle nastavení). --only omezí\n"
     "aktualizaci na uvedené státy, --lotl zadá jinou adresu seznamu seznamů."},
    {IDS_CLI_HELP_TL_IMPORT, "SLOŽKA\n"
                             "Totéž ze souborů stažených jinde (na názvech souborů nezáleží)."},
    {IDS_CLI_HELP_TL_STATUS,
     "\n"
     "Vypíše uložené seznamy: pořadové číslo, datum vydání, příští vydání,\n"
     "výsledek ověření podpisu a zda je seznam zastaralý."},
    {IDS_CLI_VALUE_LOTL, "URL\nadresu seznamu seznamů"},
    {IDS_CLI_VALUE_ONLY, "CZ,SK\nkódy států oddělené čárkou"},
    {IDS_CLI_TRUST_ADDED, "Přidáno mezi důvěryhodné: %s\n  SHA-256: %s\n  %s"},
    {IDS_CLI_TRUST_EMPTY, "Ve složce %s není žádný důvěryhodný certifikát."},
    {IDS_CLI_TRUST_REMOVE, "Odebrat z důvěryhodných certifikát %s?"},
    {IDS_CLI_TRUST_REMOVED, "Odebráno z důvěryhodných: %s"},
    {IDS_CLI_BAD_TERRITORIES, "'%s' není seznam kódů států (např. CZ,SK)"},
    {IDS_CLI_NO_CERTIFICATE, "Soubor %s neobsahuje certifikát."},
    {IDS_CLI_NEEDS_FOLDER, "%s potřebuje složku se staženými seznamy"},

    {IDS_HTTP_STATUS_BASE + 400,
     "Server nerozumí požadavku, klient jej musí opravit a poslat znovu"},
    {IDS_HTTP_STATUS_BASE + 402, "payment required"},
    {IDS_HTTP_STATUS_BASE + 403, "Server nemůže požadavku vyhovět, autorizace nebyla úspěšná"},
    {IDS_HTTP_STATUS_BASE + 404, "Server nenašel zadanou adresu URL"},
    {IDS_HTTP_STATUS_BASE + 405, "Použitá metoda není přípustná pro dosažení požadovaného objektu"},
    {IDS_HTTP_STATUS_BASE + 406,
     "Požadovaný objekt není k dispozici ve formátu podporovaném klientem"},
    {IDS_HTTP_STATUS_BASE + 408, "Klient nedokončil odesílání požadavku v časovém limitu"},
    {IDS_HTTP_STATUS_BASE + 409, "user should resubmit with more info"},
    {IDS_HTTP_STATUS_BASE + 410, "Požadovaný objekt byl trvale odstraněn"},
    {IDS_HTTP_STATUS_BASE + 411, "the server refused to accept request w/o a length"},
    {IDS_HTTP_STATUS_BASE + 412, "precondition given in request failed"},
    {IDS_HTTP_STATUS_BASE + 413, "request entity was too large"},
    {IDS_HTTP_STATUS_BASE + 414, "request URI too long"},
    {IDS_HTTP_STATUS_BASE + 415, "Požadavek obsahuje data v serveru neznámém formátu"},
    {IDS_HTTP_STATUS_BASE + 500, "Na serveru došlo k neočekávané chybě"},
    {IDS_HTTP_STATUS_BASE + 501, "Tento požadavek server nepodporuje"},
    {IDS_HTTP_STATUS_BASE + 502,
     "Proxy server nebo brána obdržely od dalšího serveru neplatnou odpověď"},
    {IDS_HTTP_STATUS_BASE + 503, "Server dočasně nemůže nebo nechce zpracovat požadavek. Většinou "
                                 "když je přetížený nebo se provádí údržba"},
    {IDS_HTTP_STATUS_BASE + 504, "timed out waiting for gateway"},
    {IDS_HTTP_STATUS_BASE + 505, "Server nepodporuje verzi HTTP v daném požadavku"},

    // Internet errors, the numbering of the transport's error codes (platform/LastError.h).
    {IDS_INTERNET_ERROR_BASE + 2, "Časový limit operace vypršel"},
    {IDS_INTERNET_ERROR_BASE + 4, "Vnitřní chyba při komunikaci se serverem"},
    {IDS_INTERNET_ERROR_BASE + 5, "Adresa URL je neplatná"},
    {IDS_INTERNET_ERROR_BASE + 6, "Protokol v adrese URL nebyl rozpoznán nebo není podporován"},
    {IDS_INTERNET_ERROR_BASE + 7, "Název serveru nelze přeložit na adresu"},
    {IDS_INTERNET_ERROR_BASE + 14, "Uživatelské jméno nebo heslo není správné"},
    {IDS_INTERNET_ERROR_BASE + 17, "Operace byla zrušena"},
    {IDS_INTERNET_ERROR_BASE + 29, "Nelze navázat spojení se serverem"},
    {IDS_INTERNET_ERROR_BASE + 30, "Spojení se serverem bylo ukončeno"},
    {IDS_INTERNET_ERROR_BASE + 31, "Spojení se serverem bylo přerušeno"},
    {IDS_INTERNET_ERROR_BASE + 37, "Platnost certifikátu serveru vypršela nebo ještě nezačala"},
    {IDS_INTERNET_ERROR_BASE + 38, "Název v certifikátu serveru neodpovídá názvu serveru"},
    {IDS_INTERNET_ERROR_BASE + 40, "Server přesměroval požadavek ze zabezpečeného spojení (https) "
                                   "na nezabezpečené (http); klient přesměrování odmítl"},
    {IDS_INTERNET_ERROR_BASE + 44, "Server vyžaduje certifikát klienta"},
    {IDS_INTERNET_ERROR_BASE + 45,
     "Certifikát serveru vydala certifikační autorita, které se nedůvěřuje"},
    {IDS_INTERNET_ERROR_BASE + 57, "Nelze ověřit, zda certifikát serveru nebyl odvolán"},
    {IDS_INTERNET_ERROR_BASE + 150, "Odpověď serveru neobsahuje požadovanou hlavičku"},
    {IDS_INTERNET_ERROR_BASE + 152, "Server vrátil neplatnou nebo nerozpoznanou odpověď"},
    {IDS_INTERNET_ERROR_BASE + 156,
     "Server přesměroval požadavek na jinou adresu; klient přesměrování nenásledoval"},
    {IDS_INTERNET_ERROR_BASE + 157, "Chyba zabezpečeného kanálu"},
    {IDS_INTERNET_ERROR_BASE + 174, "Přihlášení k serveru se nezdařilo"},
});

static_assert(std::adjacent_find(kRows.begin(), kRows.end(),
                                 [](const StringTableRow& a, const StringTableRow& b) {
                                     return a.id >= b.id;
                                 }) == kRows.end(),
              "the rows must be sorted by id, each id once");

} // namespace

std::span<const StringTableRow> StringTableRows() {
    return kRows;
}

const char* FindStringTableText(uint32_t id) {
    const auto* row =
        std::lower_bound(kRows.begin(), kRows.end(), id,
                         [](const StringTableRow& r, uint32_t value) { return r.id < value; });
    return row != kRows.end() && row->id == id ? row->text : nullptr;
}
