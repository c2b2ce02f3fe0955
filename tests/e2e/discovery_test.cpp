// Which Access is chosen, and what the user sees when there is none.
#include "tests/support/harness.h"

#include "tests/support/registry_snapshot.h"

namespace {

using Discovery = Scenario;

const std::string kNotFound =
    "Unable to find the Access 2002 runtime.\nThe most likely cause is that the 2002 Runtime installer failed to "
    "install properly.";

void ExpectWarnedAndUntouched(const std::string& arguments) {
    const std::string before = DumpRegistry();
    const ResponderResult run = RunTarnwickAnswering(arguments, "OK");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Tarnwick Warning");
    EXPECT_EQ(run.boxes[0].text, kNotFound);
    EXPECT_EQ(run.boxes[0].icon, "exclamation");
    EXPECT_EQ(run.boxes[0].buttons, "OK");
    EXPECT_EQ(run.boxes[0].owner, "");
    EXPECT_TRUE(SameRegistryAs(before));
    for (const auto& line : LogLines()) EXPECT_NE(line, "Restoring registry keys");
}

TEST_F(Discovery, NothingInstalledWarnsAndChangesNothing) {
    ExpectWarnedAndUntouched("-LOGGING x.mdb");
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {".mdb default: ", "Start of GetFullAccessLocations",
                                                 "Beginning of GetAccessRuntimeLocation for Access 2002",
                                                 "End of GetAccessRuntimeLocation for Access 2002",
                                                 "\t\tRuntime location not found!",
                                                 "Don't have runtime, so trying full version",
                                                 "===================================================", "", ""}));
}

TEST_F(Discovery, RecordedRuntimeWithoutItsFileAndNoFullEditionWarns) {
    RegisterRuntime(RuntimeComponentKey(), kRuntimeValueName, "C?\\Gone\\MSACCESS.EXE");
    ExpectWarnedAndUntouched("-LOGGING x.mdb");
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"\t\tRuntime location: C:\\Gone\\MSACCESS.EXE",
                                                 "C:\\Gone\\MSACCESS.EXE does not exist.  Will try full version instead!",
                                                 "Don't have runtime, so trying full version"}));
}

TEST_F(Discovery, OnlyFull2010) {
    const std::string folder = InstallFullAccess(2010);
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    const std::string upper = "C:\\TARNWICKSCENARIO\\OFFICE2010";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Start of GetFullAccessLocations", "Access 2010 Full found: " + upper}));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Don't have runtime, so trying full version",
                                                 "Will use full version of 2010: " + upper + "\\msaccess.exe"}));
    EXPECT_EQ(lstrcmpiA(ReadRecord(folder + "\\MSACCESS.EXE")["exe"].c_str(), (upper + "\\msaccess.exe").c_str()), 0);
}

TEST_F(Discovery, TheOrderIsFixedNotNewestFirst) {
    const std::string folder2003 = InstallFullAccess(2003);
    InstallFullAccess(2007);
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Start of GetFullAccessLocations",
                                                 "Access 2003 Full found: C:\\TARNWICKSCENARIO\\OFFICE2003",
                                                 "Access 2007 Full found: C:\\TARNWICKSCENARIO\\OFFICE2007"}));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(),
                                    {"Will use full version of 2003: C:\\TARNWICKSCENARIO\\OFFICE2003\\msaccess.exe"}));
    EXPECT_FALSE(ReadRecord(folder2003 + "\\MSACCESS.EXE").empty());
}

// A 64-bit Microsoft 365 beside them, whose configuration lies in the
// 64-bit view: named in the log after the choice.
TEST_F(Discovery, PresentRuntimeWinsOverFull2002AndA64BitOfficeIsNamed) {
    InstallFullAccess(2002);
    const std::string runtime = InstallRuntime2002();
    for (auto [name, value] : {std::pair{"Platform", "x64"}, std::pair{"VersionToReport", "16.0.17531.20140"}}) {
        SetRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration", name, REG_SZ,
                    std::string(value) + '\0', KEY_WOW64_64KEY);
    }
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(
        LogLines(), {"Access 2002 Full found: C:\\TARNWICKSCENARIO\\OFFICE2002",
                     "Beginning of GetAccessRuntimeLocation for Access 2002",
                     "End of GetAccessRuntimeLocation for Access 2002", "\t\tRuntime location: " + runtime,
                     "The Access 2002 runtime was found!",
                     "Setting strAccess2002Path to runtime path: C:\\TARNWICKSCENARIO\\RUNTIME10",
                     "Other Office found: Click-to-Run 16.0.17531.20140 (x64)"}));
    EXPECT_EQ(ReadRecord(runtime)["exe"], runtime);
}

