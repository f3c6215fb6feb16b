// The pages without a browser: reading a form's POST body, the fills of each page and what
// a submit of the settings form or the stamp page does.
#include "DocFixture.h"

#include "document/Pages.h"
#include "platform/VersionRecord.h"
#include "testlib/ElfTestFile.h"

#include <algorithm>
#include <array>
#include <fstream>

using namespace doc_test;

namespace {

std::span<const unsigned char> Post(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

const PageFill* FindFill(const PageFills& fills, const std::string& id,
                         PageFill::Kind kind = PageFill::Kind::Text) {
    const auto it = std::find_if(fills.begin(), fills.end(), [&](const PageFill& fill) {
        return fill.id == id && fill.kind == kind;
    });
    return it == fills.end() ? nullptr : &*it;
}

} // namespace

TEST(PostDataTest, TextIsTheBytesWithoutDecoding) {
    EXPECT_EQ(PostDataText(""), "");
    EXPECT_EQ(PostDataText("A=a+b%26c&B=%C3%A1"), "A=a+b%26c&B=%C3%A1");
    // Bytes above 127 are copied as they are; a NUL ends the text.
    EXPECT_EQ(PostDataText(std::string_view("X=\xE1\0Y=1", 6)), "X=\xE1");
}

TEST(PostDataTest, FindFieldTakesTheFirstOccurrenceUpToTheNextAmpersand) {
    std::string value = "untouched";
    EXPECT_FALSE(FindField("OK_ID=Ulo%C5%BEit", "CANCEL_ID=", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_FALSE(FindField("", "OK_ID=", value));

    EXPECT_TRUE(FindField("A=1&OK_ID=Ulo%C5%BEit&B=2", "OK_ID=", value));
    EXPECT_EQ(value, "Ulo%C5%BEit"); // still encoded
    EXPECT_TRUE(FindField("A=1&B=x+y", "B=", value));
    EXPECT_EQ(value, "x+y"); // to the end
    EXPECT_TRUE(FindField("A=&B=2", "A=", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(FindField("A=1&B=2&A=3", "A=", value));
    EXPECT_EQ(value, "1");
    // The key is searched anywhere, also inside a longer field name.
    EXPECT_TRUE(FindField("XOK_ID=1&OK_ID=2", "OK_ID=", value));
    EXPECT_EQ(value, "1");
    // Without its "=" the key would match a value too: the caller always passes it.
    EXPECT_TRUE(FindField("NOTE=OK_ID=7&B=1", "OK_ID=", value));
    EXPECT_EQ(value, "7");
}

class SettingsSubmitTest : public DocFixture {
protected:
    void SetUp() override {
        DocFixture::SetUp();
        CClientSettings& s = Settings();
        s.SetServerUrl("https://stored.example/tsa");
        s.SetRequestPolicyOid("1.2.3");
        s.m_nHashAlg = 2;
        s.m_nProxyType = 0;
        s.SetProxyServer("proxy:3128");
        s.SetProxyUser("jana");
        s.SetProxyPassword("tajne");
    }
    PageInputs Page(const std::string& url, const std::string& oid = "1.2.3",
                    const std::string& user = "jana") {
        PageInputs inputs;
        inputs.Add("REQ_SERVER_URL_ID", url);
        inputs.Add("REQ_POLICY_OID_ID", oid);
        inputs.Add("PROXY_SERVER_ID", std::string("proxy:3128"));
        inputs.Add("PROXY_SERVER_USER_ID", user);
        inputs.Add("PROXY_SERVER_PASSWD_ID", std::string("tajne"));
        return inputs;
    }
    static constexpr char kSave[] =
        "RADIO_CONNECT_ID=USE_PROXY_VAL&PROXY_SERVER_ID=proxy%3A3128&PROXY_SERVER_USER_ID=x"
        "&PROXY_SERVER_PASSWD_ID=&REQ_POLICY_OID_ID=9.9&REQ_SERVER_URL_ID=ignored"
        "&RADIO_HASH_ID=4&OK_ID=Ulo%C5%BEit";
};

TEST_F(SettingsSubmitTest, SaveTakesTextsFromThePageAndButtonsAndRadiosFromTheBody) {
    const PageInputs page = Page("http://a.example/x?a=1&b=2 c", "1.3.6.1.4", "");
    const SubmitOutcome outcome = SettingsSubmit(kSave, &page, Settings());
    EXPECT_TRUE(outcome.showAbout);
    EXPECT_TRUE(outcome.saved);
    EXPECT_FALSE(outcome.showDefaults);
    // Exactly as typed: "&" and the blank survive, the empty user is stored empty.
    EXPECT_EQ(Settings().GetServerUrl(), "http://a.example/x?a=1&b=2 c");
    EXPECT_EQ(Settings().GetRequestPolicyOid(), "1.3.6.1.4");
    EXPECT_EQ(Settings().GetProxyUser(), "");
    EXPECT_EQ(Settings().m_nHashAlg, 4);
    EXPECT_EQ(Settings().m_nProxyType, 3);
    const std::string ini = IniText();
    EXPECT_NE(ini.find("server_url=http://a.example/x?a=1&b=2 c"), std::string::npos) << ini;
    EXPECT_NE(ini.find("proxy_type=3"), std::string::npos) << ini;
    EXPECT_NE(ini.find("proxy_server_user=\n"), std::string::npos) << ini;
}

TEST_F(SettingsSubmitTest, HashAndConnectionValuesOutsideTheFormFallBack) {
    const PageInputs page = Page("u");
    struct Case {
        const char* hash;
        int stored;
    } const cases[] = {{"9", 0}, {"abc", 0}, {"-2", 0}, {"4x", 4}, {"", 0}, {"99999999999", 0}};
    for (const Case& c : cases) {
        Settings().m_nHashAlg = 2;
        SettingsSubmit(std::string("RADIO_HASH_ID=") + c.hash + "&OK_ID=x", &page, Settings());
        EXPECT_EQ(Settings().m_nHashAlg, c.stored) << c.hash;
    }
    for (const auto& [value, type] :
         std::array<std::pair<const char*, int>, 4>{{{"USE_DIRECT_VAL", 1},
                                                     {"USE_PROXY_VAL", 3},
                                                     {"USE_IE_SET_VAL", 0},
                                                     {"USE_DIRECT_VALX", 0}}}) {
        SettingsSubmit(std::string("RADIO_CONNECT_ID=") + value + "&OK_ID=x", &page, Settings());
        EXPECT_EQ(Settings().m_nProxyType, type) << value;
    }
}

TEST_F(SettingsSubmitTest, BackAndDefaultsStoreNothing) {
    const PageInputs page = Page("https://typed.example/");
    SubmitOutcome outcome =
        SettingsSubmit("REQ_SERVER_URL_ID=x&CANCEL_ID=Zp%C4%9Bt", &page, Settings());
    EXPECT_EQ(outcome, (SubmitOutcome{.showAbout = true}));
    outcome =
        SettingsSubmit("RADIO_HASH_ID=4&DEFAULT_VALUES_ID=V%C3%BDchoz%C3%AD", &page, Settings());
    EXPECT_EQ(outcome, (SubmitOutcome{.showDefaults = true}));
    EXPECT_EQ(SettingsSubmit("", &page, Settings()), SubmitOutcome{});
    EXPECT_EQ(Settings().GetServerUrl(), "https://stored.example/tsa");
    EXPECT_EQ(Settings().m_nHashAlg, 2);
    EXPECT_EQ(IniText(), ""); // never written
}

TEST_F(SettingsSubmitTest, SaveWithoutAReadablePage) {
    // No page: only hash and connection are taken, and only the hash counts as a change.
    SubmitOutcome outcome =
        SettingsSubmit("RADIO_CONNECT_ID=USE_DIRECT_VAL&OK_ID=x", nullptr, Settings());
    EXPECT_TRUE(outcome.showAbout);
    EXPECT_FALSE(outcome.saved);
    EXPECT_EQ(Settings().m_nProxyType, 1);
    EXPECT_EQ(IniText(), "");
    outcome = SettingsSubmit("RADIO_HASH_ID=0&OK_ID=x", nullptr, Settings());
    EXPECT_TRUE(outcome.saved);
    EXPECT_EQ(Settings().GetServerUrl(), "https://stored.example/tsa");
    EXPECT_NE(IniText().find("hash_alg=0"), std::string::npos);

    // An element by that name that is no text input is not read.
    PageInputs page;
    page.Add("REQ_SERVER_URL_ID", std::nullopt);
    SettingsSubmit("OK_ID=x", &page, Settings());
    EXPECT_EQ(Settings().GetServerUrl(), "https://stored.example/tsa");
}

TEST_F(SettingsSubmitTest, SubmitDecisionByPage) {
    const PageInputs page = Page("u");
    // The stamp page: an ordinary load goes on; any post is stopped, the button's opens the
    // certificate.
    EXPECT_EQ(HandleSubmit("/certif.htm", {}, &page, Settings()), SubmitOutcome{});
    EXPECT_EQ(HandleSubmit("/certif.htm", Post("OTHER=1"), &page, Settings()),
              (SubmitOutcome{.cancel = true}));
    EXPECT_EQ(HandleSubmit("/certif.htm", Post("VIEW_CERT_ID=Zobrazit+certifik%C3%A1t"), &page,
                           Settings()),
              (SubmitOutcome{.cancel = true, .showCertificate = true}));
    // The settings form: leaving it loads the about page in place of the form's post;
    // the defaults reload the form by its own post.
    EXPECT_EQ(HandleSubmit("/config.htm", Post("CANCEL_ID=x"), &page, Settings()),
              (SubmitOutcome{.cancel = true, .showAbout = true}));
    EXPECT_EQ(HandleSubmit("/config.htm", Post("DEFAULT_VALUES_ID=x"), &page, Settings()),
              (SubmitOutcome{.showDefaults = true}));
    // Other pages, and paths that differ in case, are left to the browser.
    EXPECT_EQ(HandleSubmit("/about.htm", Post("OK_ID=x"), &page, Settings()), SubmitOutcome{});
    EXPECT_EQ(HandleSubmit("/CONFIG.htm", Post("OK_ID=x"), &page, Settings()), SubmitOutcome{});
    EXPECT_EQ(Settings().GetServerUrl(), "https://stored.example/tsa");
}

TEST_F(SettingsSubmitTest, FormShowsStoredValuesOrTheDefaultsOfTheCurrentFile) {
    std::ofstream(Settings().IniPath())
        << "[default]\nserver_url=https://default.example/\npolicy_oid=7.7.7\nhash_alg=4\n";
    Settings().m_nProxyType = 3;
    PageFills fills = SettingsPageFills(Settings(), false);
    EXPECT_EQ(fills, (PageFills{
                         {PageFill::Kind::Radio, "RADIO_HASH_ID_2", ""},
                         {PageFill::Kind::Value, "REQ_POLICY_OID_ID", "1.2.3"},
                         {PageFill::Kind::Value, "REQ_SERVER_URL_ID", "https://stored.example/tsa"},
                         {PageFill::Kind::Value, "PROXY_SERVER_ID", "proxy:3128"},
                         {PageFill::Kind::Value, "PROXY_SERVER_USER_ID", "jana"},
                         {PageFill::Kind::Value, "PROXY_SERVER_PASSWD_ID", "tajne"},
                         {PageFill::Kind::Radio, "CONNECT_USE_PROXY_ID", ""},
                     }));
    fills = SettingsPageFills(Settings(), true);
    EXPECT_EQ(fills[0].id, "RADIO_HASH_ID_4");
    EXPECT_EQ(fills[1].value, "7.7.7");
    EXPECT_EQ(fills[2].value, "https://default.example/");
    EXPECT_EQ(fills[4].value, "jana"); // the proxy fields keep the stored values

    for (const auto& [type, id] :
         std::array<std::pair<int, const char*>, 4>{{{1, "CONNECT_USE_DIRECT_ID"},
                                                     {0, "CONNECT_USE_IE_SET_ID"},
                                                     {2, "CONNECT_USE_IE_SET_ID"},
                                                     {-1, "CONNECT_USE_IE_SET_ID"}}}) {
        Settings().m_nProxyType = type;
        EXPECT_EQ(SettingsPageFills(Settings(), false).back().id, id) << type;
    }
}

class StampFillTest : public DocFixture {};

TEST_F(StampFillTest, EveryFieldInOrderAndRedOnlyWhenTheSourceDiffers) {
    const auto source = dir.Write("a.txt", "data");
    registry.Add({WriteToken("a.txt.tst", "data"), source, ""});
    doc->ShowEntry(0);
    PageFills fills = StampPageFills(doc.get());
    // The stamp's 25 texts and its two paths, then the verdicts' three texts and colours.
    ASSERT_EQ(fills.size(), 33u);
    EXPECT_EQ(FindFill(fills, "m_hash_verif_msg", PageFill::Kind::Background), nullptr);
    EXPECT_EQ(fills[0], (PageFill{PageFill::Kind::Text, "m_file_name", dir.File("a.txt.tst")}));
    EXPECT_EQ(fills[1].value, source);
    // Every published field once, in the fill's order, with the document's text.
    std::string ids;
    for (const PageFill& fill : fills) {
        ids += fill.id + " ";
        if (fill.kind == PageFill::Kind::Text) {
            EXPECT_EQ(fill.value, doc->GetFieldValue(fill.id)) << fill.id;
        }
    }
    EXPECT_EQ(ids, "m_file_name m_doc_name m_hash_verif_msg m_verif_msg "
                   "m_strClockName m_strUTCTime m_strQuality m_strSerialNumber m_strVersion "
                   "m_strHashAlgorithm m_strNonce m_strPolicyOid "
                   "m_mtr_strNtpTime m_mtr_strExpiration m_mtr_strOffset m_mtr_strDelay "
                   "m_mtr_strPolicyOID m_mtr_strMaxDelay m_mtr_strMaxOffset "
                   "m_tac_strVersion m_tac_strHolder m_tac_strIssuer m_tac_strHolderThumbprint "
                   "m_tac_strValidFrom m_tac_strValidUntil m_tac_strSerialNumber "
                   "m_tac_strSignature trust_msg tac_note qualified_msg "
                   "trust_msg tac_note qualified_msg ");

    dir.Write("a.txt", "changed");
    doc->ShowEntry(0);
    fills = StampPageFills(doc.get());
    ASSERT_EQ(fills.size(), 34u);
    EXPECT_EQ(fills[4], (PageFill{PageFill::Kind::Background, "m_hash_verif_msg", "FF0000"}));
    EXPECT_EQ(fills[2].value, doc->GetFieldValue("m_hash_verif_msg"));
    EXPECT_FALSE(fills[2].value.empty());

    // Nothing shown: every text empty, and the empty check cell red.
    doc->ShowEntry(-1);
    fills = StampPageFills(doc.get());
    EXPECT_TRUE(std::all_of(fills.begin(), fills.end(), [](const PageFill& f) {
        return f.kind == PageFill::Kind::Background || f.value.empty();
    })); // the verdicts' cells without a colour too
    EXPECT_NE(FindFill(fills, "m_hash_verif_msg", PageFill::Kind::Background), nullptr);
    EXPECT_TRUE(StampPageFills(nullptr).empty());
}

TEST(AboutFillTest, NameAndVersionOfTheExecutable) {
    TempDir dir;
    const VersionStringView czech[] = {{"ProductVersion", "1, 6, 0, 16"}};
    const VersionBlockView blocks[] = {{kVersionBlockCzech, czech}};
    VersionRecordView view{true, VersionHalf(2, 0), VersionHalf(0, 1), 0, 0, blocks};
    std::vector<unsigned char> record(EncodeVersionRecord(view, nullptr));
    EncodeVersionRecord(view, record.data());
    const auto image = MakeElfImage(true, {{std::string(kVersionSectionName), record}});
    const std::string withRecord = dir.Write("klient-1.6", AsString(image));
    EXPECT_EQ(AboutPageFills(withRecord),
              (PageFills{{PageFill::Kind::Text, "APP_NAME_ID", "klient-1.6"},
                         {PageFill::Kind::Text, "APP_VERSION_ID", "1, 6, 0, 16"}}));

    // Only the fixed numbers: dotted; no record at all: the full path.
    const VersionRecordView fixedOnly{true, VersionHalf(2, 0), VersionHalf(0, 1), 0, 0, {}};
    record.assign(EncodeVersionRecord(fixedOnly, nullptr), 0);
    EncodeVersionRecord(fixedOnly, record.data());
    const std::string fixed = dir.Write(
        "fixed", AsString(MakeElfImage(true, {{std::string(kVersionSectionName), record}})));
    EXPECT_EQ(AboutPageFills(fixed)[1].value, "2.0.0.1");
    const std::string plain = dir.Write("plain", "not an executable");
    EXPECT_EQ(AboutPageFills(plain)[1].value, plain);

    // The running program: its own file name.
    const PageFills own = AboutPageFills();
    EXPECT_EQ(own[0].value, "test_document");
}
