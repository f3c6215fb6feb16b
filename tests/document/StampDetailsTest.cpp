// The display texts of a shown stamp: every formatting rule, the TAC defaults and the
// details of a stamp whose check failed.
#include "DocFixture.h"

#include <fstream>

using namespace doc_test;
using mivo::test::AccuracySpec;
using mivo::test::TacSpec;

namespace {

class StampDetailsTest : public DocFixture {
protected:
    // Shows a token made from `spec` for a matching source; answers the doc.
    CZarnDoc& Show(TokenSpec spec, const std::string& content = "data") {
        const auto source = dir.Write("d.txt", content);
        const auto stamp = WriteToken("d.txt.tst", content, std::move(spec));
        registry.RemoveAll();
        registry.Add({stamp, source, ""});
        boxes.shown.clear();
        doc->ShowEntry(0);
        return *doc;
    }
};

} // namespace

TEST_F(StampDetailsTest, TokenTextsOfAMatchingStamp) {
    TokenSpec spec;
    spec.serial = {0x01, 0x02};
    spec.nonce = Bytes{0x0A, 0xFF};
    spec.policyOid = "1.3.6.1.4.1.99.1";
    spec.genTime = "20100215093012.5Z";
    spec.tsaName = mivo::test::GeneralNameSpec{mivo::test::GeneralNameSpec::Kind::Directory,
                                               {{"CN", "Časový server"}, {"C", "CZ"}},
                                               "",
                                               {}};
    auto& d = Show(spec);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(d.GetFieldValue("m_hash_verif_msg"), "Kvalifikované časové razítko je v pořádku");
    EXPECT_EQ(d.GetFieldValue("m_verif_msg"), "");
    EXPECT_EQ(d.GetFieldValue("m_strSerialNumber"), "258 (01 02)");
    EXPECT_EQ(d.GetFieldValue("m_strNonce"), "2815 (0A FF)");
    EXPECT_EQ(d.GetFieldValue("m_strUTCTime"), "2010/02/15  09:30:12.5");
    EXPECT_EQ(d.GetFieldValue("m_strVersion"), "1");
    EXPECT_EQ(d.GetFieldValue("m_strHashAlgorithm"), "SHA-256");
    EXPECT_EQ(d.GetFieldValue("m_strPolicyOid"), "1.3.6.1.4.1.99.1");
    EXPECT_EQ(d.GetFieldValue("m_strClockName"),
              "C=CZ,CN=Časový server"); // RFC 2253: last RDN first
    EXPECT_EQ(d.GetFieldValue("m_strQuality"), "neznámý");
    // No TAC: the two defaults, every other TAC text empty.
    EXPECT_EQ(d.GetFieldValue("m_mtr_strNtpTime"), "No TimeAttributeCert found");
    EXPECT_EQ(d.GetFieldValue("m_tac_strVersion"), "No TimeAttributeCert found");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strOffset"), "");
    EXPECT_EQ(d.GetFieldValue("m_tac_strSignature"), "");
    EXPECT_EQ(d.GetTitle(), dir.File("d.txt.tst"));
}

TEST_F(StampDetailsTest, AccuracyTakesTheFirstNonZeroPart) {
    struct Case {
        std::optional<long> s, ms, us;
        const char* text;
    } const cases[] = {
        {1, {}, {}, "1 s"},
        {{}, 500, {}, "500 ms"},
        {1, 500, {}, "1 s (Programming error:  unexpected data)"},
        {{}, 500, 20, "500 ms (Programming error:  unexpected data)"},
        {{}, {}, 20, "20 µs"},
        {0, 0, 0, "neznámý"},
    };
    for (const auto& c : cases) {
        TokenSpec spec;
        spec.accuracy = AccuracySpec{c.s, c.ms, c.us};
        EXPECT_EQ(Show(spec).GetFieldValue("m_strQuality"), c.text);
    }
}

TEST_F(StampDetailsTest, SerialAndNonceEdgeValuesAndFractions) {
    TokenSpec spec;
    spec.serial = {0x00};
    spec.genTime = "20100215093012.1234Z";
    auto& d = Show(spec);
    EXPECT_EQ(d.GetFieldValue("m_strSerialNumber"), "0 (00)");
    EXPECT_EQ(d.GetFieldValue("m_strNonce"), "0 ()"); // no nonce in the token
    EXPECT_EQ(d.GetFieldValue("m_strUTCTime"), "2010/02/15  09:30:12.123");
}

