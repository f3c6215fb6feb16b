// The new-stamp workflow against the local test TSA: stamp files, the registry, the shown
// stamp and every failure's message.
#include "DocFixture.h"

#include "core/tti/tti.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <csignal>
#include <filesystem>
#include <mutex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace doc_test;
namespace fs = std::filesystem;

namespace {

class NewStampTest : public DocFixture {
protected:
    // Makes the TSA remember the reply it sends.
    void CaptureReplies() {
        mivo::test::TsaBehaviour b;
        b.responder = [this](const Bytes& request) {
            Bytes reply = mivo::test::TestTsa::MakeReply(request, {}, "1.2.3.4.1");
            std::lock_guard lock(m_mutex);
            m_replies.push_back(reply);
            return reply;
        };
        tsa.SetBehaviour(b);
    }
    Bytes LastReply() {
        std::lock_guard lock(m_mutex);
        return m_replies.empty() ? Bytes() : m_replies.back();
    }
    // No temporary file of a stamp write left in the folder.
    bool NoTemporaryFiles(const std::string& folder) {
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().starts_with(".mivoklient-"))
                return false;
        return true;
    }

    // Runs `body` in a child process (limits and identities of its own); answers its result
    // and the text of the first message box it showed.
    template <typename Body> std::pair<bool, std::string> InChild(Body body) {
        int fds[2];
        if (::pipe(fds) != 0)
            return {true, "pipe failed"};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const bool result = body();
            const std::string text = boxes.shown.empty() ? std::string() : boxes.shown[0].text;
            (void)!::write(fds[1], text.data(), text.size());
            _exit(result ? 1 : 0);
        }
        ::close(fds[1]);
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {!WIFEXITED(status) || WEXITSTATUS(status) != 0, text};
    }

    std::mutex m_mutex;
    std::vector<Bytes> m_replies;
};

} // namespace

TEST_F(NewStampTest, WholeReplyIsStoredByteForByteListedSelectedAndShown) {
    CaptureReplies();
    const auto source = dir.Write("a.txt", "smlouva");
    front.fileAnswers.push_back(source);

    doc->OnCommand(ID_FILE_NEW);

    ASSERT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
    ASSERT_EQ(front.fileDialogs.size(), 1u);
    EXPECT_EQ(front.fileDialogs[0].m_strTitle, "Vyberte zdrojový soubor");
    EXPECT_EQ(front.fileDialogs[0].m_strFilterName, "Všechny soubory");
    EXPECT_EQ(front.fileDialogs[0].m_strFilterPattern, "*.*");
    // The stamp file holds the reply exactly as the TSA sent it.
    EXPECT_EQ(TempDir::Read(source + ".tsr"), AsString(LastReply()));
    // Listed, its row appended, selected and shown.
    ASSERT_EQ(registry.GetCount(), 1);
    EXPECT_EQ(registry.GetAt(0).m_strStampFile, source + ".tsr");
    EXPECT_EQ(registry.GetAt(0).m_strSourceFile, source);
    EXPECT_FALSE(registry.GetAt(0).m_strUtcTime.empty());
    ASSERT_EQ(front.list.rows.size(), 1u);
    EXPECT_EQ(front.list.rows[0].name, "a.txt.tsr");
    EXPECT_EQ(front.list.rows[0].time, registry.GetAt(0).m_strUtcTime);
    EXPECT_EQ(front.list.selected, 0);
    EXPECT_TRUE(front.list.scrolledToEnd);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Kvalifikované časové razítko je v pořádku");
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), source + ".tsr");
    EXPECT_EQ(doc->GetFieldValue("m_strPolicyOid"), "1.2.3.4.1");
    EXPECT_EQ(doc->GetFieldValue("m_strHashAlgorithm"), "SHA-256");
    EXPECT_EQ(doc->GetTitle(), source + ".tsr");
    EXPECT_FALSE(doc->IsModified()); // the list is written at once
    EXPECT_NE(IniText().find("tsf_item0=" + source + ".tsr," + source + "\n"), std::string::npos);
    EXPECT_GT(view.updates, 0);
    EXPECT_TRUE(NoTemporaryFiles(dir.Path()));
}

