// The document's own operations: published fields, showing and removing entries, deleting
// through the panel and the save point.
#include "DocFixture.h"

#include "document/DetailFields.h"
#include "list/StampList.h"
#include "support/StringIds.h"

#include <filesystem>

using namespace doc_test;
namespace fs = std::filesystem;

namespace {

class DocumentTest : public DocFixture {
protected:
    // Lists `count` stamps (tokens of the factory with their sources) without the TSA.
    void ListStamps(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string content = "source " + std::to_string(i);
            const auto source = dir.Write("s" + std::to_string(i) + ".txt", content);
            const auto stamp = WriteToken("s" + std::to_string(i) + ".txt.tst", content);
            doc->AddToList({stamp, source, ""});
        }
        boxes.shown.clear();
    }
};

} // namespace

TEST_F(DocumentTest, FieldNamesAreExactAndCaseSensitive) {
    TokenSpec spec;
    spec.policyOid = "1.2.3.4.9";
    mivo::test::TacSpec tac;
    tac.policyOid = "2.25.1.2.3";
    spec.tac = tac;
    const auto source = dir.Write("s0.txt", "source");
    doc->AddToList({WriteToken("s0.txt.tst", "source", spec), source, ""});
    EXPECT_EQ(doc->GetFieldValue("m_strUTCTime"), "2025/05/09  11:58:55");
    EXPECT_EQ(doc->GetFieldValue("m_mtr_strPolicyOID"), "2.25.1.2.3");
    EXPECT_EQ(doc->GetFieldValue("m_strPolicyOid"), "1.2.3.4.9");
    EXPECT_EQ(doc->GetFieldValue("m_strpolicyoid"), "");
    EXPECT_EQ(doc->GetFieldValue("m_doc_name"), source);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), dir.File("s0.txt.tst"));
    EXPECT_EQ(doc->GetFieldValue("anything"), "");
    // The document's own order: the check's two texts first, the TAC's signature last of the
    // stamp's own fields, the verdicts' after them.
    const auto order = DetailFieldsInDocumentOrder();
    ASSERT_EQ(order.size(), 34u);
    EXPECT_EQ(DetailFields()[order[0]].name, "m_hash_verif_msg");
    EXPECT_EQ(DetailFields()[order[1]].name, "m_verif_msg");
    EXPECT_EQ(DetailFields()[order[24]].name, "m_tac_strSignature");
    EXPECT_EQ(DetailFields()[order[25]].name, "trust");
}

TEST_F(DocumentTest, ShowingNothingEmptiesEverything) {
    ListStamps(2);
    for (int index : {-1, 2, 99}) {
        doc->ShowEntry(1);
        ASSERT_FALSE(doc->GetFieldValue("m_strSerialNumber").empty());
        const int updates = view.updates;
        doc->ShowEntry(index);
        EXPECT_EQ(doc->GetCurrentEntryIndex(), -1) << index;
        EXPECT_EQ(doc->GetTitle(), "") << index;
        EXPECT_EQ(doc->GetFieldValue("m_file_name"), "") << index;
        for (const DetailField& field : DetailFields())
            EXPECT_EQ(doc->GetFieldValue(field.name), "") << field.name;
        EXPECT_FALSE(doc->HasTstInfo());
        EXPECT_EQ(view.updates, updates + 1) << index;
    }
}

