// The verdicts of a shown stamp as the document publishes them: a stamp of the local test
// TSA with its CA among the anchors and without, the page's rows and colours, the list row's
// badge, the verification's outcome, and trusting the stamp's authority on purpose.
#include "DocFixture.h"

#include "core/TrustAnchors.h"
#include "core/TrustedListCache.h"
#include "document/DetailFields.h"
#include "document/Pages.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <filesystem>

using namespace doc_test;
namespace fs = std::filesystem;

namespace {

class VerdictsTest : public DocFixture {
protected:
    void SetUp() override {
        DocFixture::SetUp();
        fs::create_directories(dir.Path() + "/anchors");
        trust::RebuildTrustAnchors();
    }

    // A stamp of the test TSA for a new file, listed and shown.
    std::string StampNewFile(const std::string& name) {
        const std::string source = dir.Write(name, "Kupní smlouva č. 7");
        EXPECT_EQ(doc->CreateStamp(source), 1);
        return source;
    }

    void TrustTheTestCa() {
        dir.Write("anchors/mivo-test-ca.pem", TokenFactory::CaCertPem());
        trust::RebuildTrustAnchors();
    }

    const PageFill* Fill(const PageFills& fills, const std::string& id, PageFill::Kind kind) {
        for (const PageFill& fill : fills)
            if (fill.id == id && fill.kind == kind)
                return &fill;
        return nullptr;
    }

    TempDir m_lists;
    ScopedEnv m_trustDir{kTrustDirVariable, (dir.Path() + "/anchors").c_str()};
    ScopedEnv m_tlDir{tl::kTlDirVariable, m_lists.Path().c_str()};
};

TEST_F(VerdictsTest, TheTestTsaIsTrustedOnlyWithItsCaAmongTheAnchors) {
    StampNewFile("bez-kotvy.txt");
    EXPECT_EQ(doc->GetFieldValue("trust"), "untrusted");
    EXPECT_NE(doc->GetFieldValue("trust_msg").find("nelze důvěřovat"), std::string::npos);
    EXPECT_EQ(doc->GetFieldValue("trust_anchor"), "");
    EXPECT_EQ(doc->GetFieldValue("tac_verified"), ""); // the test TSA adds no TAC here
    // The TSA names the Czech Republic, whose list is not stored.
    EXPECT_EQ(doc->GetFieldValue("qualified"), "unknown");
    EXPECT_EQ(doc->GetFieldValue("tl_territory"), "CZ");
    EXPECT_FALSE(doc->GetFieldValue("qualified_msg").empty());
    PageFills fills = StampPageFills(doc.get());
    ASSERT_NE(Fill(fills, "trust_msg", PageFill::Kind::Tone), nullptr);
    EXPECT_EQ(Fill(fills, "trust_msg", PageFill::Kind::Tone)->value, "verdict-bad");
    // Only a qualified stamp is green; unknown is not.
    EXPECT_EQ(Fill(fills, "qualified_msg", PageFill::Kind::Tone)->value, "verdict-bad");
    ASSERT_EQ(front.list.rows.size(), 1u);
    EXPECT_EQ(front.list.rows[0].verdict.badge, RowBadge::Untrusted);
    EXPECT_EQ(front.list.rows[0].verdict.tooltip.rfind(doc->GetFieldValue("trust_msg"), 0), 0u);

    TrustTheTestCa();
    StampNewFile("s-kotvou.txt");
    EXPECT_EQ(doc->GetFieldValue("trust"), "trusted");
    EXPECT_EQ(doc->GetFieldValue("trust_anchor"), "C = CZ, O = Mivo Test, CN = Mivo Test CA");
    EXPECT_NE(doc->GetFieldValue("trust_msg").find("Mivo Test CA"), std::string::npos);
    fills = StampPageFills(doc.get());
    EXPECT_EQ(Fill(fills, "trust_msg", PageFill::Kind::Text)->value,
              doc->GetFieldValue("trust_msg"));
    EXPECT_EQ(Fill(fills, "trust_msg", PageFill::Kind::Tone)->value, "verdict-good");
    // Fields that only the command line publishes are not written into the page.
    EXPECT_EQ(Fill(fills, "trust", PageFill::Kind::Text), nullptr);
    EXPECT_EQ(Fill(fills, "trust_anchor", PageFill::Kind::Text), nullptr);
    ASSERT_EQ(front.list.rows.size(), 2u);
    EXPECT_EQ(front.list.rows[1].verdict.badge, RowBadge::Trusted);
    EXPECT_EQ(front.list.rows[0].verdict.badge, RowBadge::Untrusted); // judged when shown
}

TEST_F(VerdictsTest, AStampThatDoesNotMatchItsSourceIsStillJudgedButItsRowFails) {
    TrustTheTestCa();
    const std::string source = StampNewFile("zmeneny.txt");
    dir.Write("zmeneny.txt", "jiný obsah");
    boxes.shown.clear();
    ASSERT_EQ(front.panel.SelectRow(0), 1); // chosen in the list, as the user does
    ASSERT_EQ(boxes.shown.size(), 1u);      // the mismatch, as ever
    EXPECT_EQ(doc->GetFieldValue("trust"), "trusted");
    EXPECT_EQ(front.list.rows[0].verdict.badge, RowBadge::Failed);
    EXPECT_EQ(front.list.rows[0].verdict.tooltip, doc->ErrorText());

    // Nothing shown: no verdict, and the cells lose their colours.
    doc->ShowEntry(-1);
    EXPECT_EQ(doc->GetFieldValue("trust_msg"), "");
    for (const PageFill& fill : StampPageFills(doc.get()))
        if (fill.kind == PageFill::Kind::Tone) {
            EXPECT_EQ(fill.value, "") << fill.id;
        }
}

TEST_F(VerdictsTest, TheVerificationAddsTheVerdictsAfterItsOutcome) {
    const std::string source = StampNewFile("overit.txt");
    boxes.shown.clear();
    front.verifyAnswer = [](VerifyDialogValues& v) {
        v.m_bAddToList = false;
        return true;
    };
    ASSERT_EQ(doc->OpenStamp(source + ".tsr", false), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
    const StampVerdicts& verified = doc->LastVerification();
    ASSERT_TRUE(verified.Judged());
    EXPECT_EQ(boxes.shown[0].text, "Kvalifikované časové razítko je v pořádku\n" +
                                       verified.trust->message + "\n" +
                                       verified.qualified->message);

    // A failed check judges nothing and says what it always said.
    dir.Write("overit.txt", "jiný obsah");
    boxes.shown.clear();
    ASSERT_EQ(doc->OpenStamp(source + ".tsr", false), 1);
    EXPECT_FALSE(doc->LastVerification().Judged());
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[0].text.find("důvěř"), std::string::npos);
}

TEST_F(VerdictsTest, TrustingTheAuthorityAsksThenStoresItAndJudgesAnew) {
    StampNewFile("autorita.txt");
    ASSERT_EQ(doc->GetFieldValue("trust"), "untrusted");
    const std::string trustDir = dir.Path() + "/anchors";

    boxes.shown.clear();
    boxes.Answer(MsgResult::No);
    EXPECT_FALSE(doc->TrustShownAuthority());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_NE(boxes.shown[0].text.find("SHA-256: "), std::string::npos) << boxes.shown[0].text;
    EXPECT_TRUE(fs::is_empty(trustDir));

    boxes.shown.clear();
    boxes.Answer(MsgResult::Yes);
    EXPECT_TRUE(doc->TrustShownAuthority());
    ASSERT_EQ(boxes.shown.size(), 1u) << boxes.shown.back().text;
    EXPECT_FALSE(fs::is_empty(trustDir));
    // The signer is in the address book for the authority's stamps that carry no certificate.
    EXPECT_FALSE(fs::is_empty(dir.Path() + "/config/addressbook"));
    EXPECT_EQ(doc->GetFieldValue("trust"), "trusted");
    EXPECT_EQ(front.list.rows[0].verdict.badge, RowBadge::Trusted);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);

