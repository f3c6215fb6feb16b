// Opening and verifying stamp files: the dialog's proposals, listing, checking only, the
// dispatch of handed-over paths and the re-entry guard.
#include "DocFixture.h"

#include "support/StringIds.h"

#include <filesystem>

using namespace doc_test;
namespace fs = std::filesystem;

namespace {

class OpenVerifyTest : public DocFixture {
protected:
    // A real stamp of a file called `name` with `content`, made through the TSA.
    std::string Stamp(const std::string& name, const std::string& content) {
        const auto source = dir.Write(name, content);
        EXPECT_EQ(doc->CreateStamp(source), 1);
        boxes.shown.clear();
        return source;
    }
};

} // namespace

TEST_F(OpenVerifyTest, VerifyOfAMissingStampShowsTheReaderMessage) {
    const auto stamp = dir.File("missing.tsr");
    front.verifyAnswer = [&](VerifyDialogValues& v) {
        v.m_strStampFile = stamp;
        v.m_strSourceFile = dir.File("missing");
        return true;
    };
    doc->OnCommand(ID_VERIFY);
    ASSERT_EQ(front.verifyShown.size(), 1u);
    EXPECT_EQ(front.verifyShown[0].m_strStampFile, "");
    EXPECT_EQ(front.verifyShown[0].m_strSourceFile, "");
    EXPECT_FALSE(front.verifyShown[0].m_bAddToList);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Výsledek ověření");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[0].text,
              "Ověření miniatury skončilo chybou\n\nChyba při čtení souboru '" + stamp + "'");
    EXPECT_EQ(registry.GetCount(), 0);
}

