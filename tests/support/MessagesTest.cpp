#include "support/Messages.h"
#include "platform/LastError.h"
#include "support/ErrorText.h"
#include "support/StringIds.h"

#include "testlib/RecordingMessageBoxes.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

namespace {

std::string SystemMessage(int code) {
    return std::strerror(code);
}

TEST(MessagesTest, LoadResStringKeepsTheLastErrorAndKnowsNoMissingIds) {
    SetLastError(ERROR_INTERNET_CANNOT_CONNECT, "Failed to connect to tsa port 443");
    errno = EACCES;
    EXPECT_EQ(LoadResString(IDS_STAMP_OK), "Kvalifikované časové razítko je v pořádku");
    EXPECT_EQ(LoadResString(61210), ""); // not an entry
    EXPECT_EQ(LoadResString(0), "");
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(LastErrorDetail(), "Failed to connect to tsa port 443");
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(FormatRes(61210, "x"), "");
}

TEST(MessagesTest, FormatResTakesStringsAndNumbers) {
    const std::string path = "/home/jana/smlouva.pdf";
    EXPECT_EQ(FormatRes(IDS_SOURCE_READ_ERROR, path),
              "Chyba při čtení zdrojového souboru /home/jana/smlouva.pdf");
    EXPECT_EQ(FormatRes(IDS_SHORT_WRITE, "a.tsr", 100, 40U),
              "chyba při zápisu do souboru a.tsr (100 bajtů zapsat, 40 bajtů zapsáno)");
    EXPECT_EQ(FormatRes(IDS_TTI_NOT_GRANTED_STATUS, 2, 5, std::string_view("rejected, bad alg")),
              "Chyba vrácená TTI knihovnou\n\nKvalifikované časové razítko nebylo vydáno.\n"
              "Status 2. 5 - rejected, bad alg");
    EXPECT_EQ(FormatRes(IDS_TTI_GET_STATUS_FAILED, std::string("tti: x"), "<html>"),
              "Chyba vrácená TTI knihovnou\n\nTTI_GetTSR_Status tti: x\n\n<html>");
}

TEST(MessagesTest, ConversionsReadArgumentsAsPrintfWould) {
    EXPECT_EQ(FormatText("%u", -1), "4294967295");
    EXPECT_EQ(FormatText("%d", 4294967295U), "-1");
    EXPECT_EQ(FormatText("%08X (%u)", 12174U, 12174U), "00002F8E (12174)");
    EXPECT_EQ(FormatText("%lld|%zu|%hhu", -5LL, std::size_t{7}, 257), "-5|7|1");
    EXPECT_EQ(FormatText("%g %g %.3f", 1.5f, 20.0, 2), "1.5 20 2.000");
    EXPECT_EQ(FormatText("[%5s|%-5s|%.2s|%*d]", "ab", "cd", "xyz", 3, 7), "[   ab|cd   |xy|  7]");
    EXPECT_EQ(FormatText("100%% %c", 'x'), "100% x");
    const char* none = nullptr;
    EXPECT_EQ(FormatText("%s", none), "(null)");
    EXPECT_EQ(FormatText("no placeholders"), "no placeholders");
    EXPECT_EQ(FormatText("%s", std::string("with\0nul", 8)), std::string("with\0nul", 8));
}

TEST(MessagesTest, MismatchedArgumentsLeaveTheTemplateUnformatted) {
    EXPECT_EQ(FormatText("Soubor %s", 5), "Soubor %s");
    EXPECT_EQ(FormatText("Status %d", "x"), "Status %d");
    EXPECT_EQ(FormatText("%s and %s", "one"), "%s and %s");
    EXPECT_EQ(FormatText("%d", 1.5), "%d");
    EXPECT_EQ(FormatText("%n", 1), "%n");
    EXPECT_EQ(FormatText("%1$s", "x"), "%1$s");
    EXPECT_EQ(FormatText("%99999d", 1), "%99999d");
    EXPECT_EQ(FormatText("ends in %", 1), "ends in %");
    EXPECT_EQ(FormatRes(IDS_CANNOT_CREATE_FILE), "Nelze vytvořit soubor %s");
}

TEST(MessagesTest, FormattedTextIsCutAt4095Bytes) {
    const std::string longPath(5000, 'p');
    const std::string text = FormatRes(IDS_CANNOT_CREATE_FILE, longPath);
    ASSERT_EQ(text.size(), 4095U);
    EXPECT_EQ(text.rfind("Nelze vytvořit soubor pppp", 0), 0U);
    EXPECT_EQ(FormatText("%s", std::string(4095, 'x')).size(), 4095U);
    EXPECT_EQ(FormatText("%s", std::string(4094, 'x')).size(), 4094U);
    // Never in the middle of a character: "č" would straddle the limit.
    const std::string czech = FormatText("%s", std::string(4094, 'x') + "č");
    EXPECT_EQ(czech, std::string(4094, 'x'));
    // A template cut when it cannot be formatted, too.
    EXPECT_EQ(FormatText(std::string(5000, 'y') + "%s", 1).size(), 4095U);
}

TEST(MessagesTest, ErrorBoxesShowOkAndTheErrorIconUnderTheTitle) {
    RecordingMessageBoxes boxes;
    SetLastError(0);
    ErrorBox("text");
    ErrorBoxWithSystemError("no system error");
    ErrorBoxF(IDS_SOURCE_READ_ERROR, "a.pdf");

    SetLastError(ENOENT);
    ErrorBoxWithSystemErrorF(IDS_CANNOT_CREATE_FILE, "/x/a.tsr");
    SetLastError(ENOENT);
    const std::string formatted = FormatResWithSystemError(IDS_WRITE_ERROR, "b");

    ASSERT_EQ(boxes.shown.size(), 4U);
    for (const RecordingMessageBoxes::Box& box : boxes.shown) {
        EXPECT_EQ(box.caption, "MIVO klient");
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
        EXPECT_EQ(box.icon, MsgIcon::Error);
    }
    EXPECT_EQ(boxes.shown[0].text, "text");
    EXPECT_EQ(boxes.shown[1].text, "no system error");
    EXPECT_EQ(boxes.shown[2].text, "Chyba při čtení zdrojového souboru a.pdf");
    EXPECT_EQ(boxes.shown[3].text,
              "Nelze vytvořit soubor /x/a.tsr\n\n0x00000002 (2):  " + SystemMessage(ENOENT));
    EXPECT_EQ(formatted,
              "Chyba při zápisu do souboru: b\n\n0x00000002 (2):  " + SystemMessage(ENOENT));
}

TEST(MessagesTest, WithoutAFrontEndBoxesGoToStandardErrorAndQuestionsAreDeclined) {
    IMessageBoxes* previous = SetMessageBoxes(nullptr);
    testing::internal::CaptureStderr();
    const MsgResult ok =
        MessageBoxes().Show("Hotovo", "MIVO klient", MsgButtons::Ok, MsgIcon::Information);
    const MsgResult answer = MessageBoxes().Show(LoadResString(IDS_CONFIRM_DELETE), "MIVO klient",
                                                 MsgButtons::YesNo, MsgIcon::Question);
    const std::string written = testing::internal::GetCapturedStderr();
    SetMessageBoxes(previous);
    EXPECT_EQ(ok, MsgResult::Ok);
    EXPECT_EQ(answer, MsgResult::No);
    EXPECT_NE(written.find("MIVO klient: Hotovo\n"), std::string::npos);
    EXPECT_NE(written.find("Vymazat vybraný soubor"), std::string::npos);
}

TEST(MessagesTest, RecordingBoxesAnswerFromTheirScript) {
    RecordingMessageBoxes boxes;
    boxes.Answer(MsgResult::No);
    EXPECT_EQ(MessageBoxes().Show("q1", "c", MsgButtons::YesNo, MsgIcon::Question), MsgResult::No);
    EXPECT_EQ(MessageBoxes().Show("q2", "c", MsgButtons::YesNo, MsgIcon::Question), MsgResult::Yes);
    {
        RecordingMessageBoxes inner;
        ErrorBox("inner");
        EXPECT_EQ(inner.shown.size(), 1U);
    }
    ErrorBox("outer again");
    ASSERT_EQ(boxes.shown.size(), 3U);
    EXPECT_EQ(boxes.shown[2].text, "outer again");
}

} // namespace
