// The command-line client and a window's document changing the list of stamped files at the
// same time: the list ends up with exactly what each of them did.
#include "core/ClientSettings.h"
#include "document/ZarnDoc.h"
#include "testlib/FakeFrontEnd.h"
#include "testlib/OpensslTs.h"
#include "testlib/RecordingMessageBoxes.h"
#include "testlib/TempDir.h"
#include "tools/TokenFactory.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using mivo::test::ShellQuote;

namespace {

class ListConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // One token for one content; every listed file has that content.
        mivo::test::TokenSpec spec;
        spec.imprintOid = "2.16.840.1.101.3.4.2.1";
        spec.imprint.resize(32);
        EVP_Digest(kContent, sizeof kContent - 1, spec.imprint.data(), nullptr, EVP_sha256(),
                   nullptr);
        const auto token = mivo::test::TokenFactory::Token(spec);
        m_token.assign(token.begin(), token.end());
        DeleteClientSettings();
        GetClientSettings().SetIniPath(m_config.File("mivoklient.ini"));
    }
    void TearDown() override { DeleteClientSettings(); }

    // A stamped file `name` (its stamp beside it); answers the stamp's path.
    std::string Stamped(const std::string& name) {
        m_files.Write(name, kContent);
        return m_files.Write(name + ".tst", m_token);
    }
    std::set<std::string> StoredStamps() {
        CStampList stored;
        LoadStampList(GetClientSettings(), stored);
        std::set<std::string> stamps;
        for (const auto& entry : stored.Entries())
            EXPECT_TRUE(stamps.insert(entry.m_strStampFile).second) << entry.m_strStampFile;
        return stamps;
    }

    static constexpr char kContent[] = "smlouva\n";
    std::string m_token;
    TempDir m_config;
    TempDir m_files;
};

} // namespace

TEST_F(ListConcurrencyTest, CommandLineAndDocumentTogetherLeaveTheUnionOfWhatEachDid) {
    // Entries listed before: the command line removes the first of them again and again,
    // so the document's own entries (after them) are never its target.
    constexpr int kSeeded = 12, kCliAdds = 20, kCliRemoves = kCliAdds / 2;
    std::string seed = "[time_stamped_files]\ncount=" + std::to_string(kSeeded) + "\n";
    for (int i = 0; i < kSeeded; ++i)
        seed += "tsf_item" + std::to_string(i) + "=" + Stamped("p" + std::to_string(i)) + ",\n";
    m_config.Write("mivoklient.ini", seed);

    const std::string cli = "MIVOKLIENT_CONFIG_DIR=" + ShellQuote(m_config.Path()) +
                            " MIVOKLIENT_SYSCONF_DIR=" + ShellQuote(m_config.Path() + "/etc") +
                            " " + ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli");
    std::string script = "failed=0\n";
    for (int i = 0; i < kCliAdds; ++i) {
        const std::string stamp = Stamped("c" + std::to_string(i));
        script += cli + " add " + ShellQuote(stamp) + " >/dev/null || failed=$((failed+1))\n";
        if (i % 2 == 1)
            script += cli + " remove --yes 0 >/dev/null || failed=$((failed+1))\n";
    }
    script += "exit $failed\n";
    std::vector<std::string> docStamps;
    for (int j = 0; j < 200; ++j)
        docStamps.push_back(Stamped("d" + std::to_string(j)));

    RecordingMessageBoxes boxes;
    CStampList registry;
    registry.LoadAtStartup(GetClientSettings());
    FakeFrontEnd front;
    CZarnDoc doc(registry);
    doc.SetFrontEnd(&front);
    front.panel.SetDocument(&doc);
    front.panel.FillOnce(registry);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The document adds its own stamps and removes every third one of them until the
    // command line is through.
    std::set<std::string> docLeft;
    int status = 0;
    int j = 0;
    for (; j < static_cast<int>(docStamps.size()); ++j) {
        if (j % 3 == 2) {
            const int index =
                registry.FindSame({docStamps[static_cast<std::size_t>(j - 1)], "", ""});
            ASSERT_GE(index, 0);
            ASSERT_EQ(doc.RemoveEntry(index), 1);
            docLeft.erase(docStamps[static_cast<std::size_t>(j - 1)]);
        } else {
            doc.AddToList({docStamps[static_cast<std::size_t>(j)], "", ""});
            docLeft.insert(docStamps[static_cast<std::size_t>(j)]);
        }
        ASSERT_FALSE(doc.HasUnsavedListChanges());
        if (j >= 20 && waitpid(child, &status, WNOHANG) == child)
            break;
    }
    if (j == static_cast<int>(docStamps.size())) {
        ASSERT_EQ(waitpid(child, &status, 0), child);
    }
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "commands that failed";

    std::set<std::string> expected = docLeft;
    for (int i = kCliRemoves; i < kSeeded; ++i)
        expected.insert(m_files.File("p" + std::to_string(i) + ".tst"));
    for (int i = 0; i < kCliAdds; ++i)
        expected.insert(m_files.File("c" + std::to_string(i) + ".tst"));
    EXPECT_EQ(StoredStamps(), expected);
    // The document's list is the stored one once it reads it again.
    doc.ReloadList();
    EXPECT_EQ(registry.GetCount(), static_cast<int>(expected.size()));
    EXPECT_EQ(front.list.RowCount(), registry.GetCount());
    RecordProperty("document_changes", j);
}