TEST_F(NewStampTest, RelativeNamesAreListedAbsolute) {
    const auto source = dir.Write("a.txt", "smlouva");
    const std::string before = CurrentDirectory();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    // A name typed into the dialog, then one from the command line of a first start.
    front.fileAnswers.push_back("./x/../a.txt");
    doc->OnCommand(ID_FILE_NEW);
    const bool opened = doc->OnOpenDocument("a.txt");
    ASSERT_EQ(::chdir(before.c_str()), 0);

    ASSERT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
    EXPECT_TRUE(opened);
    ASSERT_EQ(registry.GetCount(), 1); // one file, one entry
    EXPECT_EQ(registry.GetAt(0).m_strStampFile, source + ".tsr");
    EXPECT_EQ(registry.GetAt(0).m_strSourceFile, source);
}

TEST_F(NewStampTest, TokenOnlyWhenSaveTsrIsZero) {
    CaptureReplies();
    Settings().m_nSaveTsr = 0;
    const auto source = dir.Write("a.txt", "x");
    ASSERT_EQ(doc->CreateStamp(source), 1);
    const std::string token = TempDir::Read(source + ".tst");
    EXPECT_FALSE(fs::exists(source + ".tsr"));
    ASSERT_FALSE(token.empty());
    EXPECT_LT(token.size(), LastReply().size());
    // Only the token: no status part in front of it.
    TTI_STATUS status{};
    EXPECT_EQ(TTI_GetTSR_Status(&status, reinterpret_cast<const unsigned char*>(token.data()),
                                static_cast<int>(token.size())),
              TTI_E_ASN_FORMAT);
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Kvalifikované časové razítko je v pořádku");
}

TEST_F(NewStampTest, StampingAStampFileAndStampingTwice) {
    const auto source = dir.Write("x.tsr", "not really a stamp");
    ASSERT_EQ(doc->CreateStamp(source), 1);
    EXPECT_TRUE(fs::exists(source + ".tsr")); // x.tsr.tsr
    const std::string first = TempDir::Read(source + ".tsr");
    ASSERT_EQ(doc->CreateStamp(source), 1);
    // Overwritten (a new serial and nonce), and the entry replaced, not added.
    EXPECT_NE(TempDir::Read(source + ".tsr"), first);
    EXPECT_EQ(registry.GetCount(), 1);
    EXPECT_EQ(front.list.rows.size(), 1u);
    EXPECT_EQ(tsa.RequestCount(), 2u);
}

TEST_F(NewStampTest, HashSettingThreeRequestsSha384) {
    Settings().m_nHashAlg = 3;
    const auto source = dir.Write("a.txt", "x");
    ASSERT_EQ(doc->CreateStamp(source), 1);
    EXPECT_EQ(doc->GetFieldValue("m_strHashAlgorithm"), "SHA-384");
}

TEST_F(NewStampTest, MissingServerUrlOrPolicyAsksForSettingsAndShowsNoDialog) {
    for (int which = 0; which < 2; ++which) {
        boxes.shown.clear();
        view.commands.clear();
        Settings().SetServerUrl(which == 0 ? "" : tsa.Url());
        Settings().SetRequestPolicyOid(which == 0 ? "1.2.3" : "");
        doc->OnFileNew();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "Prosím, nastavte parametry");
        EXPECT_EQ(boxes.shown[0].icon, MsgIcon::None);
        EXPECT_EQ(view.commands, std::vector<unsigned>{ID_SETTINGS});
    }
    EXPECT_TRUE(front.fileDialogs.empty());
    EXPECT_EQ(tsa.RequestCount(), 0u);
}

