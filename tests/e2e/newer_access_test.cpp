// Access 2013 and later (2016 to 2024 and Microsoft 365 register as 16.0):
// found the ways they are installed, and prepared for the user alone.
#include "tests/support/harness.h"

#include "tests/support/registry_snapshot.h"

namespace {

using NewerAccessTest = Scenario;

const std::string kOwnBits = sizeof(void*) == 8 ? "64" : "32";
const std::string kUserCurVer = "Software\\Classes\\Access.Application\\CurVer";
const std::string kLocations16 = "Software\\Microsoft\\Office\\16.0\\Access\\Security\\Trusted Locations";
const std::string kLocations15 = "Software\\Microsoft\\Office\\15.0\\Access\\Security\\Trusted Locations";
const std::string kGeneral16 = "Software\\Microsoft\\Office\\16.0\\Common\\General";
const std::string kGeneral15 = "Software\\Microsoft\\Office\\15.0\\Common\\General";

// What the stand-in reads at start: the ProgID automation clients get, the
// trusted locations' paths and subfolder flags, the first-run opt-in.
std::vector<std::string> ReadsOf(const std::string& locations, const std::string& general) {
    return {"HKEY_CURRENT_USER\\" + kUserCurVer + "|", "HKEY_CURRENT_USER\\" + locations + "|*Path",
            "HKEY_CURRENT_USER\\" + locations + "|*AllowSubfolders", "HKEY_CURRENT_USER\\" + general + "|ShownFirstRunOptIn"};
}

// What the program was given after its own name.
std::string ArgumentsOf(const std::string& commandLine) {
    const std::size_t end = commandLine.rfind('"', 0) == 0 ? commandLine.find('"', 1) + 1 : commandLine.find(' ');
    return commandLine.substr(std::min(commandLine.size(), end + 1));
}

struct DiscoveryRow {
    const char* what;
    std::vector<NewerAccess> installs;  // the first is the one chosen
    std::vector<std::string> lines;     // found in the log one after the other
};

TEST_F(NewerAccessTest, FoundEveryWayItIsInstalledAfterTheOlderOnes) {
    const std::string c2r = "C:\\TARNWICKSCENARIO\\MICROSOFT OFFICE\\ROOT\\";
    const DiscoveryRow rows[] = {
        {"2016 full by its shell open command",
         {{2016, InstallKind::ShellCommand}},
         {"Access 2016 Full found: C:\\TARNWICKSCENARIO\\OFFICE2016",
          "2016 - found through its shell open command, a " + kOwnBits + "-bit program",
          "Will use full version of 2016: C:\\TARNWICKSCENARIO\\OFFICE2016\\msaccess.exe"}},
        {"2013 by its 32-bit Windows Installer component",
         {{2013, InstallKind::Installer32}},
         {"Access 2013 Full found: C:\\TARNWICKSCENARIO\\INSTALLER2013",
          "2013 - found through its Windows Installer component {A3E12EF0-7C3B-4493-99A3-F92FCD0AA512}, a 32-bit program",
          "Will use full version of 2013: C:\\TARNWICKSCENARIO\\INSTALLER2013\\msaccess.exe"}},
        {"2016 by its 64-bit Windows Installer component",
         {{2016, InstallKind::Installer64}},
         {"Access 2016 Full found: C:\\TARNWICKSCENARIO\\INSTALLER2016",
          "2016 - found through its Windows Installer component {27C919A6-3FA5-47F9-A3EC-BC7FF2AAD452}, a 64-bit program"}},
        {"2013 by Click-to-Run, 32-bit",
         {{2013, InstallKind::ClickToRun, "x86", "ProPlusRetail"}},
         {"Access 2013 Full found: " + c2r + "OFFICE15",
          "2013 - found through Click-to-Run (SOFTWARE\\Microsoft\\Office\\15.0\\ClickToRun\\Configuration), a 32-bit "
          "program"}},
        {"the free 2016 runtime by Click-to-Run, 64-bit",
         {{2016, InstallKind::ClickToRun, "x64", "O365BusinessRetail,AccessRuntimeRetail"}},
         {"Access 2016 Runtime found: " + c2r + "OFFICE16",
          "2016 - found through Click-to-Run (SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration), a 64-bit program",
          "Will use full version of 2016: " + c2r + "OFFICE16\\msaccess.exe"}},
        {"2013 before 2016, both found",
         {{2013, InstallKind::Installer32}, {2016, InstallKind::ClickToRun}},
         {"Access 2013 Full found: C:\\TARNWICKSCENARIO\\INSTALLER2013",
          "2013 - found through its Windows Installer component {A3E12EF0-7C3B-4493-99A3-F92FCD0AA512}, a 32-bit program",
          "Access 2016 Full found: " + c2r + "OFFICE16",
          "2016 - found through Click-to-Run (SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration), a 64-bit program",
          "Will use full version of 2013: C:\\TARNWICKSCENARIO\\INSTALLER2013\\msaccess.exe",
          "Other Office found: Click-to-Run 16.0.17531.20140 (x64)"}},
    };
    for (const DiscoveryRow& row : rows) {
        SCOPED_TRACE(row.what);
        Scenario::SetUp();
        std::string chosen;
        for (const NewerAccess& install : row.installs) {
            const std::string exe = InstallNewerAccess(install);
            if (chosen.empty()) chosen = exe;
        }
        EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
        EXPECT_TRUE(HasConsecutiveLines(LogLines(), row.lines));
        EXPECT_EQ(lstrcmpiA(ReadRecord(chosen)["exe"].c_str(), chosen.c_str()), 0) << ReadRecord(chosen)["exe"];
        // The Office started is named as no other Office.
        if (LinesStartingWith(row.lines, "Other Office found: ").empty()) {
            EXPECT_TRUE(LinesStartingWith(LogLines(), "Other Office found: ").empty());
        }
    }

    // A Click-to-Run suite installed without Access is no Access: the user
    // is told, and nothing changes.
    Scenario::SetUp();
    InstallNewerAccess({2016, InstallKind::ClickToRun, "x64", "O365BusinessRetail", false});
    const std::string before = DumpRegistry();
    const ResponderResult run = RunTarnwickAnswering("-LOGGING x.mdb", "OK");
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Tarnwick Warning");
    EXPECT_TRUE(SameRegistryAs(before));
    EXPECT_TRUE(LinesStartingWith(LogLines(), "Access 2016").empty());
}

// Microsoft 365 as its installer leaves a 64-bit Windows: Click-to-Run,
// 64-bit, Access.Application.16 machine-wide, nothing else.
TEST_F(NewerAccessTest, ClickToRun2016x64AloneIsPreparedForTheUserAndPutBack) {
    const std::string exe = InstallNewerAccess({2016, InstallKind::ClickToRun, "x64", "O365ProPlusRetail"},
                                               ReadsOf(kLocations16, kGeneral16), {{"lifetimeMs", "60000"}});
    SetRawValue(HKEY_CLASSES_ROOT, "Access.Application\\CurVer", "", REG_SZ, Sz("Access.Application.16"));
    SetRawValue(HKEY_CLASSES_ROOT, "Access.Application.16\\CLSID", "", REG_SZ,
                Sz("{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}"));
    const std::string before = DumpRegistry();

    RunningProcess launcher = StartTarnwick("-LOGGING -SUBFOLDERS -WAIT=0 \"C:\\Data\\Orders.mdb\" /runtime");
    auto record = ReadRecord(exe, 30000);
    ASSERT_FALSE(record.empty()) << "Access was not started";
    EXPECT_EQ(ArgumentsOf(record["commandline"]), "\"C:\\Data\\Orders.mdb\" /runtime");
    EXPECT_EQ(record["read.1"], "REG_SZ:Access.Application.16");
    EXPECT_EQ(record["read.2"], "REG_SZ:c:\\data\\");
    EXPECT_EQ(record["read.3"], "REG_DWORD:1");
    EXPECT_EQ(record["read.4"], "REG_DWORD:1");
    // While Access runs, nothing outside the user's own hive differs.
    EXPECT_TRUE(SameRegistryAs(before, kOutsideTheUsersHive));

    const UniqueHandle access(OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(std::stoul(record["pid"]))));
    ASSERT_TRUE(access);
    TerminateProcess(access.get(), 0);
    EXPECT_EQ(WaitForExit(launcher, 60000), 0);
    EXPECT_TRUE(SameRegistryAs(before));
    EXPECT_TRUE(HasConsecutiveLines(
        LogLines(),
        {"Don't have runtime, so trying full version",
         "Access 2016 Full found: C:\\TARNWICKSCENARIO\\MICROSOFT OFFICE\\ROOT\\OFFICE16",
         "2016 - found through Click-to-Run (SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration), a 64-bit program",
         "Will use full version of 2016: C:\\TARNWICKSCENARIO\\MICROSOFT OFFICE\\ROOT\\OFFICE16\\msaccess.exe"}));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Access.Application\\CurVer = Access.Application.16",
                                                 "2016 - strDBDirectory: c:\\data", "Calling SetTrustedFolderLocation: ",
                                                 "SetTrustedFolderLocation: " + kLocations16}));
    // Machine-wide settings and the permissions question are not for it.
    for (const auto& line : LogLines()) {
        EXPECT_EQ(line.find("MSACCOLB"), std::string::npos) << line;
        EXPECT_NE(line, "Not setting back object library");
    }
}

