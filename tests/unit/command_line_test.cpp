#include "launcher/command_line.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    LauncherContext ctx;
    int logging = 0;
    std::string rest;
};

Parsed Parse(const std::string& text) {
    Parsed p;
    p.rest = ParseCommandLine(text, p.ctx, p.logging);
    return p;
}

TEST(ProgramCommandText, DropsTheProgramNameAndTheBlanksAfterIt) {
    EXPECT_EQ(CommandTextAfterProgramName("Tarnwick.exe -LOGGING x.mdb"), "-LOGGING x.mdb");
    EXPECT_EQ(CommandTextAfterProgramName("\"C:\\Program Files\\T\\Tarnwick.exe\" \t -MIN  a"), "-MIN  a");
    EXPECT_EQ(CommandTextAfterProgramName("\"C:\\My Apps\\Tarnwick.exe\"x.mdb"), "x.mdb");
    EXPECT_EQ(CommandTextAfterProgramName("Tarnwick.exe"), "");
    EXPECT_EQ(CommandTextAfterProgramName("\"unterminated name"), "");
    EXPECT_EQ(CommandTextAfterProgramName(""), "");
}

std::vector<std::string> ArgumentTexts(const std::string& line) {
    std::vector<std::string> texts;
    for (const auto& argument : SplitCommandArguments(line)) texts.push_back(argument.text);
    return texts;
}

TEST(CommandArguments, SplitAsTheCRuntimeSplitsArgv) {
    using Texts = std::vector<std::string>;
    EXPECT_EQ(ArgumentTexts("\"C:\\Apps\\Orders.mdb\" /wrkgrp \"C:\\Sec\\system.mdw\""),
              (Texts{"C:\\Apps\\Orders.mdb", "/wrkgrp", "C:\\Sec\\system.mdw"}));
    EXPECT_EQ(ArgumentTexts(" \t a\tb  c "), (Texts{"a", "b", "c"}));
    EXPECT_EQ(ArgumentTexts("\"My \"App.mdb x"), (Texts{"My App.mdb", "x"}));  // quotes may open mid-argument
    EXPECT_EQ(ArgumentTexts("\\\\server\\share\\a.mdb"), (Texts{"\\\\server\\share\\a.mdb"}));
    EXPECT_EQ(ArgumentTexts("a\\\\\"b c\""), (Texts{"a\\b c"}));        // 2n backslashes: n, and the quote opens
    EXPECT_EQ(ArgumentTexts("a\\\\\\\"b c"), (Texts{"a\\\"b", "c"}));     // 2n+1: n and a literal quote
    EXPECT_EQ(ArgumentTexts("\"a\"\"b\" c"), (Texts{"a\"b", "c"}));          // two quotes inside quotes: one quote
    EXPECT_EQ(ArgumentTexts("\"\" x"), (Texts{"", "x"}));
    EXPECT_EQ(ArgumentTexts("\"open to the end"), (Texts{"open to the end"}));
    EXPECT_TRUE(ArgumentTexts("  \t").empty());
}

TEST(CommandArguments, KnowWhereTheirRawFormLies) {
    const std::string line = "/excl  \"C:\\a b.mdb\"x  plain";
    const auto arguments = SplitCommandArguments(line);
    ASSERT_EQ(arguments.size(), 3u);
    EXPECT_EQ(line.substr(arguments[0].begin, arguments[0].end - arguments[0].begin), "/excl");
    EXPECT_EQ(line.substr(arguments[1].begin, arguments[1].end - arguments[1].begin), "\"C:\\a b.mdb\"x");
    EXPECT_EQ(arguments[1].text, "C:\\a b.mdbx");
    EXPECT_TRUE(arguments[1].quoted);
    EXPECT_FALSE(arguments[2].quoted);
    EXPECT_EQ(arguments[2].end, line.size());
}

