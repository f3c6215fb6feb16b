// The view in a real browser: each page loads under its own path and is filled from a real
// document or the settings, the settings form's buttons change the INI file, the stamp
// page's button hands the TSA certificate to the desktop, and the view keeps to its pages.
#include "GuiTestSupport.h"
#include "document/DocFixture.h"

#include "core/TrustAnchors.h"
#include "core/TrustedListCache.h"
#include "ui/PageWebPage.h"
#include "ui/TsaCertificateFile.h"
#include "ui/ZarnView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinterInfo>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <filesystem>
#include <fstream>

using namespace doc_test;

namespace {

class ViewTest : public DocFixture {
protected:
    void SetUp() override {
        DocFixture::SetUp();
        CPageWebPage::SetDesktopOpener([this](const QUrl& url) {
            opened.push_back(url);
            if (url.isLocalFile())
                openedContent.push_back(TempDir::Read(url.toLocalFile().toStdString()));
            return true;
        });
        view = new CZarnView();
        view->resize(960, 900);
        view->show();
        doc->AddView(view);
        QObject::connect(view, &CZarnView::pageFilled, view,
                         [this](const QUrl& url) { filled.push_back(url); });
        QObject::connect(view, &CZarnView::formSubmitted, view,
                         [this](const QUrl&, const QByteArray& body) { bodies.push_back(body); });
    }
    void TearDown() override {
        delete view;
        CPageWebPage::SetDesktopOpener({});
        DocFixture::TearDown();
    }

    // Waits for the `n`th fill of any page and answers the path of the latest.
    QString WaitFilled(std::size_t n) {
        EXPECT_TRUE(WaitFor([&] { return filled.size() >= n; })) << "no fill " << n;
        return filled.empty() ? QString() : filled.back().path();
    }
    // Runs `script` in the application world and answers its result.
    QVariant Js(const QString& script) {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                    [&](const QVariant& value) {
                                        result = value;
                                        done = true;
                                    });
        EXPECT_TRUE(WaitFor([&] { return done; })) << script.toStdString();
        return result;
    }
    std::string Text(const char* id) {
        return Js(QStringLiteral("document.getElementById('%1').textContent")
                      .arg(QLatin1String(id)))
            .toString()
            .toStdString();
    }
    std::string Value(const char* name) {
        return Js(QStringLiteral("document.querySelector('[name=\"%1\"]').value")
                      .arg(QLatin1String(name)))
            .toString()
            .toStdString();
    }
    void SetValue(const char* name, const QString& value) {
        Js(QStringLiteral("document.querySelector('[name=\"%1\"]').value = %2; true")
               .arg(QLatin1String(name), QStringLiteral("'") + value + QStringLiteral("'")));
    }
    bool Checked(const char* id) {
        return Js(QStringLiteral("document.getElementById('%1').checked").arg(QLatin1String(id)))
            .toBool();
    }
    void Click(const char* selector) {
        Js(QStringLiteral("document.querySelector('%1').click(); true")
               .arg(QLatin1String(selector)));
    }
    // The compositor paints a moment after the page changed.
    void Shot(const char* name) {
        WaitFor([] { return false; }, 400);
        SaveScreenshot(view, name);
    }
    // Shows a stamp of `content` whose source now holds `sourceNow`.
    void ShowStamp(const std::string& content, const std::string& sourceNow) {
        const std::string stamp = WriteToken("a.txt.tst", content);
        const std::string source = dir.Write("a.txt", sourceNow);
        registry.RemoveAll();
        registry.Add({stamp, source, ""});
        doc->ShowEntry(0);
    }

    CZarnView* view = nullptr;
    std::vector<QUrl> filled;
    std::vector<QByteArray> bodies;
    std::vector<QUrl> opened;
    std::vector<std::string> openedContent;
};

} // namespace