TEST_F(Discovery, RuntimeUnderAPerUserComponentKeyAndByItsFirstValue) {
    const std::string runtime = InstallRuntime2002();
    ASSERT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, RuntimeComponentKey().c_str(), kInstallerView, 0), ERROR_SUCCESS);
    const std::string userData = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";
    // The first user's component key has no packed-code value and a first
    // value that is not a string: passed over. The second one's first value is the path.
    SetRawDword(HKEY_LOCAL_MACHINE, userData + "S-1-5-18\\Components\\769E92CC2CB71D119A12000A9CE1A23A", "Other", 1,
                kInstallerView);
    RegisterRuntime(userData + "S-1-5-21-1\\Components\\769E92CC2CB71D119A12000A9CE1A23A", "SomeOtherProduct",
                    "C?" + runtime.substr(2));
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"\t\tRuntime location: " + runtime, "The Access 2002 runtime was found!"}));
    EXPECT_EQ(ReadRecord(runtime)["exe"], runtime);
}

TEST_F(Discovery, ShellCommandsWithAndWithoutQuotes) {
    const std::string folder2002 = std::string(kScenarioRoot) + "\\Office2002";
    // Unquoted, in lower case: the folder is still found.
    InstallFullAccess(2002, {}, folder2002 + "\\msaccess.exe /NOSTARTUP %1");
    // A command that does not name MSACCESS.EXE: the whole command is taken as
    // the folder, which holds no msaccess.exe, and the edition is passed over.
    InstallFullAccess(2003, {}, "C:\\Tools\\opener.exe %1");
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Access 2002 Full found: C:\\TARNWICKSCENARIO\\OFFICE2002",
                                                 "Access 2003 Full found: C:\\TOOLS\\OPENER.EXE %1"}));
    EXPECT_TRUE(
        HasConsecutiveLines(LogLines(), {"Will use full version of 2002: C:\\TARNWICKSCENARIO\\OFFICE2002\\msaccess.exe"}));
}

TEST_F(Discovery, FullEditionWithoutItsExecutableIsPassedOver) {
    const std::string folder2003 = InstallFullAccess(2003);
    InstallFullAccess(2002);
    DeleteFileA((std::string(kScenarioRoot) + "\\Office2002\\MSACCESS.EXE").c_str());
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Don't have runtime, so trying full version",
                                                 "Will use full version of 2003: C:\\TARNWICKSCENARIO\\OFFICE2003\\msaccess.exe"}));
}

// A 64-bit Office 2010 under the 32-bit launcher is the case on real
// desktops; the 64-bit test build meets it as a 32-bit Access (here a copy
// of the stand-in that says so in its header, which does not start).
TEST_F(Discovery, AccessOfTheOtherWidthIsStartedWithALineThatSaysSo) {
    const std::string exe = InstallFullAccess(2010) + "\\MSACCESS.EXE";
    std::string bytes = ReadFileBytes(exe);
    LONG headerAt = 0;
    memcpy(&headerAt, bytes.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), sizeof headerAt);
    const WORD otherMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    memcpy(bytes.data() + headerAt + 4, &otherMachine, sizeof otherMachine);
    WriteFileBytes(exe, bytes);

    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    const std::string bits = sizeof(void*) == 8 ? "32" : "64", own = sizeof(void*) == 8 ? "64" : "32";
    EXPECT_TRUE(HasConsecutiveLines(
        LogLines(), {"Will use full version of 2010: C:\\TARNWICKSCENARIO\\OFFICE2010\\msaccess.exe",
                     "Access 2010 is a " + bits + "-bit program and this launcher a " + own +
                         "-bit one: the registry it prepares is not the one that Access reads. Tarnwick supports "
                         "32-bit Office only."}));
}

}  // namespace