TEST(ProgramCommandText, TypographicQuotesBecomePlainQuotes) {
    EXPECT_EQ(ReplaceTypographicQuotes("\x93" "C:\\a b.mdb\x94 /x"), "\"C:\\a b.mdb\" /x");
    EXPECT_EQ(ReplaceTypographicQuotes("\x92\x95"), "\x92\x95");
}

TEST(CommandLineParser, LoggingAndMinimisedBeforeAQuotedDatabase) {
    const Parsed p = Parse("-LOGGING -min \"C:\\Data\\orders.mdb\" /runtime");
    EXPECT_EQ(p.logging, 1);
    EXPECT_EQ(p.ctx.nAccessShowCmd, 2);
    EXPECT_EQ(p.rest, "\"C:\\Data\\orders.mdb\" /runtime");
}

TEST(CommandLineParser, DefaultsWhenThereAreNoOptions) {
    const Parsed p = Parse("x.mdb -LOGGING");
    EXPECT_EQ(p.rest, "x.mdb -LOGGING");
    EXPECT_EQ(p.logging, 0);
    EXPECT_EQ(p.ctx.nAccessShowCmd, 3);
    EXPECT_EQ(p.ctx.nWaitMs, 15000);
    EXPECT_EQ(p.ctx.strCmdValueName, "CmdLine");
}

TEST(CommandLineParser, LastShowOptionWins) {
    EXPECT_EQ(Parse("-MIN -NORMAL a").ctx.nAccessShowCmd, 1);
    EXPECT_EQ(Parse("-NORMAL -MIN a").ctx.nAccessShowCmd, 2);
}

TEST(CommandLineParser, EveryFlagSetsItsField) {
    const Parsed p = Parse("-openkeys -Capture -RESTORE -NoProgress -SUBFOLDERS -WINDOWSPROFILE -WAITFORACCESSTOCLOSE");
    EXPECT_EQ(p.ctx.bOpenKeys, 1);
    EXPECT_EQ(p.ctx.bCapture, 1);
    EXPECT_EQ(p.ctx.bRestore, 1);
    EXPECT_EQ(p.ctx.bNoProgress, 1);
    EXPECT_EQ(p.ctx.bSubfolders, 1);
    EXPECT_EQ(p.ctx.bWindowsProfile, 1);
    EXPECT_EQ(p.ctx.bWaitForAccessToClose, 1);
    EXPECT_EQ(p.rest, "");
}

TEST(CommandLineParser, UnknownOptionsAreDropped) {
    const Parsed p = Parse("-FOO -LOGGING x.mdb");
    EXPECT_EQ(p.logging, 1);
    EXPECT_EQ(p.rest, "x.mdb");
    EXPECT_EQ(Parse("-LOGGINGX x.mdb").logging, 0);  // whole words only
}

TEST(CommandLineParser, OnlyBlanksAreTrimmed) {
    EXPECT_EQ(Parse("   -LOGGING   x.mdb").rest, "x.mdb");
    const Parsed tab = Parse("\t-LOGGING x.mdb");
    EXPECT_EQ(tab.logging, 0);
    EXPECT_EQ(tab.rest, "\t-LOGGING x.mdb");
}

}  // namespace

