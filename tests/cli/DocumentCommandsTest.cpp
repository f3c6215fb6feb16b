// mivoklient-cli as a front end of the document: stamp, verify, show, list, add, remove,
// run as a user would run them against the local test TSA, with the registry in the
// user's INI file.
#include "tools/TestTsa.h"

#include "testlib/OpensslTs.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using mivo::test::CommandResult;
using mivo::test::RunCommand;
using mivo::test::ShellQuote;
using mivo::test::TestTsa;
using mivo::test::TsaBehaviour;

namespace fs = std::filesystem;

namespace {

class CliDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_config.Write("mivoklient.ini", "[zarn]\nserver_url=" + m_tsa.Url() +
                                             "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n");
    }
    std::string Command(const std::string& arguments) const {
        return "MIVOKLIENT_CONFIG_DIR=" + ShellQuote(m_config.Path()) +
               " MIVOKLIENT_SYSCONF_DIR=" + ShellQuote(m_config.Path() + "/etc") + " " +
               ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli") + " " + arguments;
    }
    CommandResult Run(const std::string& arguments) const { return RunCommand(Command(arguments)); }
    std::string Ini() const { return TempDir::Read(m_config.File("mivoklient.ini")); }

    TestTsa m_tsa;
    TempDir m_config;
    TempDir m_files;
};

// Runs `command` with a terminal as its standard input and output, on which `typed` is
// typed; `out` is everything the terminal showed (both outputs and the echo).
CommandResult RunOnTerminal(const std::string& command, const std::string& typed) {
    CommandResult result;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0)
        return result;
    if (write(terminal, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
        ADD_FAILURE() << "typing failed";
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(terminal, buffer, sizeof buffer)) > 0) // EIO once the program has ended
        result.out.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    close(terminal);
    return result;
}

} // namespace

TEST_F(CliDocumentTest, StampSeveralFilesReportsEachAndSavesTheList) {
    const auto a = m_files.Write("a.txt", "A");
    const auto b = m_files.Write("b.txt", "B");
    const auto missing = m_files.File("missing.txt");
    const CommandResult r =
        Run("stamp " + ShellQuote(a) + " " + ShellQuote(missing) + " " + ShellQuote(b));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("[1/3] " + a + "\n  + " + a + ".tsr\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[2/3] " + missing + "\n[3/3]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Orazítkováno 2 z 3 souborů.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Chyba při čtení zdrojového souboru " + missing), std::string::npos);
    EXPECT_TRUE(fs::exists(a + ".tsr"));
    EXPECT_TRUE(fs::exists(b + ".tsr"));
    EXPECT_NE(Ini().find("tsf_item0=" + a + ".tsr," + a + "\n"), std::string::npos) << Ini();
    EXPECT_NE(Ini().find("tsf_item1=" + b + ".tsr," + b + "\n"), std::string::npos);
    EXPECT_NE(Ini().find("count=2\n"), std::string::npos);

    // Stamping again replaces the entry instead of adding one.
    EXPECT_EQ(Run("stamp " + ShellQuote(a)).exitCode, 0);
    EXPECT_NE(Ini().find("count=2\n"), std::string::npos);
}