TEST_F(OpenVerifyTest, OpenProposesTheSourceAndListsTheStamp) {
    const auto source = Stamp("smlouva.pdf", "obsah");
    ASSERT_EQ(doc->RemoveEntry(0), 1); // the list is empty again, in the file too
    ASSERT_EQ(front.list.RowCount(), 0);
    front.fileAnswers.push_back(source + ".tsr");
    doc->OnCommand(ID_FILE_OPEN);
    ASSERT_EQ(front.fileDialogs.size(), 1u);
    EXPECT_EQ(front.fileDialogs[0].m_strTitle, "Otevřít soubor kvalifikovaného časového razítka");
    EXPECT_EQ(front.fileDialogs[0].m_strFilterName, "Kvalifikované časové razítka");
    EXPECT_EQ(front.fileDialogs[0].m_strFilterPattern, "*.tsr;*.tst");
    ASSERT_EQ(front.verifyShown.size(), 1u);
    EXPECT_EQ(front.verifyShown[0].m_strSourceFile, source);
    EXPECT_TRUE(front.verifyShown[0].m_bAddToList);
    ASSERT_EQ(registry.GetCount(), 1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Kvalifikované časové razítko je v pořádku");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(OpenVerifyTest, CheckOnlyLeavesListAndDisplayAsTheyWere) {
    const auto source = Stamp("a.txt", "obsah");
    const int updates = view.updates;
    const std::string shown = doc->GetFieldValue("m_strSerialNumber");
    front.verifyAnswer = [](VerifyDialogValues& v) {
        v.m_bAddToList = false; // the user unticks "Přidat do seznamu"
        return true;
    };
    EXPECT_EQ(doc->OpenStamp(source + ".tsr", true), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    // The check's outcome as ever, the verdicts on the lines after it.
    EXPECT_EQ(boxes.shown[0].text.rfind("Kvalifikované časové razítko je v pořádku\n", 0), 0u);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(registry.GetCount(), 1);
    EXPECT_EQ(view.updates, updates);
    EXPECT_EQ(doc->GetFieldValue("m_strSerialNumber"), shown);
}

TEST_F(OpenVerifyTest, ChangedSourceFailsWithTheDigestSentenceTwice) {
    const auto source = Stamp("a.txt", "obsah");
    dir.Write("a.txt", "obsaH");
    front.verifyAnswer = [](VerifyDialogValues& v) {
        v.m_bAddToList = false;
        return true;
    };
    EXPECT_EQ(doc->OpenStamp(source + ".tsr", true), 1); // confirmed, then it failed
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[0].text,
              "Ověření miniatury skončilo chybou\n\nOvěření miniatury skončilo chybou");
}

TEST_F(OpenVerifyTest, HandedOverPathsDispatchByExactExtension) {
    const auto token = WriteToken("a.tst", "data");
    EXPECT_TRUE(doc->OnOpenDocument(token.c_str()));
    ASSERT_EQ(front.verifyShown.size(), 1u);
    EXPECT_EQ(front.verifyShown[0].m_strStampFile, token);
    EXPECT_TRUE(front.verifyShown[0].m_bAddToList);

    // Another letter case is not a stamp file: it gets a stamp of its own.
    const auto upper = dir.Write("a.TST", "data");
    EXPECT_TRUE(doc->OnOpenDocument(upper.c_str()));
    EXPECT_EQ(front.verifyShown.size(), 1u);
    EXPECT_TRUE(fs::exists(upper + ".tsr"));
    EXPECT_FALSE(doc->OnOpenDocument(nullptr));
}

TEST_F(OpenVerifyTest, SourceGuessTakesTheFirstExtensionThatOccursAnywhere) {
    EXPECT_EQ(doc->GuessSourcePath("/d/smlouva.pdf.tsr"), "/d/smlouva.pdf");
    EXPECT_EQ(doc->GuessSourcePath("/d/doc.tsr.bak"), "/d/doc");
    EXPECT_EQ(doc->GuessSourcePath("/d/x.tst/a.bin"), "/d/x");
    EXPECT_EQ(doc->GuessSourcePath("/d/a.tst.tsr"), "/d/a.tst");
    EXPECT_EQ(doc->GuessSourcePath("/d/a.TSR"), "");
    EXPECT_TRUE(doc->IsStampFilePath("a.tsr"));
    EXPECT_TRUE(doc->IsStampFilePath("a.tsr.tst"));
    EXPECT_FALSE(doc->IsStampFilePath("a.tsr.bak"));
    EXPECT_FALSE(doc->IsStampFilePath("a.TSR"));
}

TEST_F(OpenVerifyTest, SecondOpenWhileTheDialogIsOpenIsDropped) {
    int inner = -1;
    front.verifyAnswer = [&](VerifyDialogValues&) {
        inner = doc->OpenStamp("/other.tsr", true); // e.g. handed over by a second start
        doc->OnVerify();
        return false;
    };
    EXPECT_EQ(doc->OpenStamp("/first.tsr", true), 0);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(front.verifyShown.size(), 1u);
    // Released afterwards: the next one runs.
    front.verifyAnswer = [](VerifyDialogValues&) {
        return false;
    };
    doc->OnVerify();
    EXPECT_EQ(front.verifyShown.size(), 2u);
}

TEST_F(OpenVerifyTest, CancelChangesNothing) {
    front.verifyAnswer = [](VerifyDialogValues&) {
        return false;
    };
    EXPECT_EQ(doc->OpenStamp(dir.File("a.tsr"), true), 0);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(registry.GetCount(), 0);
    EXPECT_FALSE(doc->IsModified());
    front.fileAnswers.push_back(std::nullopt);
    doc->OnFileOpen();
    EXPECT_EQ(front.verifyShown.size(), 1u);
}

TEST_F(OpenVerifyTest, ListedStampWhoseSourceVanishedReportsItEveryTimeAndStillShowsDetails) {
    const auto source = Stamp("a.txt", "obsah");
    fs::remove(source);
    for (int i = 0; i < 2; ++i) {
        boxes.shown.clear();
        doc->ShowEntry(0);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "Chyba při čtení zdrojového souboru " + source);
        EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Chyba kvalifikovaného časového razítka");
        EXPECT_EQ(doc->GetFieldValue("m_verif_msg"),
                  "Chyba při čtení zdrojového souboru " + source);
        EXPECT_FALSE(doc->GetFieldValue("m_strSerialNumber").empty());
        EXPECT_FALSE(doc->SourceMatches());
    }
}

TEST_F(OpenVerifyTest, ALargeSourceIsCheckedAsLongWorkThatTheUserMayStop) {
    const auto source = Stamp("velký.bin", std::string(kLongSourceBytes, 'v'));
    front.verifyAnswer = [](VerifyDialogValues& v) {
        v.m_bAddToList = false;
        return true;
    };
    const std::size_t works = static_cast<std::size_t>(front.longWorks);
    front.reports.clear();
    EXPECT_EQ(doc->OpenStamp(source + ".tsr", true), 1);
    EXPECT_EQ(static_cast<std::size_t>(front.longWorks), works + 1);
    ASSERT_FALSE(front.reports.empty());
    EXPECT_EQ(front.reports[0].first, "Počítám otisk souboru " + source + "…");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);

    // Stopped: nothing to tell, neither success nor a failure.
    boxes.shown.clear();
    front.stopDuringWork = front.longWorks + 1;
    EXPECT_EQ(doc->OpenStamp(source + ".tsr", true), 1);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;
    // A small source is checked at once, without long work.
    const auto small = Stamp("malý.txt", "obsah");
    const int before = front.longWorks;
    EXPECT_EQ(doc->OpenStamp(small + ".tsr", true), 1);
    EXPECT_EQ(front.longWorks, before);
}