TEST_F(NewStampTest, CancelledDialogOrNoMainWindowDoesNothing) {
    doc->OnFileNew(); // the dialog answers "cancel"
    EXPECT_EQ(front.fileDialogs.size(), 1u);
    front.mainWindow = false;
    doc->OnFileNew();
    EXPECT_EQ(front.fileDialogs.size(), 1u);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(tsa.RequestCount(), 0u);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(NewStampTest, SourceThatCannotBeReadSendsNothing) {
    const std::string source = dir.File("deleted-before-hashing.txt");
    EXPECT_EQ(doc->CreateStamp(source), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Chyba při čtení zdrojového souboru " + source);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[0].caption, "MIVO klient");
    EXPECT_EQ(tsa.RequestCount(), 0u);
    EXPECT_FALSE(fs::exists(source + ".tsr"));
    EXPECT_EQ(registry.GetCount(), 0);
}

TEST_F(NewStampTest, FailedChecksAndExchangesWriteNothingAndLeaveTheListAlone) {
    struct Case {
        const char* name;
        mivo::test::TsaBehaviour behaviour;
        std::string message;
    };
    std::vector<Case> cases;
    {
        mivo::test::TsaBehaviour b;
        b.otherNonce = true;
        cases.push_back({"nonce", b,
                         "Chyba vrácená TTI knihovnou\n\nvrácená hodnota nonce nesouhlasí s "
                         "hodnotou nonce žádosti"});
    }
    {
        mivo::test::TsaBehaviour b;
        b.otherImprint = true;
        cases.push_back({"imprint", b,
                         "Chyba vrácená TTI knihovnou\n\nMiniatura (hash) odpovědi nesouhlasí s "
                         "miniaturou žádosti"});
    }
    {
        mivo::test::TsaBehaviour b;
        b.timeSkewSeconds = 400;
        cases.push_back({"time", b,
                         "Chyba vrácená TTI knihovnou\n\nRozdíl času časového razítka a času "
                         "vašeho PC je větší než 5 minut. Čas na Vašem PC nemusí být přesný nebo "
                         "se může jednat o bezpečnostní problém."});
    }
    {
        mivo::test::TsaBehaviour b;
        b.badSignature = true;
        cases.push_back({"signature", b,
                         "Chyba vrácená TTI knihovnou\n\nTTI_VerifyTST_Signature failed: Chyba "
                         "při ověření podpisu časového razítka."});
    }
    {
        mivo::test::TsaBehaviour b;
        b.httpStatus = 500;
        cases.push_back({"http 500", b,
                         "Chyba při připojení k serveru \n\n500: Na serveru došlo k neočekávané "
                         "chybě"});
    }
    const auto source = dir.Write("a.txt", "x");
    for (const auto& c : cases) {
        boxes.shown.clear();
        tsa.SetBehaviour(c.behaviour);
        EXPECT_EQ(doc->CreateStamp(source), 0) << c.name;
        ASSERT_EQ(boxes.shown.size(), 1u) << c.name;
        EXPECT_EQ(boxes.shown[0].text, c.message) << c.name;
        EXPECT_FALSE(fs::exists(source + ".tsr")) << c.name;
        EXPECT_EQ(registry.GetCount(), 0) << c.name;
        EXPECT_FALSE(doc->IsModified()) << c.name;
        EXPECT_EQ(doc->GetCurrentEntryIndex(), -1) << c.name;
    }
    EXPECT_TRUE(NoTemporaryFiles(dir.Path()));
}

TEST_F(NewStampTest, StampFolderThatCannotBeWrittenKeepsTheOldStamp) {
    const auto folder = dir.Path() + "/ro";
    fs::create_directory(folder);
    const auto stamp = dir.Write("ro/a.txt.tsr", "an earlier stamp");
    fs::permissions(dir.Path(),
                    fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    // As a user who may not write there (root may write anywhere: then as "nobody").
    const auto [ok, text] = InChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return false;
        const Bytes data(100, 0x30);
        return doc->WriteStampFile(stamp, data.data(), data.size());
    });
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(ok);
    EXPECT_EQ(text.rfind("Nelze vytvořit soubor " + stamp + "\n\n0x0000000D (13):", 0), 0u) << text;
    EXPECT_EQ(TempDir::Read(stamp), "an earlier stamp");
    EXPECT_TRUE(NoTemporaryFiles(folder));
}

TEST_F(NewStampTest, FullDiskGivesTheShortWriteMessageAndKeepsTheOldStamp) {
    const auto path = dir.Write("full.tsr", "an earlier stamp");
    // A file that cannot grow past 100 bytes.
    const auto [ok, text] = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            100, 100
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Bytes data(5000, 0x30);
        return doc->WriteStampFile(path, data.data(), data.size());
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(text,
              "chyba při zápisu do souboru " + path + " (5000 bajtů zapsat, 100 bajtů zapsáno)");
    EXPECT_EQ(TempDir::Read(path), "an earlier stamp");
    EXPECT_TRUE(NoTemporaryFiles(dir.Path()));
}
