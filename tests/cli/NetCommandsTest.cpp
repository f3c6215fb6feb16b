// mivoklient-cli request and post, run as a user would run them, against the local test
// TSA; openssl reads what they write.
#include "tools/TestTsa.h"

#include "testlib/OpensslTs.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <openssl/evp.h>
#include <string>

using mivo::test::Bytes;
using mivo::test::CommandResult;
using mivo::test::OpensslTs;
using mivo::test::QueryFields;
using mivo::test::RunCommand;
using mivo::test::ShellQuote;
using mivo::test::TestTsa;
using mivo::test::TsaBehaviour;

namespace {

// Configuration folders of their own for every run: the user's INI file is `folder`/
// mivoklient.ini, the system folder is empty.
class CliNetTest : public ::testing::Test {
protected:
    CommandResult Run(const std::string& arguments) const {
        return RunCommand("MIVOKLIENT_CONFIG_DIR=" + ShellQuote(m_config.Path()) +
                          " MIVOKLIENT_SYSCONF_DIR=" + ShellQuote(m_system.Path()) + " " +
                          ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli") + " " +
                          arguments);
    }
    void WriteUserIni(const std::string& text) const { m_config.Write("mivoklient.ini", text); }
    static Bytes ReadBytes(const std::string& path) {
        const std::string text = TempDir::Read(path);
        return Bytes(text.begin(), text.end());
    }
    static std::string Hex(const unsigned char* bytes, unsigned length) {
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned i = 0; i < length; ++i) {
            hex += kDigits[bytes[i] >> 4];
            hex += kDigits[bytes[i] & 15];
        }
        return hex;
    }
    static std::string DigestHex(const char* name, const std::string& data) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        EVP_Digest(data.data(), data.size(), digest, &length, EVP_get_digestbyname(name), nullptr);
        return Hex(digest, length);
    }
    std::size_t FilesIn(const TempDir& dir) const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            ++count;
        return count;
    }

    TempDir m_config;
    TempDir m_system;
    TempDir m_work;
    OpensslTs m_openssl;
};

} // namespace