    // Nothing shown: nothing to trust, nothing asked.
    doc->ShowEntry(-1);
    boxes.shown.clear();
    EXPECT_FALSE(doc->TrustShownAuthority());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(VerdictsTest, ATacThatDidNotVerifyIsMarkedBesideTheTacFields) {
    TrustTheTestCa();
    TokenSpec spec;
    spec.genTime = TokenFactory::GenTimeNow();
    spec.includeTacIssuerCert = true;
    spec.tac = mivo::test::TacSpec{};
    const std::string source = dir.Write("tac.txt", "s TAC");
    registry.Add({WriteToken("tac.txt.tst", "s TAC", spec), source, ""});
    TokenSpec forged = spec;
    forged.tac->signatureBytes = Bytes(72, 0x30);
    registry.Add({WriteToken("forged.txt.tst", "s TAC", forged), source, ""});

    doc->ShowEntry(0);
    EXPECT_EQ(doc->GetFieldValue("tac_verified"), "yes");
    EXPECT_EQ(doc->GetFieldValue("tac_note"), "");
    EXPECT_EQ(Fill(StampPageFills(doc.get()), "tac_note", PageFill::Kind::Tone)->value, "");

    doc->ShowEntry(1);
    EXPECT_EQ(doc->GetFieldValue("trust"), "trusted"); // the TAC does not change the verdict
    EXPECT_EQ(doc->GetFieldValue("tac_verified"), "no");
    EXPECT_EQ(doc->GetFieldValue("tac_note"), "TAC neověřen");
    const PageFills fills = StampPageFills(doc.get());
    EXPECT_EQ(Fill(fills, "tac_note", PageFill::Kind::Text)->value, "TAC neověřen");
    EXPECT_EQ(Fill(fills, "tac_note", PageFill::Kind::Tone)->value, "verdict-bad");
    // The TAC's own fields are still shown beside it.
    EXPECT_NE(doc->GetFieldValue("m_mtr_strNtpTime"), LoadResString(IDS_NO_TAC_FOUND));
}

TEST(RowVerdictTest, ListEntriesAreJudgedFromTheirStampFileAlone) {
    TempDir dir;
    ScopedEnv tlDir(tl::kTlDirVariable, dir.Path().c_str());
    const RowVerdict missing = JudgeListEntry(dir.File("chybi.tst"));
    EXPECT_EQ(missing.badge, RowBadge::Failed);
    EXPECT_FALSE(missing.tooltip.empty());
    const std::string real = std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/";
    ScopedEnv anchors(kTrustDirVariable,
                      (std::string(MIVO_TEST_DATA_DIR) + "/trust-anchors").c_str());
    const RowVerdict trusted = JudgeListEntry(real + "sigstage-ecdsa-sha256-reply.tsr");
    EXPECT_EQ(trusted.badge, RowBadge::Trusted) << trusted.tooltip;
    ScopedEnv none(kTrustDirVariable, dir.Path().c_str());
    EXPECT_EQ(JudgeListEntry(real + "sigstage-ecdsa-sha256-reply.tsr").badge, RowBadge::Untrusted);
}

} // namespace
