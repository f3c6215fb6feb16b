#include "support/ErrorText.h"
#include "platform/LastError.h"
#include "support/ResultCodes.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

std::string ErrorTextOf(uint32_t code, const char* detail = nullptr) {
    if (detail != nullptr) {
        SetLastError(code, detail);
    } else {
        SetLastError(code);
    }
    const std::string text = SystemErrorText();
    EXPECT_EQ(GetLastError(), code) << "describing the error must not change it";
    return text;
}

TEST(ErrorTextTest, SystemErrorTextLayouts) {
    EXPECT_EQ(ErrorTextOf(0), "");
    EXPECT_EQ(ErrorTextOf(0, "a detail alone is no error"), "");
    EXPECT_EQ(ErrorTextOf(2), std::string("0x00000002 (2):  ") + std::strerror(2));
    EXPECT_EQ(ErrorTextOf(EACCES), std::string("0x0000000D (13):  ") + std::strerror(EACCES));

    // The top of the internet range, with our message and with the transport's detail.
    EXPECT_EQ(ErrorTextOf(12174), "0x00002F8E (12174):  Přihlášení k serveru se nezdařilo");
    EXPECT_EQ(ErrorTextOf(12174, "HTTP 401"),
              "0x00002F8E (12174):  Přihlášení k serveru se nezdařilo (HTTP 401)");
    EXPECT_EQ(ErrorTextOf(ERROR_INTERNET_CANNOT_CONNECT, "Failed to connect to 127.0.0.1"),
              "0x00002EFD (12029):  Nelze navázat spojení se serverem (Failed to connect to "
              "127.0.0.1)");

    // Codes without a message: the "error" form and nothing after it.
    EXPECT_EQ(ErrorTextOf(12100), "error 0x00002F44 (12100): ");
    EXPECT_EQ(ErrorTextOf(12175), "error 0x00002F8F (12175): ");
    EXPECT_EQ(ErrorTextOf(0x80091002), "error 0x80091002 (2148077570): ");
    EXPECT_EQ(ErrorTextOf(0xFFFFFFFF), "error 0xFFFFFFFF (4294967295): ");
    // ... unless the transport said what happened.
    EXPECT_EQ(ErrorTextOf(12100, "weird"), "0x00002F44 (12100):  weird");
}

TEST(ErrorTextTest, TtiErrorTextMapsTheLibraryCodes) {
    EXPECT_EQ(TtiErrorText(0), "tti: ok");
    EXPECT_EQ(TtiErrorText(-1), "předán neplatný parametr");
    EXPECT_EQ(TtiErrorText(-8), "Chyba při ověření podpisu časového razítka.");
    EXPECT_EQ(TtiErrorText(-15), "Časové razítko neobsahuje TAC");
    EXPECT_EQ(TtiErrorText(-17), "V TAC chybí položka: politika časové autority");
    for (int code : {-18, 1, int{RESULT_E_HASH_UNSUPPORTED}, INT_MIN, INT_MAX}) {
        EXPECT_EQ(TtiErrorText(code), "Neznámá chyba") << code;
    }
}

TEST(ErrorTextTest, ResultCodeTextFollowsItsTable) {
    const struct {
        int code;
        const char* text;
    } rows[] = {{RESULT_E_HASH_UNSUPPORTED, "Hash algoritmus není podporován"},
                {RESULT_E_HASH_INIT, "Chyba při inicializaci hash funkce"},
                {RESULT_E_READ_FILE, "Chyba při čtení souboru %s"},
                {RESULT_E_READ_SOURCE, "Chyba při čtení zdrojového souboru %s"},
                {RESULT_E_DIGEST_MISMATCH, "Ověření miniatury skončilo chybou"},
                {RESULT_E_STAMP, "Chyba kvalifikovaného časového razítka"},
                {RESULT_E_NOT_REGULAR_FILE,
                 "%s není obyčejný soubor (je to zařízení, roura nebo soket). Miniaturu lze "
                 "spočítat jen z obyčejného souboru."},
                {RESULT_E_SOURCE_CHANGED,
                 "Soubor %s se během čtení změnil (velikost nebo čas poslední změny), jeho "
                 "miniaturu nelze použít. Zkuste to znovu, až se soubor přestane měnit."}};
    for (const auto& row : rows) {
        std::string text = "old";
        EXPECT_TRUE(ResultCodeText(row.code, text)) << row.code;
        EXPECT_EQ(text, row.text);
    }
    for (int code : {int{RESULT_OK}, int{RESULT_E_SILENT}, RESULT_E_HASH_UNSUPPORTED - 1,
                     RESULT_E_SOURCE_CHANGED + 1, -1}) {
        std::string text = "old";
        EXPECT_FALSE(ResultCodeText(code, text)) << code;
        EXPECT_EQ(text, "old");
    }
}

} // namespace
