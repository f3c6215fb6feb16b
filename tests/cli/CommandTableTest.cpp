// The command line against its own table: the help lists every command with the options the
// table gives it, and every command treats a name starting with "-" by the same rule.
#include "cli/CliCommands.h"

#include "support/Messages.h"
#include "testlib/OpensslTs.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using mivo::test::CommandResult;
using mivo::test::RunCommand;
using mivo::test::ShellQuote;

namespace {

class CliTableTest : public ::testing::Test {
protected:
    // Runs the program in a folder of its own with a configuration of its own.
    CommandResult Run(const std::string& arguments) const {
        return RunCommand("cd " + ShellQuote(m_work.Path()) +
                          " && MIVOKLIENT_CONFIG_DIR=" + ShellQuote(m_config.Path()) +
                          " MIVOKLIENT_SYSCONF_DIR=" + ShellQuote(m_config.Path() + "/etc") + " " +
                          ShellQuote(std::string(MIVO_BINARY_DIR) + "/cli/mivoklient-cli") + " " +
                          arguments);
    }
    // The options a command cannot do without, each with a value.
    static std::string RequiredOptions(const CliCommand& command) {
        std::string text;
        for (const CliOption& option : command.options)
            if (option.required)
                text += std::string(option.name) + " out.bin ";
        return text;
    }

    TempDir m_config;
    TempDir m_work;
};

// The option-like words ("-x", "--xy") of a help line.
std::vector<std::string> OptionWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        if (word.front() == '[')
            word.erase(0, 1);
        if (!word.empty() && word.back() == ']')
            word.pop_back();
        if (word.size() > 1 && word[0] == '-')
            words.push_back(word);
    }
    return words;
}

} // namespace

TEST_F(CliTableTest, HelpShowsEachCommandWithTheOptionsOfTheTableAndEveryExitCode) {
    const CommandResult help = Run("--help");
    ASSERT_EQ(help.exitCode, 0) << help.err;
    EXPECT_EQ(help.err, "");
    std::vector<std::string> usageLines;
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("  mivoklient-cli ", 0) == 0)
            usageLines.push_back(line.substr(17));

    const auto commands = CliCommands();
    ASSERT_EQ(usageLines.size(), commands.size()) << help.out;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const CliCommand& command = commands[i];
        SCOPED_TRACE(std::string(command.name));
        const std::string& line = usageLines[i];
        EXPECT_EQ(line.rfind(std::string(command.name), 0), 0u) << line;
        std::vector<std::string> expected;
        if (command.name.front() == '-')
            expected.emplace_back(command.name);
        for (const CliOption& option : command.options)
            expected.emplace_back(option.name);
        EXPECT_EQ(OptionWords(line), expected) << line;
        for (const CliOption& option : command.options) {
            if (option.required) {
                EXPECT_EQ(line.find("[" + std::string(option.name)), std::string::npos) << line;
            }
        }
    }
    for (const char* code : {"\n  0  ", "\n  1  ", "\n  2  "})
        EXPECT_NE(help.out.find(code), std::string::npos) << code;
    // The aliases give the same text.
    EXPECT_EQ(Run("-h").out, help.out);
}

TEST_F(CliTableTest, EveryCommandRefusesAnUnknownOptionButTakesItAsANameAfterDoubleDash) {
    for (const CliCommand& command : CliCommands()) {
        const std::string name(command.name);
        SCOPED_TRACE(name);
        const std::string required = RequiredOptions(command);
        CommandResult r = Run(name + " " + required + "-x.tsr");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("neznámá volba '-x.tsr'"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");

        // After "--" it is a plain argument: the command takes it as a file name (which does
        // not exist, or is no list number), or has too many arguments.
        r = Run(name + " " + required + (name == "remove" ? "--yes " : "") + "-- -x.tsr");
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(r.err.find("neznámá volba"), std::string::npos) << r.err;
        if (command.maxPlain > 0) {
            EXPECT_NE(r.err.find("-x.tsr"), std::string::npos) << r.err;
        }
        // "-" alone is a name as well, never an option.
        r = Run(name + " " + required + "-");
        EXPECT_EQ(r.err.find("neznámá volba"), std::string::npos) << r.err;
    }
}

TEST_F(CliTableTest, OptionValuesAndArgumentCounts) {
    // A value is taken whatever it looks like; a missing or empty one is a usage error.
    CommandResult r = Run("request --policy -- nothing.txt");
    EXPECT_EQ(r.exitCode, 1); // the file is missing; "--" was the policy
    EXPECT_NE(r.err.find("nothing.txt"), std::string::npos) << r.err;
    r = Run("request a.txt --ini");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--ini potřebuje cestu k souboru INI"), std::string::npos) << r.err;
    EXPECT_EQ(Run("request a.txt -o ''").exitCode, 2);
    EXPECT_EQ(Run("digest --hash 5 a.txt").exitCode, 2);
    r = Run("post request.tsq");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("chybí -o"), std::string::npos) << r.err;
    r = Run("digest a b");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("nečekaný argument 'b'"), std::string::npos) << r.err;
    EXPECT_EQ(Run("").exitCode, 2);
    EXPECT_EQ(Run("stamps a").exitCode, 2);
}

TEST_F(CliTableTest, DecodePrintsNothingOfAFileItCannotRead) {
    const std::string empty = m_work.Write("empty.tsr", "");
    CommandResult r = Run("decode " + ShellQuote(empty));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");

    // A refused reply: its status can be read, yet the command fails, so nothing is printed.
    r = Run("decode " + ShellQuote(std::string(MIVO_TEST_DATA_DIR) +
                                   "/real-tokens/rejection-baddataformat-reply.tsr"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Status 2"), std::string::npos) << r.err;
}