// Access 2013 by Windows Installer, with a location of the database's
// folder the user made and an opt-in the user turned off: the launch marks
// the location for subfolders and turns the opt-in on for the run, and puts
// back exactly what it found.
TEST_F(NewerAccessTest, Installer2013FullAloneMarksTheUsersOwnLocationAndPutsItBack) {
    const std::string exe = InstallNewerAccess({2013, InstallKind::Installer32}, ReadsOf(kLocations15, kGeneral15));
    SetRawValue(HKEY_CURRENT_USER, kLocations15 + "\\Location2", "Path", REG_SZ, Sz("C:\\DATA"));
    SetRawDword(HKEY_CURRENT_USER, kGeneral15, "ShownFirstRunOptIn", 0);
    const std::string before = DumpRegistry();

    EXPECT_EQ(RunTarnwick("-LOGGING -SUBFOLDERS C:\\Data\\App.mdb"), 0);
    auto record = ReadRecord(exe);
    EXPECT_EQ(ArgumentsOf(record["commandline"]), "C:\\Data\\App.mdb");
    EXPECT_EQ(record["read.1"], "REG_SZ:Access.Application.15");
    EXPECT_EQ(record["read.2"], "REG_SZ:C:\\DATA");  // the user's location, no second one
    EXPECT_EQ(record["read.3"], "REG_DWORD:1");
    EXPECT_EQ(record["read.4"], "REG_DWORD:1");
    EXPECT_TRUE(SameRegistryAs(before));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Will use full version of 2013: C:\\TARNWICKSCENARIO\\INSTALLER2013\\msaccess.exe",
                                                 "Saving default registry settings"}));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"2013 - strDBDirectory: c:\\data", "Calling SetTrustedFolderLocation: ",
                                                 "SetTrustedFolderLocation: " + kLocations15}));
}