TEST_F(ViewTest, StampPageShowsTheDocumentAndMarksAMismatchRed) {
    ShowStamp("data", "data");
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/certif.htm"));
    EXPECT_EQ(filled[0].toString(), view->CurrentPageUrl());
    EXPECT_EQ(Text("m_file_name"), dir.File("a.txt.tst"));
    EXPECT_EQ(Text("m_doc_name"), dir.File("a.txt"));
    EXPECT_EQ(Text("m_hash_verif_msg"), doc->GetFieldValue("m_hash_verif_msg"));
    EXPECT_EQ(Text("m_strUTCTime"), doc->GetFieldValue("m_strUTCTime"));
    EXPECT_EQ(Text("m_strHashAlgorithm"), "SHA-256");
    EXPECT_EQ(Text("m_tac_strVersion"), doc->GetFieldValue("m_tac_strVersion"));
    EXPECT_EQ(
        Js(QStringLiteral("document.getElementById('m_hash_verif_msg').style.backgroundColor"))
            .toString(),
        QString());
    // The TAC section is the page's own: shown and hidden by its button, nothing posted.
    auto tacShown = [&] {
        return Js(QStringLiteral("getComputedStyle(document.getElementById('polozka')).display"))
                   .toString() != QStringLiteral("none");
    };
    EXPECT_FALSE(tacShown());
    Click("#TAC_TOGGLE_ID");
    EXPECT_TRUE(tacShown());
    Shot("page_certif");
    Click("#TAC_TOGGLE_ID");
    EXPECT_FALSE(tacShown());
    EXPECT_TRUE(bodies.empty());

    dir.Write("a.txt", "other content");
    doc->ShowEntry(0);
    EXPECT_EQ(WaitFilled(2), QStringLiteral("/certif.htm"));
    EXPECT_EQ(
        Js(QStringLiteral("document.getElementById('m_hash_verif_msg').style.backgroundColor"))
            .toString(),
        QStringLiteral("rgb(255, 0, 0)"));
    EXPECT_EQ(Text("m_hash_verif_msg"), doc->GetFieldValue("m_hash_verif_msg"));
    Shot("page_certif_mismatch");
}

TEST_F(ViewTest, StampPageTellsTheVerdictsInColourAndTrustsTheAuthorityOnYes) {
    TempDir anchors, lists;
    ScopedEnv anchorDir(kTrustDirVariable, anchors.Path().c_str());
    ScopedEnv listDir(tl::kTlDirVariable, lists.Path().c_str());
    trust::RebuildTrustAnchors();
    auto className = [&](const char* id) {
        return Js(QStringLiteral("document.getElementById('%1').className").arg(QLatin1String(id)))
            .toString()
            .toStdString();
    };
    // Made now: the test CA is valid from the time it was made.
    TokenSpec spec;
    spec.genTime = TokenFactory::GenTimeNow();
    registry.RemoveAll();
    registry.Add({WriteToken("a.txt.tst", "data", spec), dir.Write("a.txt", "data"), ""});
    doc->ShowEntry(0);
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/certif.htm"));
    ASSERT_EQ(doc->GetFieldValue("trust"), "untrusted");
    EXPECT_EQ(Text("trust_msg"), doc->GetFieldValue("trust_msg"));
    EXPECT_FALSE(Text("trust_msg").empty());
    EXPECT_EQ(Text("qualified_msg"), doc->GetFieldValue("qualified_msg"));
    EXPECT_NE(className("trust_msg").find("verdict-bad"), std::string::npos);
    EXPECT_NE(className("qualified_msg").find("verdict-bad"), std::string::npos);
    // The rows sit right under the check's outcome.
    EXPECT_EQ(Js(QStringLiteral("document.getElementById('m_verif_msg').parentElement"
                                ".nextElementSibling.firstElementChild.textContent"))
                  .toString(),
              QStringLiteral("Důvěryhodnost:"));

    // "No" leaves everything as it was; "Yes" stores the root and shows the stamp trusted.
    boxes.Answer(MsgResult::No);
    Click("#TRUST_TSA_ID");
    ASSERT_TRUE(WaitFor([&] { return boxes.shown.size() == 1; }));
    EXPECT_NE(boxes.shown[0].text.find("SHA-256: "), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(anchors.Path()));
    boxes.Answer(MsgResult::Yes);
    Click("#TRUST_TSA_ID");
    ASSERT_TRUE(WaitFor([&] { return filled.size() >= 2; }));
    EXPECT_FALSE(std::filesystem::is_empty(anchors.Path()));
    EXPECT_EQ(doc->GetFieldValue("trust"), "trusted");
    EXPECT_EQ(Text("trust_msg"), doc->GetFieldValue("trust_msg"));
    EXPECT_NE(className("trust_msg").find("verdict-good"), std::string::npos);
    Shot("page_certif_trusted");
    trust::RebuildTrustAnchors();
}

TEST_F(ViewTest, FirstDisplayWithoutACurrentStampIsTheAboutPage) {
    registry.Add({dir.Write("x.tst", "x"), dir.File("x"), ""});
    FakeFrontEnd frame; // its panel not filled yet
    frame.panel.SetDocument(doc.get());
    doc->SetFrontEnd(&frame);
    view->OnInitialUpdate();
    // The stamp page is asked for first, then replaced by the about page.
    ASSERT_TRUE(WaitFor(
        [&] { return !filled.empty() && filled.back().path() == QStringLiteral("/about.htm"); }));
    EXPECT_EQ(Text("APP_NAME_ID"), "test_gui");
    EXPECT_FALSE(Text("APP_VERSION_ID").empty());
    EXPECT_EQ(frame.list.RowCount(), 1);
    EXPECT_EQ(frame.list.FirstSelectedRow(), -1);
    Shot("page_about");
    doc->SetFrontEnd(&front);
}