TEST_F(DocumentTest, RemovingTheShownEntryForgetsItOthersKeepTheIndex) {
    ListStamps(3);
    doc->ShowEntry(1);
    EXPECT_EQ(doc->RemoveEntry(2), 1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 1);
    EXPECT_EQ(doc->RemoveEntry(1), 1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
    EXPECT_EQ(doc->RemoveEntry(1), 0); // count is 1 now
    EXPECT_EQ(doc->RemoveEntry(-1), 0);
    EXPECT_EQ(registry.GetCount(), 1);
}

TEST_F(DocumentTest, DeleteAsksAndRemovesOnlyOnYes) {
    ListStamps(2); // the second row is selected and shown
    boxes.Answer(MsgResult::No);
    doc->OnCommand(ID_DELETE_FROM_LIST);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Vymazat vybraný soubor kvalifikovaného časového razítka?");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(registry.GetCount(), 2);

    doc->SetModifiedFlag(false);
    boxes.Answer(MsgResult::Yes);
    doc->OnCommand(ID_DELETE_FROM_LIST);
    EXPECT_EQ(registry.GetCount(), 1);
    EXPECT_EQ(front.list.rows.size(), 1u);
    EXPECT_EQ(front.list.selected, -1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
    EXPECT_EQ(doc->GetFieldValue("m_strSerialNumber"), "");
    EXPECT_FALSE(doc->IsModified()); // removed from the file at once
    CStampList stored;
    ASSERT_EQ(LoadStampList(Settings(), stored), 1);
    EXPECT_EQ(stored.GetAt(0).m_strStampFile, dir.File("s0.txt.tst"));
    // The files stay on disk.
    EXPECT_TRUE(fs::exists(dir.File("s1.txt.tst")));

    // Nothing selected: no question, nothing changes.
    boxes.shown.clear();
    doc->SetModifiedFlag(false);
    doc->OnCommand(ID_DELETE_FROM_LIST);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(DocumentTest, EveryChangeIsWrittenAtOnceAndTheSavePointHasNothingLeft) {
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_FALSE(fs::exists(Settings().IniPath())); // closing without changes writes nothing
    ListStamps(2);
    EXPECT_FALSE(doc->IsModified());
    CStampList loaded;
    EXPECT_EQ(LoadStampList(Settings(), loaded), 2);
    EXPECT_EQ(loaded.GetAt(1).m_strStampFile, dir.File("s1.txt.tst"));
    EXPECT_EQ(loaded.GetAt(1).m_strSourceFile, dir.File("s1.txt"));
    EXPECT_EQ(fs::status(Settings().IniPath()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string ini = IniText();
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_EQ(IniText(), ini);
    EXPECT_TRUE(boxes.shown.empty());
}

// A write that fails says so with the error it always had, and offers to try again; what
// was not written is kept for the next write, and closing asks before it is given up.
TEST_F(DocumentTest, AFailedWriteOffersToTryAgainAndClosingAsksBeforeDiscarding) {
    ListStamps(1);
    const std::string ini = Settings().IniPath();
    const auto block = [&] {
        fs::rename(ini, ini + ".saved");
        fs::create_directories(ini + "/in-the-way");
    };
    const auto unblock = [&] {
        fs::remove_all(ini);
        fs::rename(ini + ".saved", ini);
    };
    block();
    boxes.Answer(MsgResult::Retry); // fails again: offered again, then declined
    const auto second = WriteToken("s1.txt.tst", "second");
    dir.Write("s1.txt", "second");
    doc->AddToList({second, dir.File("s1.txt"), ""});
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Chyba při zápisu do souboru: " + ini + "\n\n", 0), 0u)
        << boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    // Listed and shown all the same, but not stored yet.
    EXPECT_EQ(registry.GetCount(), 2);
    EXPECT_EQ(front.list.rows.size(), 2u);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 1);
    EXPECT_TRUE(doc->IsModified());

    // Stored at the next chance, together with what came after it.
    unblock();
    boxes.shown.clear();
    ASSERT_EQ(doc->RemoveEntry(0), 1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(doc->IsModified());
    CStampList loaded;
    ASSERT_EQ(LoadStampList(Settings(), loaded), 1);
    EXPECT_EQ(loaded.GetAt(0).m_strStampFile, second);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0); // the shown entry moved up with its row

    // Closing with a change that cannot be written: offered again, then the question.
    block();
    ASSERT_EQ(doc->RemoveEntry(0), 1);
    boxes.shown.clear();
    boxes.Answer(MsgResult::Cancel);
    boxes.Answer(MsgResult::No);
    EXPECT_FALSE(doc->SaveModified());
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes.shown[1].text, "Změny seznamu souborů s časovým razítkem se nepodařilo "
                                   "uložit do souboru " +
                                       ini + ".\n\nZavřít přesto a tyto změny zahodit?");
    boxes.Answer(MsgResult::Cancel);
    boxes.Answer(MsgResult::Yes);
    EXPECT_TRUE(doc->SaveModified());
    // Trying again once the way is free stores it and closes without a question.
    unblock();
    boxes.shown.clear();
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_TRUE(boxes.shown.empty());
    CStampList empty;
    EXPECT_EQ(LoadStampList(Settings(), empty), 0);
}

TEST_F(DocumentTest, NewDocumentHasAnEmptyTitleAndFileNewNeverMakesAnother) {
    doc->SetTitle("x");
    EXPECT_TRUE(doc->OnNewDocument());
    EXPECT_EQ(doc->GetTitle(), "");
    EXPECT_TRUE(doc->OnCommand(ID_FILE_NEW));
    EXPECT_FALSE(doc->OnCommand(ID_APP_ABOUT)); // the view's, not the document's
}