TEST_F(StampDetailsTest, TacTextsAndTheirUnits) {
    TokenSpec spec;
    TacSpec tac;
    tac.offsetMicros = 1500;      // 0.0015 s shown as 1.5 ms
    tac.delayMicros = 250;        // 0.25 ms
    tac.maxOffsetMicros = 500000; // 0.5, unscaled
    tac.maxDelayMicros = 1000000;
    tac.ntpTime = "20250509115800Z";
    tac.expiration = "20250509125800.25Z";
    tac.serial = {0x2A};
    tac.policyOid = "2.25.1.2.3";
    spec.tac = tac;
    auto& d = Show(spec);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(d.GetFieldValue("m_mtr_strNtpTime"), "2025/05/09  11:58:00");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strExpiration"), "2025/05/09  12:58:00.25");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strOffset"), "1.5 ms");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strDelay"), "0.25 ms");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strMaxOffset"), "0.5");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strMaxDelay"), "1");
    EXPECT_EQ(d.GetFieldValue("m_mtr_strPolicyOID"), "2.25.1.2.3");
    EXPECT_EQ(d.GetFieldValue("m_tac_strVersion"), "2");
    EXPECT_EQ(d.GetFieldValue("m_tac_strSerialNumber"), "42 (2A)");
    EXPECT_EQ(d.GetFieldValue("m_tac_strValidFrom"), "2025/01/01  00:00:00");
    EXPECT_EQ(d.GetFieldValue("m_tac_strValidUntil"), "2035/12/31  23:59:59");
    EXPECT_FALSE(d.GetFieldValue("m_tac_strHolder").empty());
    EXPECT_FALSE(d.GetFieldValue("m_tac_strIssuer").empty());
    // SHA-256 thumbprint: 32 bytes as "XX XX ...".
    EXPECT_EQ(d.GetFieldValue("m_tac_strHolderThumbprint").size(), 32u * 3 - 1);
    EXPECT_FALSE(d.GetFieldValue("m_tac_strSignature").empty());
}

TEST_F(StampDetailsTest, UnknownHashAlgorithmStillShowsTheDetailsWithTheCheckError) {
    TokenSpec spec;
    const auto source = dir.Write("d.txt", "data");
    spec.imprintOid = "1.2.3";
    spec.imprint = Bytes(20, 1);
    const auto stamp = dir.Write("d.txt.tst", AsString(TokenFactory::Token(spec)));
    registry.Add({stamp, source, ""});
    doc->ShowEntry(0);
    EXPECT_EQ(doc->GetFieldValue("m_strHashAlgorithm"), "neplatná data");
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Chyba kvalifikovaného časového razítka");
    EXPECT_EQ(doc->GetFieldValue("m_verif_msg"), "Hash algoritmus není podporován");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Hash algoritmus není podporován");
}

TEST_F(StampDetailsTest, GarbageStampShowsOnlyTheDefaultsAndTheReadersMessage) {
    const auto stamp = dir.Write("g.tsr", "not a stamp at all");
    registry.Add({stamp, dir.File("g"), ""});
    doc->ShowEntry(0);
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Chyba kvalifikovaného časového razítka");
    EXPECT_EQ(doc->GetFieldValue("m_verif_msg")
                  .rfind("Chyba vrácená TTI knihovnou\n\nTTI_GetTST_TSTInfo ", 0),
              0u);
    EXPECT_EQ(doc->GetFieldValue("m_strSerialNumber"), "");
    EXPECT_EQ(doc->GetFieldValue("m_mtr_strNtpTime"), "No TimeAttributeCert found");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
}

TEST_F(StampDetailsTest, EntryWithoutStampPathIsNotCheckedAndKeepsTheTitle) {
    registry.Add({"", dir.File("x"), ""});
    doc->SetTitle("before");
    doc->ShowEntry(0);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(doc->GetTitle(), "before");
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Chyba kvalifikovaného časového razítka");
    EXPECT_EQ(doc->GetFieldValue("m_mtr_strNtpTime"), "No TimeAttributeCert found");
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), "");
    EXPECT_EQ(doc->GetFieldValue("m_doc_name"), dir.File("x"));
}

TEST_F(StampDetailsTest, RealTokenOfAPublicTsa) {
    const std::string base = MIVO_TEST_DATA_DIR "/real-tokens/";
    registry.Add({base + "sigstage-ecdsa-sha256-reply.tsr", base + "data/hello.txt", ""});
    doc->ShowEntry(0);
    EXPECT_TRUE(boxes.shown.empty()) << (boxes.shown.empty() ? "" : boxes.shown[0].text);
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Kvalifikované časové razítko je v pořádku");
    EXPECT_EQ(doc->GetFieldValue("m_strUTCTime"), "2025/05/09  11:58:55");
    EXPECT_EQ(doc->GetFieldValue("m_strQuality"), "1 s");
    EXPECT_EQ(doc->GetFieldValue("m_strPolicyOid"), "1.3.6.1.4.1.57264.2");
    EXPECT_EQ(doc->GetFieldValue("m_strClockName"), "CN=sigstore-tsa,O=sigstore.dev");
    EXPECT_EQ(doc->GetFieldValue("m_strSerialNumber"),
              "686758101025552741671190982006166081499178774174 (78 4B 4C 5E 57 AA A6 3B 57 0F "
              "15 CB A4 DF 95 25 16 68 AE 9E)");
    EXPECT_NE(doc->SignerCertificate(), nullptr);
}