// With Access 2010 there, 2010 is chosen and its launch is what it always
// was: the same log as without Microsoft 365 but for the line that names
// it, and nothing of 365's changes.
TEST_F(NewerAccessTest, With2010And365Together2010IsChosenAsAlways) {
    const std::string folder = InstallFullAccess(2010);
    SetRawValue(HKEY_CLASSES_ROOT, "Access.Application\\CurVer", "", REG_SZ, Sz("Access.Application.14"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0\\0\\win32", "", REG_SZ, Sz(folder + "\\MSACC.OLB"));
    // The log of a launch, but for the process number Access was given.
    const auto launchLog = [] {
        std::vector<std::string> lines = LogLines();
        std::erase_if(lines, [](const std::string& line) { return line.rfind("Access launched with ProcessID: ", 0) == 0; });
        DeleteFileA(LogPath().c_str());
        return lines;
    };
    EXPECT_EQ(RunTarnwick("-LOGGING C:\\Data\\App.mdb"), 0);
    const std::vector<std::string> alone = launchLog();

    const std::string exe365 = InstallNewerAccess({2016, InstallKind::ClickToRun});
    SetRawDword(HKEY_CURRENT_USER, kGeneral16, "ShownFirstRunOptIn", 0);
    const std::string before = DumpRegistry();
    EXPECT_EQ(RunTarnwick("-LOGGING C:\\Data\\App.mdb"), 0);
    std::vector<std::string> beside = launchLog();
    const auto other = std::find(beside.begin(), beside.end(), "Other Office found: Click-to-Run 16.0.17531.20140 (x64)");
    ASSERT_NE(other, beside.end());
    beside.erase(other);
    EXPECT_EQ(beside, alone);
    EXPECT_TRUE(ReadRecord(exe365, 0).empty());  // 365's Access was not started
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kUserCurVer, ""), "missing");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kGeneral16, "ShownFirstRunOptIn"), "REG_DWORD:0");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kLocations16));
    // The first run made 2010's lasting settings; this one changes nothing.
    EXPECT_TRUE(SameRegistryAs(before));
}

}  // namespace
