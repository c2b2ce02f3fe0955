// The stored command line and the profile rewrite, as a launch logs them.
#include "tests/support/harness.h"

#include "registry/registry_access.h"

namespace {

class CommandLine : public Scenario {
protected:
    void SetUp() override {
        Scenario::SetUp();
        InstallFullAccess(2002, {{"lifetimeMs", "300"}});
    }
};

TEST_F(CommandLine, StoredCommandLineComesFromTheNamedUserKey) {
    WriteRegString(HKEY_CURRENT_USER, "Software\\Orders", "CmdLine", "\"C:\\Apps\\Orders.mdb\" /runtime", true);
    WriteRegString(HKEY_LOCAL_MACHINE, "Software\\Orders", "CmdLine", "machine line", true);
    EXPECT_EQ(RunTarnwick("-LOGGING -CMD=\"HKCU\\Software\\Orders\" /excl"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Command line: -LOGGING -CMD=\"HKCU\\Software\\Orders\" /excl",
                                                 "Have cmdline from registry: \"C:\\Apps\\Orders.mdb\" /runtime",
                                                 "ParsedCmdLine: /excl"}));
    const std::string received = ReadRecord(std::string(kScenarioRoot) + "\\Office2002\\MSACCESS.EXE")["commandline"];
    EXPECT_EQ(received.substr(received.find(' ') + 1), "\"C:\\Apps\\Orders.mdb\" /runtime /excl");
}

TEST_F(CommandLine, NamedValueAndMissingValue) {
    WriteRegString(HKEY_LOCAL_MACHINE, "Software\\Orders", "Start", "orders.mdb", true);
    EXPECT_EQ(RunTarnwick("-LOGGING -CMD=\"Software\\Orders\" -VALUE=\"Start\""), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Have cmdline from registry: orders.mdb", "ParsedCmdLine: "}));

    DeleteFileA(LogPath().c_str());
    EXPECT_EQ(RunTarnwick("-LOGGING -CMD=\"Software\\Orders\" x.mdb"), 0);  // no "CmdLine" value there
    for (const auto& line : LogLines()) EXPECT_EQ(line.find("Have cmdline"), std::string::npos) << line;
}

TEST_F(CommandLine, WindowsProfileRewritesToTheLocalApplicationDataFolder) {
    EXPECT_EQ(RunTarnwick("-LOGGING -WINDOWSPROFILE \"C:\\Apps\\Orders.MDB\" /runtime"), 0);
    const std::string rewritten = "\"" + LocalAppDataDir() + "\\orders.mdb\"";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Command line: -LOGGING -WINDOWSPROFILE \"C:\\Apps\\Orders.MDB\" /runtime",
                                                 "******* bWindowsProfile = TRUE", rewritten,
                                                 "strAccessCmdLine changed to: " + rewritten}));
}

TEST_F(CommandLine, WindowsProfileTakesTheFirstArgumentForTheDatabase) {
    const std::string rewritten = "\"" + LocalAppDataDir() + "\\orders.mdb\"";
    const std::string access = std::string(kScenarioRoot) + "\\Office2002\\MSACCESS.EXE";
    for (const std::string line : {"\"C:\\Apps\\Orders.mdb\" /wrkgrp \"C:\\Sec\\system.mdw\"", "\"Orders.mdb\" /runtime"}) {
        DeleteFileA(LogPath().c_str());
        ForgetRecord(access);
        EXPECT_EQ(RunTarnwick("-LOGGING -WINDOWSPROFILE " + line), 0);
        EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"******* bWindowsProfile = TRUE", rewritten,
                                                     "strAccessCmdLine changed to: " + rewritten}))
            << line;
        const std::string received = ReadRecord(access)["commandline"];
        EXPECT_EQ(received.substr(received.find(' ') + 1), rewritten) << line;
    }
}

TEST_F(CommandLine, WindowsProfileWithoutADatabaseLeavesTheCommandLine) {
    EXPECT_EQ(RunTarnwick("-LOGGING -WINDOWSPROFILE /runtime"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"******* bWindowsProfile = TRUE", ".mdb default: "}));
    EXPECT_TRUE(HasConsecutiveLines(
        LogLines(), {"Launching Access: C:\\TARNWICKSCENARIO\\OFFICE2002\\msaccess.exe\r\n\twith cmdline: /runtime"}));
}

}  // namespace