namespace {

TEST(CommandLineParser, NumberValues) {
    EXPECT_EQ(Parse("-wait=30000 a").ctx.nWaitMs, 30000);
    EXPECT_EQ(Parse("-WAIT=abc a").ctx.nWaitMs, 0);  // atol of no digits: wait without limit
    EXPECT_EQ(Parse("-LANG=1033 a").ctx.nLangCode, 1033);
    EXPECT_EQ(Parse("-LANG=-5 a").ctx.nLangCode, -5);
    EXPECT_EQ(Parse("-LANG=12x34 a").ctx.nLangCode, 12);
    EXPECT_EQ(Parse("-WAIT=99999999999 a").ctx.nWaitMs, 2147483647);  // saturates instead of wrapping
    EXPECT_EQ(Parse("-WAIT=-99999999999 a").ctx.nWaitMs, -2147483647 - 1);
}

TEST(CommandLineParser, NumberValueEdges) {
    const Parsed blank = Parse("-WAIT= x.mdb");  // the "=" and the blank are used, the value is kept
    EXPECT_EQ(blank.ctx.nWaitMs, 15000);
    EXPECT_EQ(blank.rest, "x.mdb");
    const Parsed atEnd = Parse("-WAIT=");
    EXPECT_EQ(atEnd.ctx.nWaitMs, 15000);
    EXPECT_EQ(atEnd.rest, "=");
    const Parsed last = Parse("-LOGGING -WAIT=500");  // a value at the very end of the line
    EXPECT_EQ(last.ctx.nWaitMs, 500);
    EXPECT_EQ(last.rest, "");
    const Parsed noEquals = Parse("-WAIT 500 x.mdb");  // no "=": the number belongs to Access
    EXPECT_EQ(noEquals.ctx.nWaitMs, 15000);
    EXPECT_EQ(noEquals.rest, "500 x.mdb");
    EXPECT_EQ(Parse("-WAIT=1 -WAIT=2 a").ctx.nWaitMs, 2);
}

TEST(CommandLineParser, QuotedValues) {
    const Parsed p = Parse("-CMD=\"Software\\My Orders\" -VALUE=\"Cmd Line\" -SECFILE=\"C:\\Sec Files\\a.mdw\" "
                           "-TRUSTEDFOLDER=\"C:\\T\" \"C:\\x.mdb\"");
    EXPECT_EQ(p.ctx.strCmdKey, "Software\\My Orders");
    EXPECT_EQ(p.ctx.strCmdValueName, "Cmd Line");
    EXPECT_EQ(p.ctx.strSecFile, "C:\\Sec Files\\a.mdw");
    EXPECT_EQ(p.ctx.strTrustedFolder, "C:\\T");
    EXPECT_EQ(p.rest, "\"C:\\x.mdb\"");

    const Parsed empty = Parse("-CMD=\"Software\\Orders\" -VALUE=\"\" x.mdb");
    EXPECT_EQ(empty.ctx.strCmdValueName, "");
    EXPECT_EQ(empty.rest, "x.mdb");

    const Parsed unterminated = Parse("-CMD=\"Software\\Orders x.mdb");
    EXPECT_EQ(unterminated.ctx.strCmdKey, "Software\\Orders x.mdb");
    EXPECT_EQ(unterminated.rest, "");
}

TEST(CommandLineParser, MalformedValuesBelongToAccess) {
    const Parsed unquoted = Parse("-CMD=Software\\Orders x.mdb");
    EXPECT_EQ(unquoted.ctx.strCmdKey, "");
    EXPECT_EQ(unquoted.rest, "=Software\\Orders x.mdb");

    const Parsed value = Parse("-VALUE x.mdb");  // the default name is gone even so
    EXPECT_EQ(value.ctx.strCmdValueName, "");
    EXPECT_EQ(value.rest, "x.mdb");

    const Parsed flag = Parse("-LOGGING=1 -MIN x.mdb");  // a flag with "=" ends the options
    EXPECT_EQ(flag.logging, 1);
    EXPECT_EQ(flag.ctx.nAccessShowCmd, 3);
    EXPECT_EQ(flag.rest, "=1 -MIN x.mdb");

    EXPECT_EQ(Parse("-CMD=\"").rest, "=\"");
    EXPECT_EQ(Parse("- x.mdb").rest, "x.mdb");
}

TEST(CommandLineParser, CaseIsIgnoredOnlyForAsciiLetters) {
    EXPECT_EQ(Parse("-LoGgInG a").logging, 1);
    // Bytes above 0x7F are compared as they are: no option matches, and they
    // reach Access untouched.
    const Parsed high = Parse("-L\xD6GGING \xE9t\xE9.mdb");
    EXPECT_EQ(high.logging, 0);
    EXPECT_EQ(high.rest, "\xE9t\xE9.mdb");
    EXPECT_EQ(Parse("-CMD=\"Soft\xE9\" a").ctx.strCmdKey, "Soft\xE9");
}

}  // namespace
