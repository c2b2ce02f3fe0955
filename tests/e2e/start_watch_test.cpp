// Starting Access with the built command line and show state, and watching it.
#include "tests/support/harness.h"

namespace {

using StartAndWatch = Scenario;

const std::string kExe2002 = "C:\\TARNWICKSCENARIO\\OFFICE2002\\msaccess.exe";

TEST_F(StartAndWatch, ShowStatesReachAccess) {
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    const std::pair<const char*, int> cases[] = {
        {"-MIN x.mdb", SW_SHOWMINIMIZED}, {"-NORMAL x.mdb", SW_SHOWNORMAL}, {"x.mdb", SW_SHOWMAXIMIZED}};
    for (const auto& [arguments, show] : cases) {
        ForgetRecord(exe);
        EXPECT_EQ(RunTarnwick(arguments), 0);
        EXPECT_EQ(ReadRecord(exe)["show"], std::to_string(show)) << arguments;
    }
}

TEST_F(StartAndWatch, ShellStartHandsOverTheCommandLine) {
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    EXPECT_EQ(RunTarnwick("-LOGGING \"C:\\Data\\orders.mdb\" /runtime"), 0);
    const auto record = ReadRecord(exe);
    EXPECT_EQ(record.at("commandline").substr(record.at("commandline").find(' ') + 1), "\"C:\\Data\\orders.mdb\" /runtime");
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Launching Access: " + kExe2002 + "\r\n\twith cmdline: \"C:\\Data\\orders.mdb\" /runtime",
                                                 "Access launched with ProcessID: " + record.at("pid"),
                                                 "Found main Access window - shutting down"}));
}

TEST_F(StartAndWatch, WindowsXpStartsDirectlyWithTheQuotedPath) {
    SetWindowsVersionFor("Tarnwick.exe", "winxp");
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    EXPECT_EQ(RunTarnwick("-NORMAL \"C:\\Data\\orders.mdb\" /runtime"), 0);
    auto record = ReadRecord(exe);
    EXPECT_EQ(record["commandline"], "\"" + kExe2002 + "\" \"C:\\Data\\orders.mdb\" /runtime");
    EXPECT_EQ(record["show"], std::to_string(SW_SHOWNORMAL));

    ForgetRecord(exe);
    EXPECT_EQ(RunTarnwick("-NORMAL"), 0);  // no arguments: the quoted path and one blank
    EXPECT_EQ(ReadRecord(exe)["commandline"], "\"" + kExe2002 + "\" ");
}

TEST_F(StartAndWatch, LateMainWindowIsStillFound) {
    InstallFullAccess(2002, {{"window", "late"}, {"delayMs", "2500"}, {"lifetimeMs", "4000"}});
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Found main Access window - shutting down", "Restoring registry keys"}));
}

TEST_F(StartAndWatch, OwnedPopupIsNotTheMainWindow) {
    InstallFullAccess(2002, {{"window", "owned"}, {"lifetimeMs", "2500"}});
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Timed Out - main Access window not found!", "Restoring registry keys"}));
}

TEST_F(StartAndWatch, ExitWaitIsBoundedUnlessZero) {
    const std::string exe = InstallFullAccess(2002, {{"lifetimeMs", "4000"}}) + "\\MSACCESS.EXE";
    EXPECT_EQ(RunTarnwick("-WAIT=300 x.mdb"), 0);
    const std::string bounded = ReadRecord(exe)["pid"];
    EXPECT_FALSE(ProcessEnded(bounded)) << "the launcher should have ended while Access ran";

    KillStandIns();
    ForgetRecord(exe);
    EXPECT_EQ(RunTarnwick("-WAIT=0 x.mdb"), 0);
    EXPECT_TRUE(ProcessEnded(ReadRecord(exe)["pid"])) << "-WAIT=0 waits until Access ends";
}

TEST_F(StartAndWatch, WaitForAccessToCloseRestoresFirstAndEndsAfterAccess) {
    const std::string exe = InstallFullAccess(2002, {{"lifetimeMs", "4000"}}) + "\\MSACCESS.EXE";
    EXPECT_EQ(RunTarnwick("-LOGGING -WAIT=300 -WAITFORACCESSTOCLOSE x.mdb"), 0);
    EXPECT_TRUE(ProcessEnded(ReadRecord(exe)["pid"]));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Found main Access window - shutting down", "Restoring registry keys",
                                                 "Exiting application"}));
}

TEST_F(StartAndWatch, SecFileStartsLaunch32BesideIt) {
    InstallFullAccess(2002);
    const std::string folder = std::string(kScenarioRoot) + "\\Secured";
    PlaceFakeProgram(folder + "\\launch32.exe", {}, {}, "fake_launch32.exe");
    WriteFileBytes(folder + "\\orders.mdw", "");
    EXPECT_EQ(RunTarnwick("-LOGGING -SECFILE=\"" + folder + "\\orders.mdw\" x.mdb"), 0);
    EXPECT_EQ(ReadRecord(folder + "\\launch32.exe")["commandline"],
              "\"" + folder + "\\launch32.exe\" " + folder + "\\orders.mdw");
    EXPECT_TRUE(HasConsecutiveLines(
        LogLines(), {"Launching with Launch32.exe", folder + "\\launch32.exe",
                     "Launching Access: " + folder + "\\launch32.exe\r\n\twith cmdline: " + folder + "\\orders.mdw"}));
    // launch32.exe shows no main window of its own and ends: the poll stops.
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Timed Out - main Access window not found!", "Restoring registry keys"}));
}

TEST_F(StartAndWatch, SecFileWithoutLaunch32StartsAccess) {
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    EXPECT_EQ(RunTarnwick("-LOGGING -SECFILE=\"C:\\Nowhere\\orders.mdw\" x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Launching with Launch32.exe",
                                                 "Launching Access: " + kExe2002 + "\r\n\twith cmdline: x.mdb"}));
    EXPECT_FALSE(ReadRecord(exe).empty());
}

}  // namespace