TEST_F(CliDocumentTest, ListShowVerifyAddAndRemove) {
    const auto a = m_files.Write("smlouva.pdf", "obsah");
    ASSERT_EQ(Run("stamp " + ShellQuote(a)).exitCode, 0);
    const std::string iniAfterStamp = Ini();

    CommandResult r = Run("list");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("0\tsmlouva.pdf.tsr\t20", 0), 0u) << r.out;
    EXPECT_EQ(Ini(), iniAfterStamp); // nothing changed, nothing written

    // The source is guessed from the stamp's name.
    r = Run("verify " + ShellQuote(a + ".tsr"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Kvalifikované časové razítko je v pořádku\n", 0), 0u) << r.out;

    r = Run("show --json " + ShellQuote(a + ".tsr"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\n  \"m_hash_verif_msg\": \"Kvalifikované časové razítko je v "
                          "pořádku\",\n  \"m_verif_msg\": \"\",\n  \"m_strClockName\": ",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\"m_strPolicyOid\": \"1.2.3.4.1\""), std::string::npos);
    EXPECT_NE(r.out.find("\"m_mtr_strNtpTime\": \"No TimeAttributeCert found\""),
              std::string::npos);
    EXPECT_NE(r.out.find("\"m_tac_strValidUntil\": \"\",\n  \"trust\": "), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 4), "\"\n}\n"); // the verdicts' last key closes it

    // A changed source: the reason on standard error, the details all the same.
    m_files.Write("smlouva.pdf", "obsaH");
    r = Run("show " + ShellQuote(a + ".tsr"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Ověření miniatury skončilo chybou\n");
    EXPECT_NE(r.out.find("m_hash_verif_msg: Chyba kvalifikovaného časového razítka\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("m_strHashAlgorithm: SHA-256\n"), std::string::npos);
    r = Run("verify " + ShellQuote(a + ".tsr") + " " + ShellQuote(a));
    EXPECT_EQ(r.exitCode, 1);

    // A stamp of a public TSA added with its source, then removed again.
    const std::string real = std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/";
    r = Run("add " + ShellQuote(real + "sigstage-ecdsa-sha256-reply.tsr") + " " +
            ShellQuote(real + "data/hello.txt"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\tsigstage-ecdsa-sha256-reply.tsr\t2025/05/09  11:58:55\n");
    EXPECT_NE(Ini().find("count=2\n"), std::string::npos);

    r = Run("remove --yes 0");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Odebráno ze seznamu: " + a + ".tsr\n");
    EXPECT_TRUE(fs::exists(a + ".tsr")); // the files stay
    r = Run("list");
    EXPECT_EQ(r.out.rfind("0\tsigstage-ecdsa-sha256-reply.tsr\t", 0), 0u) << r.out;

    r = Run("remove --yes 5");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Položka 5 v seznamu není (seznam má 1 položek).\n");
}

// A stamp that was made but could not be listed fails the command, with the write error.
TEST_F(CliDocumentTest, AListThatCannotBeWrittenFailsAddAndStamp) {
    const auto a = m_files.Write("a.txt", "A");
    // The file grows past what the process may write (as on a full disk): other settings
    // make the INI file larger than the stamp, so the stamp is written and the list is not.
    m_config.Write("mivoklient.ini", Ini() + "[jine]\nvypln=" + std::string(100000, 'x') + "\n");
    const std::string before = Ini();
    CommandResult r =
        RunCommand("trap '' XFSZ; ulimit -f 48; " + Command("stamp " + ShellQuote(a)));
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(fs::exists(a + ".tsr"));
    EXPECT_NE(r.err.find("Chyba při zápisu do souboru: " + m_config.File("mivoklient.ini")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Ini(), before);

    // Something in the way of the INI file: the stamp cannot be added.
    fs::remove(m_config.File("mivoklient.ini"));
    fs::create_directories(m_config.File("mivoklient.ini") + "/in-the-way");
    r = Run("add " + ShellQuote(a + ".tsr"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("Chyba při zápisu do souboru: " + m_config.File("mivoklient.ini")),
              std::string::npos)
        << r.err;
}

TEST_F(CliDocumentTest, RelativeNamesAreStoredAbsoluteAndNormalised) {
    fs::create_directories(m_files.File("sub"));
    const auto a = m_files.Write("a.txt", "A");
    const std::string entry = "tsf_item0=" + a + ".tsr," + a + "\n";
    CommandResult r =
        RunCommand("cd " + ShellQuote(m_files.Path()) + " && " + Command("stamp sub/../a.txt"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Ini().find(entry), std::string::npos) << Ini();

    // Added again from another folder under other relative names: the same entry.
    r = RunCommand("cd " + ShellQuote(m_files.File("sub")) + " && " +
                   Command("add ../a.txt.tsr ./.././a.txt"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Ini().find(entry), std::string::npos) << Ini();
    EXPECT_NE(Ini().find("count=1\n"), std::string::npos) << Ini();
}

TEST_F(CliDocumentTest, TsaSendingMicrosecondsOrFinerIsStamped) {
    for (int digits : {6, 7}) {
        SCOPED_TRACE(digits);
        TsaBehaviour behaviour;
        behaviour.genTimeFractionDigits = digits;
        m_tsa.SetBehaviour(behaviour);
        const auto file = m_files.Write("f" + std::to_string(digits) + ".txt", "obsah");
        CommandResult r = Run("stamp " + ShellQuote(file));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        r = Run("verify " + ShellQuote(file + ".tsr"));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        // The token carries the time as the server wrote it.
        r = Run("decode " + ShellQuote(file + ".tsr"));
        const std::size_t at = r.out.find("gen_time: ");
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string genTime = r.out.substr(at + 10, r.out.find('\n', at) - at - 10);
        EXPECT_EQ(genTime.size(), 14u + 1u + static_cast<unsigned>(digits) + 1u) << genTime;
        EXPECT_EQ(genTime.find('.'), 14u) << genTime;
    }
    // Six minutes off is still refused, fraction or not.
    TsaBehaviour late;
    late.genTimeFractionDigits = 7;
    late.timeSkewSeconds = 360;
    m_tsa.SetBehaviour(late);
    const auto file = m_files.Write("late.txt", "obsah");
    const CommandResult r = Run("stamp " + ShellQuote(file));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("je větší než 5 minut"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(file + ".tsr"));
}

TEST_F(CliDocumentTest, SourcesThatCannotBeHashedWholeSendNothing) {
    // A FIFO without a writer blocked every command before; now it is refused at once.
    const std::string fifo = m_files.File("roura");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CommandResult r = Run("stamp " + ShellQuote(fifo));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(fifo + " není obyčejný soubor"), std::string::npos) << r.err;
    r = Run("digest " + ShellQuote(fifo));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(fifo + " není obyčejný soubor"), std::string::npos) << r.err;
    r = Run("digest /dev/zero");
    EXPECT_EQ(r.exitCode, 1);

    // A read that fails part-way is a failure, not the digest of what came before it.
    r = Run("digest /proc/self/mem");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Chyba při čtení souboru /proc/self/mem"), std::string::npos) << r.err;

    EXPECT_EQ(m_tsa.RequestCount(), 0u);
    EXPECT_FALSE(fs::exists(fifo + ".tsr"));
    EXPECT_EQ(Ini().find("tsf_item"), std::string::npos) << Ini();
}

TEST_F(CliDocumentTest, UsageErrors) {
    EXPECT_EQ(Run("stamp").exitCode, 2);
    EXPECT_EQ(Run("show").exitCode, 2);
    EXPECT_EQ(Run("remove x").exitCode, 2);
    EXPECT_EQ(Run("list extra").exitCode, 2);
    EXPECT_EQ(Run("verify " + ShellQuote(m_files.File("no-extension"))).exitCode, 2);
    EXPECT_EQ(Run("stamp --bogus a").exitCode, 2);
}

TEST_F(CliDocumentTest, RemoveAsksOnATerminalAndWithoutOneOnlyTakesYes) {
    const auto a = m_files.Write("a.txt", "A");
    const auto b = m_files.Write("b.txt", "B");
    ASSERT_EQ(Run("stamp " + ShellQuote(a) + " " + ShellQuote(b)).exitCode, 0);
    const std::string listed = Ini();

    // No terminal to ask on, and no --yes: nothing is removed.
    CommandResult r = Run("remove 0");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
    EXPECT_EQ(Ini(), listed);

    // On a terminal the question is asked; "n" keeps the entry, "a" removes it.
    r = RunOnTerminal(Command("remove 0"), "n\n");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("Vymazat vybraný soubor kvalifikovaného časového razítka? [a/N] "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Položka nebyla odebrána."), std::string::npos) << r.out;
    EXPECT_EQ(Ini(), listed);

    r = RunOnTerminal(Command("remove 1"), "a\n");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Odebráno ze seznamu: " + b + ".tsr"), std::string::npos) << r.out;
    const std::string list = Run("list").out;
    EXPECT_EQ(list.rfind("0\ta.txt.tsr\t", 0), 0u) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 1) << list;
    EXPECT_NE(Ini().find("count=1\n"), std::string::npos) << Ini();
}

TEST_F(CliDocumentTest, ShowListsTheDetailFieldsInThePagesOrderInBothForms) {
    const std::string real = std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/";
    const std::string stamp = ShellQuote(real + "sigstage-ecdsa-sha256-reply.tsr") + " " +
                              ShellQuote(real + "data/hello.txt");
    const std::string order =
        "m_hash_verif_msg m_verif_msg m_strClockName m_strUTCTime m_strPolicyOid m_strQuality "
        "m_strVersion m_strSerialNumber m_strHashAlgorithm m_strNonce m_tac_strVersion "
        "m_tac_strHolder m_tac_strHolderThumbprint m_tac_strIssuer m_tac_strSerialNumber "
        "m_mtr_strNtpTime m_mtr_strExpiration m_mtr_strOffset m_mtr_strDelay m_tac_strSignature "
        "m_mtr_strPolicyOID m_mtr_strMaxDelay m_mtr_strMaxOffset m_tac_strValidFrom "
        "m_tac_strValidUntil ";
    // The verdicts after the stamp's own fields; the TAC's machine form only in JSON, its
    // note only in the text.
    const std::string text = "trust trust_msg trust_anchor tac_note qualified qualified_msg "
                             "tl_territory tl_service ";
    const std::string json = "trust trust_msg tac_verified trust_anchor qualified "
                             "qualified_msg tl_territory tl_service ";

    CommandResult r = Run("show " + stamp);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string keys;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        keys += line.substr(0, line.find(": ")) + " ";
    EXPECT_EQ(keys, order + text);
    EXPECT_NE(r.out.find("\nm_strUTCTime: 2025/05/09  11:58:55\n"), std::string::npos);

    r = Run("show --json " + stamp);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    keys.clear();
    lines = std::istringstream(r.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("  \"", 0) == 0)
            keys += line.substr(3, line.find("\": ") - 3) + " ";
    EXPECT_EQ(keys, order + json);
    EXPECT_NE(r.out.find("  \"m_strUTCTime\": \"2025/05/09  11:58:55\",\n"), std::string::npos);
}

TEST_F(CliDocumentTest, ListCheckPrintsEachStatusAsTheThirdColumnAndFailsUnlessAllAreInOrder) {
    const auto a = m_files.Write("a.txt", "A");
    const auto b = m_files.Write("b.txt", "B");
    ASSERT_EQ(Run("stamp " + ShellQuote(a) + " " + ShellQuote(b)).exitCode, 0);

    CommandResult r = Run("list --check");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("0\ta.txt.tsr\tv pořádku\t20", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n1\tb.txt.tsr\tv pořádku\t20"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t" + b + ".tsr\n"), std::string::npos) << r.out;

    m_files.Write("b.txt", "b");
    r = Run("list --check");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\n1\tb.txt.tsr\tzdroj změněn\t"), std::string::npos) << r.out;
    fs::remove(a);
    r = Run("list --check");
    EXPECT_EQ(r.out.rfind("0\ta.txt.tsr\tzdroj chybí\t", 0), 0u) << r.out;

    // Without --check the columns stay as they were.
    r = Run("list");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("0\ta.txt.tsr\t20", 0), 0u) << r.out;
    EXPECT_NE(Run("--help").out.find("mivoklient-cli list [--ini INI] [--check]"),
              std::string::npos);
}
