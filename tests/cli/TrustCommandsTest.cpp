// The verdicts and the trust and list commands of mivoklient-cli, run as a user would run
// them: show's keys for a trusted, an untrusted and a qualified public stamp, verify's
// --strict and --qualified, trust add/list/remove, tl import/status through the command
// table, and their help.
#include "testlib/OpensslTs.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using mivo::test::CommandResult;
using mivo::test::RunCommand;
using mivo::test::ShellQuote;

namespace {

const std::string kData = std::string(MIVO_TEST_DATA_DIR);
const std::string kReal = kData + "/real-tokens/";
const std::string kSigstage = kReal + "sigstage-ecdsa-sha256-reply.tsr";
const std::string kHello = kReal + "data/hello.txt";

// The value of `key` in show --json's output ("" when it is not there).
std::string JsonValue(const std::string& json, const std::string& key) {
    const std::string start = "  \"" + key + "\": \"";
    const std::size_t at = json.find(start);
    if (at == std::string::npos)
        return "<missing>";
    const std::size_t from = at + start.size();
    return json.substr(from, json.find('"', from) - from);
}

class CliTrustTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The real lists, imported once as a user would import them.
        s_lists = new TempDir;
        const CommandResult imported =
            RunCommand(Environment(s_lists->Path(), s_lists->Path() + "/none", "") + Program() +
                       " tl import " + ShellQuote(kData + "/trusted-lists"));
        s_importOut = imported.out + imported.err;
        s_importExit = imported.exitCode;
    }
    static void TearDownTestSuite() {
        delete s_lists;
        s_lists = nullptr;
    }

    static std::string Program() {
        return ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli");
    }
    static std::string Environment(const std::string& lists, const std::string& anchors,
                                   const std::string& config) {
        return "MIVOKLIENT_TL_DIR=" + ShellQuote(lists) +
               " MIVOKLIENT_TRUST_DIR=" + ShellQuote(anchors) +
               " MIVOKLIENT_CONFIG_DIR=" + ShellQuote(config) +
               " MIVOKLIENT_SYSCONF_DIR=" + ShellQuote(config + "/etc") + " ";
    }
    // The command with the shared lists, `anchors` as the only anchors and our own config.
    CommandResult Run(const std::string& arguments, const std::string& anchors) const {
        return RunCommand(Environment(s_lists->Path(), anchors, m_config.Path()) + Program() + " " +
                          arguments + " </dev/null");
    }

    static TempDir* s_lists;
    static std::string s_importOut;
    static int s_importExit;
    TempDir m_config;
    TempDir m_anchors;
};
TempDir* CliTrustTest::s_lists = nullptr;
std::string CliTrustTest::s_importOut;
int CliTrustTest::s_importExit = -1;

