#include "document/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Tokens = std::vector<std::string>;

// What a handed-over line asks for: the tokens after the program path, parsed.
CCommandLineInfo ParseHandedOver(const std::string& line) {
    Tokens tokens = SplitHandOverCommandLine(line);
    if (!tokens.empty())
        tokens.erase(tokens.begin());
    CCommandLineInfo info;
    ParseCommandLine(tokens, info);
    return info;
}

TEST(CommandLineSplit, BlanksSeparateQuotesGroupAndNothingElseCounts) {
    EXPECT_EQ(SplitHandOverCommandLine(""), Tokens{});
    EXPECT_EQ(SplitHandOverCommandLine("   "), Tokens{});
    EXPECT_EQ(SplitHandOverCommandLine("  prog   a  b "), (Tokens{"prog", "a", "b"}));
    // A tab is part of a token.
    EXPECT_EQ(SplitHandOverCommandLine("prog a\tb"), (Tokens{"prog", "a\tb"}));
    // Quoted: one token with its blanks; the closing quote needs no blank after it.
    EXPECT_EQ(SplitHandOverCommandLine("prog \"/home/jan/moje smlouva.txt.tsr\""),
              (Tokens{"prog", "/home/jan/moje smlouva.txt.tsr"}));
    EXPECT_EQ(SplitHandOverCommandLine("\"a b\"c d"), (Tokens{"a b", "c", "d"}));
    // A quote inside an unquoted token is an ordinary character.
    EXPECT_EQ(SplitHandOverCommandLine("ab\"c d\""), (Tokens{"ab\"c", "d\""}));
    // Empty quotes give no token; an unclosed quote runs to the end.
    EXPECT_EQ(SplitHandOverCommandLine("a \"\" b"), (Tokens{"a", "b"}));
    EXPECT_EQ(SplitHandOverCommandLine("a \"b c"), (Tokens{"a", "b c"}));
}

TEST(CommandLineParse, FirstPlainParameterOpensAndFlagsKeepTheirMeaning) {
    EXPECT_EQ(ParseHandedOver("prog").m_nShellCommand, CCommandLineInfo::FileNew);

    CCommandLineInfo quoted = ParseHandedOver("prog \"/tmp/a b/x.tsr\"");
    EXPECT_EQ(quoted.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_EQ(quoted.m_strFileName, "/tmp/a b/x.tsr");

    // The same path without quotes: several parameters, the first one is the file.
    CCommandLineInfo unquoted = ParseHandedOver("prog /tmp/a b/x.tsr");
    EXPECT_EQ(unquoted.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_EQ(unquoted.m_strFileName, "/tmp/a");
    EXPECT_EQ(unquoted.FileNames(), (std::vector<std::string>{"/tmp/a", "b/x.tsr"}));

    // "/p" and "-p" print, which opens nothing; the file name is still taken.
    for (const char* line : {"prog /p /tmp/x.tsr", "prog -p x.tsr", "prog x.tsr /p"}) {
        CCommandLineInfo print = ParseHandedOver(line);
        EXPECT_EQ(print.m_nShellCommand, CCommandLineInfo::FilePrint) << line;
        EXPECT_FALSE(print.m_strFileName.empty()) << line;
    }
    CCommandLineInfo printTo = ParseHandedOver("prog /pt x.tsr printer driver port");
    EXPECT_EQ(printTo.m_nShellCommand, CCommandLineInfo::FilePrintTo);
    EXPECT_EQ(printTo.m_strPrinterName, "printer");
    EXPECT_EQ(printTo.m_strPortName, "port");
    EXPECT_TRUE(printTo.m_moreFileNames.empty()); // printing takes no more files
    EXPECT_EQ(ParseHandedOver("prog /dde").m_nShellCommand, CCommandLineInfo::FileDDE);
    EXPECT_EQ(ParseHandedOver("prog -UNREGSERVER").m_nShellCommand,
              CCommandLineInfo::AppUnregister);
    EXPECT_TRUE(ParseHandedOver("prog /Embedding").m_bRunEmbedded);

    // An unknown flag means nothing: the file is opened.
    CCommandLineInfo unknown = ParseHandedOver("prog --verbose x.txt");
    EXPECT_EQ(unknown.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_EQ(unknown.m_strFileName, "x.txt");
}

TEST(CommandLineParse, AbsolutePathsAreNotFlags) {
    std::string param;
    EXPECT_FALSE(SplitFlag("/home/jan/x.tsr", param));
    EXPECT_EQ(param, "/home/jan/x.tsr");
    EXPECT_FALSE(SplitFlag("/x.tsr", param));
    EXPECT_FALSE(SplitFlag("/", param));
    EXPECT_TRUE(SplitFlag("/p", param));
    EXPECT_EQ(param, "p");
    EXPECT_TRUE(SplitFlag("-/home/x", param));
    EXPECT_EQ(param, "/home/x");
}

TEST(CommandLineJoin, JoinedLineSplitsBackIntoTheSameTokens) {
    const Tokens args{"/usr/bin/mivoklient", "/home/jan/moje smlouva.pdf.tsr", "a\tb", "x\"y",
                      "-p"};
    const std::optional<std::string> line = JoinCommandLine(args);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "/usr/bin/mivoklient \"/home/jan/moje smlouva.pdf.tsr\" a\tb x\"y -p");
    EXPECT_EQ(SplitHandOverCommandLine(*line), args);

    // No way to write these so that they come back whole.
    EXPECT_FALSE(JoinCommandLine({"prog", "\"quoted"}).has_value());
    EXPECT_FALSE(JoinCommandLine({"prog", "a \"b\""}).has_value());
}

TEST(CommandLineJoin, RelativePathsBecomeAbsoluteForTheRunningInstance) {
    Tokens args{"mivoklient", "smlouva.txt.tsr", "-p", "/abs/./x", "../y", "./a//b/../c.txt"};
    MakeParametersAbsolute(args, "/home/jan");
    // Normalised by the text alone: "..", "." and doubled slashes go.
    EXPECT_EQ(args, (Tokens{"mivoklient", "/home/jan/smlouva.txt.tsr", "-p", "/abs/x", "/home/y",
                            "/home/jan/a/c.txt"}));
    // Without a known folder a relative name stays relative (normalised all the same).
    args = {"mivoklient", "a/./b.txt", "/x/../y.txt"};
    MakeParametersAbsolute(args, "");
    EXPECT_EQ(args, (Tokens{"mivoklient", "a/b.txt", "/y.txt"}));
}

} // namespace
