#include "platform/LastError.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <gtest/gtest.h>

namespace {

// Lead and continuation bytes in the right places (enough to catch a text saved in another
// encoding, which is the mistake this guards against).
bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead < 0x80             ? 0
                                  : (lead & 0xE0) == 0xC0 ? 1
                                  : (lead & 0xF0) == 0xE0 ? 2
                                  : (lead & 0xF8) == 0xF0 ? 3
                                                          : 4;
        if (extra == 4 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

TEST(StringTableTest, EveryTextIsNonEmptyUtf8) {
    for (const StringTableRow& row : StringTableRows()) {
        ASSERT_NE(row.text, nullptr) << row.id;
        EXPECT_FALSE(std::string_view(row.text).empty()) << row.id;
        EXPECT_TRUE(IsValidUtf8(row.text)) << row.id;
        EXPECT_EQ(LoadResString(row.id), row.text);
    }
}

TEST(StringTableTest, TextsAreExactToTheByte) {
    EXPECT_EQ(LoadResString(IDS_APP_TITLE), "MIVO klient");
    EXPECT_EQ(LoadResString(57345), "P\xC5\x99ipraven");
    EXPECT_EQ(LoadResString(IDR_MAINFRAME),
              "MIVO klient\n\nMIVO klient\n\n\nMIVO klient.Document\nMIVO klient Document");
    EXPECT_EQ(LoadResString(61209), "Vymazat vybraný soubor kvalifikovaného časového razítka?");
    EXPECT_EQ(LoadResString(61270), "Chyba kvalifikovaného časového razítka");
    EXPECT_EQ(LoadResString(61256), "Neočekávaná ASN chyba. Chybný formát.");
    EXPECT_EQ(LoadResString(61267), "V TAC chybí položka: politika časové autority");
    EXPECT_EQ(LoadResString(62404), "Server nenašel zadanou adresu URL");
    EXPECT_EQ(LoadResString(62500), "Na serveru došlo k neočekávané chybě");
    // Double blanks, a trailing blank and the micro sign are part of the texts.
    EXPECT_EQ(LoadResString(IDS_TTI_REPLY_ERROR_TEXT),
              "Chyba vrácená TTI knihovnou\n\nZpráva odpovědi:  %s");
    EXPECT_EQ(LoadResString(IDS_ACCURACY_UNEXPECTED), "(Programming error:  unexpected data)");
    EXPECT_EQ(LoadResString(IDS_CONNECT_ERROR), "Chyba při připojení k serveru ");
    EXPECT_EQ(LoadResString(IDS_UNIT_MICROSECONDS), " \xC2\xB5s");
    EXPECT_EQ(LoadResString(IDS_TTI_REPLY_LENGTH),
              "Chyba vrácená TTI knihovnou\n\nNesouhlasí velikost přijatých dat (%u bajtů "
              "přijato, %u bajtů očekáváno)");
    EXPECT_EQ(LoadResString(IDS_STAMP_FILE_READ_ERROR), "Chyba při čtení souboru '%s'");
    EXPECT_EQ(LoadResString(IDS_SHORT_WRITE),
              "chyba při zápisu do souboru %s (%d bajtů zapsat, %u bajtů zapsáno)");
    EXPECT_EQ(LoadResString(IDS_MENU_HELP_CONTENTS), "Nápo&věda\tF1");
    // A command's text is its prompt and, after a line feed, its tip; "same" has no tip.
    EXPECT_EQ(LoadResString(ID_VERIFY), "Ověřit hash souboru\nOvěřit soubor");
    EXPECT_EQ(LoadResString(ID_FILE_PRINT_DIRECT), "Vytisknout aktuální stránku");
}

TEST(StringTableTest, CodeTablesAreComplete) {
    for (uint32_t id = IDS_TTI_OK; id <= IDS_TTI_UNKNOWN; ++id) {
        EXPECT_FALSE(LoadResString(id).empty()) << id;
    }
    for (int status : {400, 402, 403, 404, 405, 406, 408, 409, 410, 411,
                       412, 413, 414, 415, 500, 501, 502, 503, 504, 505}) {
        EXPECT_FALSE(LoadResString(IDS_HTTP_STATUS_BASE + status).empty()) << status;
    }
    for (int status : {401, 407, 416, 418, 499, 506}) {
        EXPECT_EQ(LoadResString(IDS_HTTP_STATUS_BASE + status), "") << status;
    }
    for (uint32_t code :
         {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_INTERNAL_ERROR, ERROR_INTERNET_INVALID_URL,
          ERROR_INTERNET_UNRECOGNIZED_SCHEME, ERROR_INTERNET_NAME_NOT_RESOLVED,
          ERROR_INTERNET_INCORRECT_PASSWORD, ERROR_INTERNET_OPERATION_CANCELLED,
          ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
          ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_SEC_CERT_DATE_INVALID,
          ERROR_INTERNET_SEC_CERT_CN_INVALID, ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED,
          ERROR_INTERNET_INVALID_CA, ERROR_INTERNET_SEC_CERT_REV_FAILED,
          ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
          ERROR_INTERNET_LOGIN_FAILURE_DISPLAY_ENTITY_BODY}) {
        EXPECT_FALSE(LoadResString(IDS_INTERNET_ERROR_BASE + code - INTERNET_ERROR_BASE).empty())
            << code;
    }
}

} // namespace