TEST_F(ViewTest, SettingsSaveStoresWhatThePageShowsAndPostsLikeTheBrowser) {
    Settings().m_nProxyType = 1;
    Settings().SetProxyServer("p:1");
    Settings().SetProxyUser("u");
    view->OnCommand(32771);
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/config.htm"));
    EXPECT_EQ(filled[0].path(), QStringLiteral("/config.htm"));
    EXPECT_EQ(Value("REQ_SERVER_URL_ID"), tsa.Url());
    EXPECT_EQ(Value("REQ_POLICY_OID_ID"), "1.2.3.4.1");
    EXPECT_EQ(Value("PROXY_SERVER_USER_ID"), "u");
    EXPECT_TRUE(Checked("RADIO_HASH_ID_2"));
    EXPECT_TRUE(Checked("CONNECT_USE_DIRECT_ID"));
    Shot("page_config");

    SetValue("REQ_SERVER_URL_ID", QStringLiteral("http://x/a?b=1&c=d e"));
    Click("[name=OK_ID]");
    EXPECT_EQ(WaitFilled(2), QStringLiteral("/about.htm"));
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].toStdString(),
              "PROXY_SERVER_ID=p%3A1&PROXY_SERVER_USER_ID=u&PROXY_SERVER_PASSWD_ID="
              "&RADIO_CONNECT_ID=USE_DIRECT_VAL&REQ_POLICY_OID_ID=1.2.3.4.1"
              "&REQ_SERVER_URL_ID=http%3A%2F%2Fx%2Fa%3Fb%3D1%26c%3Dd+e&RADIO_HASH_ID=2"
              "&OK_ID=Ulo%C5%BEit");
    EXPECT_EQ(Settings().GetServerUrl(), "http://x/a?b=1&c=d e");
    EXPECT_NE(IniText().find("server_url=http://x/a?b=1&c=d e\n"), std::string::npos);
    EXPECT_NE(IniText().find("proxy_type=1\n"), std::string::npos);
}

TEST_F(ViewTest, SettingsBackAndDefaultsStoreNothing) {
    std::filesystem::create_directories(std::filesystem::path(Settings().IniPath()).parent_path());
    std::ofstream(Settings().IniPath())
        << "[default]\nserver_url=https://default.example/\npolicy_oid=7.7.7\nhash_alg=4\n";
    const std::string before = IniText();
    Settings().SetProxyUser("stored");
    view->OnCommand(32771);
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/config.htm"));

    // "Výchozí hodnoty": the form comes back with the defaults and the stored proxy user.
    SetValue("PROXY_SERVER_USER_ID", QStringLiteral("edited"));
    Click("[name=DEFAULT_VALUES_ID]");
    EXPECT_EQ(WaitFilled(2), QStringLiteral("/config.htm"));
    EXPECT_EQ(Value("REQ_SERVER_URL_ID"), "https://default.example/");
    EXPECT_EQ(Value("REQ_POLICY_OID_ID"), "7.7.7");
    EXPECT_TRUE(Checked("RADIO_HASH_ID_4"));
    EXPECT_EQ(Value("PROXY_SERVER_USER_ID"), "stored");
    EXPECT_EQ(IniText(), before);

    // "Zpět": a typed URL is dropped.
    SetValue("REQ_SERVER_URL_ID", QStringLiteral("https://typed.example/"));
    Click("[name=CANCEL_ID]");
    EXPECT_EQ(WaitFilled(3), QStringLiteral("/about.htm"));
    EXPECT_EQ(Settings().GetServerUrl(), tsa.Url());
    EXPECT_EQ(IniText(), before);
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[1].indexOf("CANCEL_ID=Zp%C4%9Bt"), -1);
}

TEST_F(ViewTest, CertificateButtonHandsATemporaryFileToTheDesktop) {
    TempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.Path().c_str());
    SetTsaCertificateCounter(0);
    tmp.Write("TSA0000.cer", "left over"); // from an earlier run
    ShowStamp("data", "data");
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/certif.htm"));

    Click("[name=VIEW_CERT_ID]");
    ASSERT_TRUE(WaitFor([&] { return opened.size() == 1; }, 5000));
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), tmp.File("TSA0001.cer"));
    const auto der = doc->SignerCertificateDer();
    EXPECT_EQ(openedContent[0], std::string(der.begin(), der.end()));
    // A viewer may take its time to open the file: it stays until the program ends.
    WaitFor([] { return false; }, 1500);
    EXPECT_TRUE(std::filesystem::exists(tmp.File("TSA0001.cer")));
    RemoveTsaCertificateFiles(); // what the program's end does
    EXPECT_FALSE(std::filesystem::exists(tmp.File("TSA0001.cer")));
    EXPECT_EQ(TempDir::Read(tmp.File("TSA0000.cer")), "left over");
    // The page stays as it is: the post was stopped, nothing reloaded.
    EXPECT_EQ(filled.size(), 1u);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_TRUE(
        bodies[0].startsWith("VIEW_CERT_ID=Zobrazit+kvalifikovan%C3%BD+syst%C3%A9mov%C3%BD"));
}