TEST_F(CliNetTest, RequestTakesHashAndPolicyFromTheIniFileUnlessGiven) {
    const std::string data = "a file to be stamped\n";
    const std::string file = m_work.Write("doc.txt", data);

    WriteUserIni("[zarn]\nhash_alg=3\npolicy_oid=1.2.3.4.7\n");
    CommandResult result = Run("request " + ShellQuote(file));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    QueryFields fields;
    ASSERT_TRUE(m_openssl.Query(ReadBytes(file + ".tsq"), fields));
    EXPECT_EQ(fields.hashAlgorithm, "sha384");
    EXPECT_EQ(fields.imprintHex, DigestHex("SHA384", data));
    EXPECT_EQ(fields.policy, "1.2.3.4.7");
    EXPECT_EQ(fields.certReq, "yes");
    EXPECT_EQ(fields.nonceHex.size() >= 1, true);

    const std::string ini = m_work.Write("other.ini", "[zarn]\nhash_alg=1\npolicy_oid=1.2.3.4.8\n");
    result = Run("request --ini " + ShellQuote(ini) + " " + ShellQuote(file) + " -o " +
                 ShellQuote(m_work.File("md5.tsq")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(m_openssl.Query(ReadBytes(m_work.File("md5.tsq")), fields));
    EXPECT_EQ(fields.hashAlgorithm, "md5");
    EXPECT_EQ(fields.policy, "1.2.3.4.8");

    result = Run("request --hash 4 --policy 1.2.3.4.1 " + ShellQuote(file) + " -o " +
                 ShellQuote(m_work.File("given.tsq")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(m_openssl.Query(ReadBytes(m_work.File("given.tsq")), fields));
    EXPECT_EQ(fields.hashAlgorithm, "sha512");
    EXPECT_EQ(fields.imprintHex, DigestHex("SHA512", data));
    EXPECT_EQ(fields.policy, "1.2.3.4.1");
}

TEST_F(CliNetTest, RequestFailuresLeaveNoFile) {
    const std::string missing = m_work.File("missing.txt");
    CommandResult result = Run("request " + ShellQuote(missing));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Chyba při čtení zdrojového souboru " + missing), std::string::npos)
        << result.err;
    EXPECT_EQ(FilesIn(m_work), 0U);

    const std::string file = m_work.Write("doc.txt", "x");
    EXPECT_EQ(Run("request --hash 5 " + ShellQuote(file)).exitCode, 2);
    EXPECT_EQ(Run("request").exitCode, 2);
    EXPECT_EQ(Run("request " + ShellQuote(file) + " extra").exitCode, 2);
    // A folder that does not exist cannot take the output.
    result = Run("request " + ShellQuote(file) + " -o " + ShellQuote(m_work.File("no/dir.tsq")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Nelze vytvořit soubor"), std::string::npos) << result.err;
    EXPECT_EQ(FilesIn(m_work), 1U);
}

TEST_F(CliNetTest, PostWritesTheReplyAfterTheFramingCheck) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.framing = TsaBehaviour::Framing::FinalMessage;
    tsa.SetBehaviour(behaviour);
    const std::string file = m_work.Write("doc.txt", "stamp me\n");
    WriteUserIni("[zarn]\nhash_alg=2\npolicy_oid=1.2.3.4.1\nproxy_type=1\nserver_url=" +
                 tsa.Url("/from-ini") + "\n");
    ASSERT_EQ(Run("request " + ShellQuote(file)).exitCode, 0);

    const std::string reply = m_work.File("doc.txt.tsr");
    CommandResult result = Run("post " + ShellQuote(file + ".tsq") + " -o " + ShellQuote(reply));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tsa.Requests().at(0).requestLine, "POST /from-ini HTTP/1.0");
    EXPECT_EQ(tsa.Requests().at(0).body, ReadBytes(file + ".tsq"));
    // The frame is gone: openssl reads the file as a plain reply that answers the request.
    const CommandResult verified =
        m_openssl.VerifyWithQuery(ReadBytes(file + ".tsq"), ReadBytes(reply));
    EXPECT_TRUE(verified.Ok()) << verified.out << verified.err;

    // --url wins over the INI file; --ini names another INI file.
    const std::string ini = m_work.Write(
        "other.ini", "[zarn]\nproxy_type=1\nserver_url=" + tsa.Url("/other-ini") + "\n");
    result = Run("post --ini " + ShellQuote(ini) + " " + ShellQuote(file + ".tsq") + " -o " +
                 ShellQuote(reply));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tsa.Requests().at(1).requestLine, "POST /other-ini HTTP/1.0");
    result = Run("post --url " + ShellQuote(tsa.Url("/from-option")) + " " +
                 ShellQuote(file + ".tsq") + " -o " + ShellQuote(reply));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tsa.Requests().at(2).requestLine, "POST /from-option HTTP/1.0");
}

TEST_F(CliNetTest, PostFailuresPrintTheMessageAndKeepTheOldReply) {
    TestTsa tsa;
    WriteUserIni("[zarn]\nproxy_type=1\nserver_url=" + tsa.Url() + "\n");
    const std::string file = m_work.Write("doc.txt", "stamp me\n");
    ASSERT_EQ(Run("request " + ShellQuote(file)).exitCode, 0);
    const std::string reply = m_work.Write("doc.txt.tsr", "an earlier reply");
    const std::size_t files = FilesIn(m_work);

    struct {
        const char* name;
        void (*setup)(TsaBehaviour&);
        const char* message;
    } const cases[] = {
        {"404", [](TsaBehaviour& b) { b.httpStatus = 404; },
         "Chyba při připojení k serveru \n\n404: Server nenašel zadanou adresu URL"},
        {"401", [](TsaBehaviour& b) { b.basicAuth = std::make_pair("u", "p"); },
         "Chyba při připojení k serveru "},
        {"error message",
         [](TsaBehaviour& b) {
             b.framing = TsaBehaviour::Framing::ErrorMessage;
             b.errorText = "TSA mimo provoz";
         },
         "Chyba vrácená TTI knihovnou\n\nZpráva odpovědi:  TSA mimo provoz"},
        {"body too long", [](TsaBehaviour& b) { b.oversizedBody = 70000; },
         "Chyba při připojení k serveru "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TsaBehaviour behaviour;
        c.setup(behaviour);
        tsa.SetBehaviour(behaviour);
        tsa.ClearRequests();
        const CommandResult result =
            Run("post " + ShellQuote(file + ".tsq") + " -o " + ShellQuote(reply));
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(TempDir::Read(reply), "an earlier reply");
        EXPECT_EQ(FilesIn(m_work), files);
        EXPECT_EQ(tsa.RequestCount(), 1U); // the command line asks nobody for a password
    }

    EXPECT_EQ(Run("post " + ShellQuote(file + ".tsq")).exitCode, 2); // no -o
    const CommandResult missing =
        Run("post " + ShellQuote(m_work.File("none.tsq")) + " -o " + ShellQuote(reply));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Chyba při čtení souboru '" + m_work.File("none.tsq") + "'"),
              std::string::npos)
        << missing.err;
}

TEST_F(CliNetTest, PostLogsInWithTheSettingsAndAsksOnlyOnATerminal) {
    TestTsa tsa;
    const std::string file = m_work.Write("doc.txt", "stamp me\n");
    WriteUserIni("[zarn]\nproxy_type=1\nserver_url=" + tsa.Url() + "\n");
    ASSERT_EQ(Run("request " + ShellQuote(file)).exitCode, 0);
    const std::string post =
        "post " + ShellQuote(file + ".tsq") + " -o " + ShellQuote(m_work.File("out.tsr"));
    const std::string login =
        "[zarn]\nproxy_type=1\nserver_url=" + tsa.Url() + "\nauth_user=alice\nauth_passwd=s3cret\n";

    // Basic, and Digest offered beside Basic on plain http: answered with Digest only.
    TsaBehaviour basic;
    basic.basicAuth = std::make_pair("alice", "s3cret");
    TsaBehaviour digest;
    digest.digestAuth = std::make_pair("alice", "s3cret");
    digest.alsoOfferBasic = true;
    for (const TsaBehaviour& behaviour : {basic, digest}) {
        SCOPED_TRACE(behaviour.digestAuth ? "digest" : "basic");
        tsa.SetBehaviour(behaviour);
        tsa.ClearRequests();
        WriteUserIni(login);
        const CommandResult result = Run(post + " </dev/null");
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const auto requests = tsa.Requests();
        ASSERT_GE(requests.size(), 2U);
        const auto answer = requests.back().Header("Authorization");
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->rfind(behaviour.digestAuth ? "Digest " : "Basic ", 0), 0U) << *answer;
        for (const auto& request : requests) {
            if (behaviour.digestAuth && request.Header("Authorization")) {
                EXPECT_NE(request.Header("Authorization")->rfind("Basic", 0), 0U);
            }
        }
    }

    // Something missing and nobody at a terminal: said so, one request, no reply written.
    // --user always asks for the password, whatever the settings hold.
    tsa.SetBehaviour(basic);
    std::filesystem::remove(m_work.File("out.tsr"));
    for (const std::string& ini :
         {"[zarn]\nproxy_type=1\nserver_url=" + tsa.Url() + "\nauth_user=alice\n", login}) {
        WriteUserIni(ini);
        tsa.ClearRequests();
        const bool withUser = ini == login;
        const CommandResult result = Run(post + (withUser ? " --user alice" : "") + " </dev/null");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find("standardní vstup není terminál"), std::string::npos)
            << result.err;
        EXPECT_EQ(tsa.RequestCount(), 1U);
        EXPECT_FALSE(std::filesystem::exists(m_work.File("out.tsr")));
    }
}
