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