TEST_F(ViewTest, AViewerThatDoesNotStartIsReportedAndItsFileRemoved) {
    TempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.Path().c_str());
    SetTsaCertificateCounter(0);
    CPageWebPage::SetDesktopOpener([](const QUrl&) { return false; });
    ShowStamp("data", "data");
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/certif.htm"));
    boxes.shown.clear();
    Click("[name=VIEW_CERT_ID]");
    ASSERT_TRUE(WaitFor([&] { return !boxes.shown.empty(); }, 5000));
    EXPECT_EQ(boxes.shown[0].text, "Certifikát TSA se nepodařilo zobrazit: prohlížeč pro soubor " +
                                       tmp.File("TSA0000.cer") + " se nespustil.");
    EXPECT_FALSE(std::filesystem::exists(tmp.File("TSA0000.cer")));
}

TEST_F(ViewTest, WithoutACertificateTheButtonDoesNothing) {
    doc->ShowEntry(-1);
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/certif.htm"));
    EXPECT_EQ(
        Js(QStringLiteral("document.getElementById('m_hash_verif_msg').style.backgroundColor"))
            .toString(),
        QStringLiteral("rgb(255, 0, 0)"));
    Click("[name=VIEW_CERT_ID]");
    ASSERT_TRUE(WaitFor([&] { return bodies.size() == 1; }));
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(filled.size(), 1u);
}

TEST_F(ViewTest, ForeignLinksGoToTheDesktopAndF5AndRightClickAreSwallowed) {
    view->ShowAboutPage();
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/about.htm"));
    Js(QStringLiteral("var a = document.createElement('a'); a.id = 'away';"
                      "a.href = 'https://www.example.org/'; a.textContent = 'pryč';"
                      "document.body.appendChild(a); a.click(); true"));
    ASSERT_TRUE(WaitFor([&] { return !opened.empty(); }, 3000));
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://www.example.org/")));

    // Refused navigations announce a load too: count only from here on.
    WaitFor([] { return false; }, 200);
    int loads = 0;
    QObject::connect(view, &QWebEngineView::loadStarted, view, [&] { ++loads; });
    QWidget* target = view->focusProxy() != nullptr ? view->focusProxy() : view;
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    EXPECT_TRUE(view->eventFilter(target, &f5));
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(50, 50), QPointF(50, 50), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(view->eventFilter(target, &right));
    QKeyEvent f6(QEvent::KeyPress, Qt::Key_F6, Qt::NoModifier);
    EXPECT_FALSE(view->eventFilter(target, &f6));
    EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);

    QTest::keyClick(target, Qt::Key_F5);
    QTest::mouseClick(target, Qt::RightButton, Qt::NoModifier, QPoint(60, 60));
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(loads, 0);
    EXPECT_EQ(view->url().path(), QStringLiteral("/about.htm"));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(ViewTest, PrintWithoutADialogWritesThePage) {
    view->ShowAboutPage();
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/about.htm"));
    const std::string pdf = dir.File("about.pdf");
    CZarnView::SetPrintToPdfForTests(QString::fromStdString(pdf));
    bool finished = false;
    bool ok = false;
    QObject::connect(view, &QWebEngineView::printFinished, view, [&](bool success) {
        finished = true;
        ok = success;
    });
    EXPECT_TRUE(view->OnCommand(57608));
    ASSERT_TRUE(WaitFor([&] { return finished; }, 15000));
    CZarnView::SetPrintToPdfForTests({});
    EXPECT_TRUE(ok);
    EXPECT_EQ(TempDir::Read(pdf).substr(0, 5), "%PDF-");
}

TEST_F(ViewTest, PrintWithoutAPrinterSaysSo) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "this machine has a printer";
    view->ShowAboutPage();
    EXPECT_EQ(WaitFilled(1), QStringLiteral("/about.htm"));
    boxes.shown.clear();
    EXPECT_TRUE(view->OnCommand(57608));
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Tisk se nezdařil: v systému není nastavena žádná tiskárna.");
}