TEST_F(CliTrustTest, ShowTellsTheVerdictsOfATrustedAnUntrustedAndAQualifiedStamp) {
    ASSERT_EQ(s_importExit, 0) << s_importOut;
    CommandResult r = Run("show --json " + ShellQuote(kSigstage) + " " + ShellQuote(kHello),
                          kData + "/trust-anchors");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(JsonValue(r.out, "trust"), "trusted") << r.out;
    EXPECT_NE(JsonValue(r.out, "trust_anchor").find("sigstore-tsa-selfsigned"), std::string::npos);
    EXPECT_NE(JsonValue(r.out, "trust_msg").find("je důvěryhodný"), std::string::npos);
    EXPECT_EQ(JsonValue(r.out, "tac_verified"), "");
    EXPECT_EQ(JsonValue(r.out, "qualified"), "no");
    EXPECT_EQ(JsonValue(r.out, "tl_service"), "");

    r = Run("show " + ShellQuote(kSigstage) + " " + ShellQuote(kHello), m_anchors.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\ntrust: untrusted\ntrust_msg: Vydavateli časového razítka nelze "
                         "důvěřovat"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\ntrust_anchor: \n"), std::string::npos);

    // A Slovak qualified service: no source file to match, but the stamp itself is judged.
    r = Run("show --json " + ShellQuote(kReal + "disig-rsa-sha256-token.tst"), m_anchors.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(JsonValue(r.out, "qualified"), "yes") << r.out;
    EXPECT_EQ(JsonValue(r.out, "tl_territory"), "SK");
    EXPECT_EQ(JsonValue(r.out, "tl_service"), "(75) TSA Disig aTSU 1");
    EXPECT_NE(JsonValue(r.out, "qualified_msg").find("Disig"), std::string::npos);
    // The list vouches for the signer that no anchor of ours leads to.
    EXPECT_NE(JsonValue(r.out, "trust_anchor").find("Disig"), std::string::npos) << r.out;
}

TEST_F(CliTrustTest, VerifyStrictAndQualifiedAskMoreOfTheStamp) {
    const std::string stamp = ShellQuote(kSigstage) + " " + ShellQuote(kHello);
    CommandResult r = Run("verify --strict " + stamp, kData + "/trust-anchors");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // In order, but its signer is not trusted: as today without --strict, a failure with it.
    r = Run("verify " + stamp, m_anchors.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\nVydavateli časového razítka nelze důvěřovat"), std::string::npos)
        << r.out;
    r = Run("verify --strict " + stamp, m_anchors.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("Vydavateli časového razítka nelze důvěřovat", 0), 0u) << r.err;

    // Trusted, yet not qualified.
    r = Run("verify --qualified " + stamp, kData + "/trust-anchors");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.empty());
    // A stamp that fails its own checks fails whatever is asked besides.
    r = Run("verify --strict " + ShellQuote(kSigstage) + " " +
                ShellQuote(kReal + "data/hello-nl.txt"),
            kData + "/trust-anchors");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(CliTrustTest, TrustAddListAndRemove) {
    const std::string stamp = ShellQuote(kSigstage) + " " + ShellQuote(kHello);
    const std::string anchors = m_anchors.Path() + "/nested";
    CommandResult r = Run("trust list", anchors);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("není žádný důvěryhodný certifikát"), std::string::npos) << r.out;

    r = Run("trust add " + ShellQuote(kData + "/trust-anchors/sigstore-tsa-selfsigned.pem"),
            anchors);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Přidáno mezi důvěryhodné: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("SHA-256: "), std::string::npos);
    EXPECT_EQ(Run("verify --strict " + stamp, anchors).exitCode, 0);

    r = Run("trust list", anchors);
    EXPECT_EQ(r.out.rfind("0\t", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("sigstore-tsa-selfsigned"), std::string::npos);

    // Bytes that are no certificate, a missing file: refused, nothing added.
    const std::string junk = m_config.Write("junk.pem", "not a certificate");
    r = Run("trust add " + ShellQuote(junk), anchors);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("neobsahuje certifikát"), std::string::npos) << r.err;
    EXPECT_EQ(Run("trust add " + ShellQuote(m_config.File("missing.pem")), anchors).exitCode, 1);

    // Removing asks; without a terminal only --yes removes.
    r = Run("trust remove 0", anchors);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
    EXPECT_EQ(Run("trust remove --yes 1", anchors).exitCode, 1); // only entry 0 exists
    r = Run("trust remove --yes 0", anchors);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Odebráno z důvěryhodných: "), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(anchors));
    EXPECT_EQ(Run("verify --strict " + stamp, anchors).exitCode, 1);
}

TEST_F(CliTrustTest, ListCommandsGoThroughTheCommandTable) {
    ASSERT_EQ(s_importExit, 0) << s_importOut;
    EXPECT_NE(s_importOut.find("Důvěryhodný seznam státu SK: aktualizován"), std::string::npos)
        << s_importOut;
    CommandResult r = Run("tl status", m_anchors.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Důvěryhodný seznam státu CZ: pořadové číslo 141"), std::string::npos)
        << r.out;

    // Into a list folder of its own, only Slovakia's list besides the LOTL.
    TempDir own;
    r = RunCommand("MIVOKLIENT_TL_DIR=" + ShellQuote(own.Path()) + " " + Program() +
                   " tl import --only sk " + ShellQuote(kData + "/trusted-lists"));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(std::filesystem::exists(own.File("SK.idx")));
    EXPECT_FALSE(std::filesystem::exists(own.File("CZ.idx")));

    EXPECT_EQ(Run("tl import", m_anchors.Path()).exitCode, 2);
    EXPECT_EQ(Run("tl import --only CZE " + ShellQuote(own.Path()), m_anchors.Path()).exitCode, 2);
    EXPECT_EQ(Run("tl status extra", m_anchors.Path()).exitCode, 2);
    EXPECT_EQ(Run("tl", m_anchors.Path()).exitCode, 2);
    EXPECT_EQ(Run("trust", m_anchors.Path()).exitCode, 2);

    r = Run("--help", m_anchors.Path());
    for (const char* usage :
         {"mivoklient-cli verify [--ini INI] [--strict] [--qualified] RAZÍTKO [ZDROJ]\n",
          "mivoklient-cli trust add CERTIFIKÁT.pem\n", "mivoklient-cli trust list\n",
          "mivoklient-cli trust remove [--yes] ČÍSLO\n",
          "mivoklient-cli tl update [--lotl URL] [--only CZ,SK] [--ini INI]\n",
          "mivoklient-cli tl import [--only CZ,SK] SLOŽKA\n", "mivoklient-cli tl status\n"})
        EXPECT_NE(r.out.find(usage), std::string::npos) << usage;
}

} // namespace
