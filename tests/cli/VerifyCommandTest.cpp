// mivoklient-cli verify: the program run as a user would run it.
#include "testlib/OpensslTs.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using mivo::test::CommandResult;
using mivo::test::RunCommand;
using mivo::test::ShellQuote;

namespace {

const std::string kReal = std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/";

CommandResult Verify(const TempDir& config, const std::string& stamp, const std::string& source) {
    return RunCommand("MIVOKLIENT_CONFIG_DIR=" + ShellQuote(config.Path()) + " " +
                      ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli") +
                      " verify " + ShellQuote(stamp) + " " + ShellQuote(source));
}

} // namespace

TEST(CliVerify, GoodStampAndItsSource) {
    TempDir config;
    const CommandResult result =
        Verify(config, kReal + "digicert-rsa-sha256-reply-2018.tsr", kReal + "data/hello-nl.txt");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The check's outcome, then the trust and the qualified verdict on a line each.
    EXPECT_EQ(result.out.rfind("Kvalifikované časové razítko je v pořádku\n", 0), 0u);
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 3) << result.out;
    EXPECT_EQ(result.err, "");
}

TEST(CliVerify, FailuresGiveTheReasonAfterABlankLine) {
    TempDir config;
    const std::string other = config.Write("other.txt", "hello world\n");
    CommandResult result = Verify(config, kReal + "digicert-rsa-sha256-reply-2018.tsr", other);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "Ověření miniatury skončilo chybou\n\nOvěření miniatury skončilo chybou\n");

    const std::string missing = config.File("missing.tsr");
    result = Verify(config, missing, other);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "Ověření miniatury skončilo chybou\n\nChyba při čtení souboru '" + missing + "'\n");

    result = Verify(config, kReal + "negative/sigstage-ecdsa-sha256-reply-BADSIG.tsr",
                    kReal + "data/hello.txt");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Ověření miniatury skončilo chybou\n\nChyba vrácená TTI knihovnou\n\n"
                          "TTI_VerifyTST_Signature failed: Chyba při ověření podpisu časového "
                          "razítka.\n");
}

TEST(CliVerify, WrongArguments) {
    const CommandResult result = RunCommand(
        ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli") + " verify only-one");
    EXPECT_EQ(result.exitCode, 2);
}
