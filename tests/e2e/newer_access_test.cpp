// Access 2013 and later (2016 to 2024 and Microsoft 365 register as 16.0):
// found the ways they are installed, and prepared for the user alone.
#include "tests/support/harness.h"

#include "common/ascii_text.h"
#include "tests/support/registry_snapshot.h"

namespace {

using NewerAccessTest = Scenario;

const std::string kUserCurVer = "Software\\Classes\\Access.Application\\CurVer";
const std::string kLocations = "Software\\Microsoft\\Office\\1?.0\\Access\\Security\\Trusted Locations";
const std::string kGeneral = "Software\\Microsoft\\Office\\1?.0\\Common\\General";
const std::string kClickToRun16 = "found through Click-to-Run (SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration)";
const std::string kInstaller2013 = "found through its Windows Installer component {A3E12EF0-7C3B-4493-99A3-F92FCD0AA512}";

// The key of Office 15.0 or 16.0.
std::string Of(std::string key, char version) { return key.replace(key.find('?'), 1, 1, version); }

// What the stand-in reads at start: the ProgID automation clients get, the
// trusted locations' paths and subfolder flags, the first-run opt-in.
std::vector<std::string> ReadsOf(char version) {
    const std::string user = "HKEY_CURRENT_USER\\";
    return {user + kUserCurVer + "|", user + Of(kLocations, version) + "|*Path",
            user + Of(kLocations, version) + "|*AllowSubfolders", user + Of(kGeneral, version) + "|ShownFirstRunOptIn"};
}

std::string ArgumentsOf(const std::string& commandLine) {  // after the program's own name
    const std::size_t end = commandLine.rfind('"', 0) == 0 ? commandLine.find('"', 1) + 1 : commandLine.find(' ');
    return commandLine.substr(std::min(commandLine.size(), end + 1));
}

struct DiscoveryRow {
    std::vector<NewerAccess> installs;  // the first is the one chosen
    std::vector<std::string> lines;     // the log's, one after the other, before "Will use full version"
};

TEST_F(NewerAccessTest, FoundEveryWayItIsInstalledAfterTheOlderOnes) {
    const std::string root = "C:\\TARNWICKSCENARIO\\", c2r = root + "MICROSOFT OFFICE\\ROOT\\";
    const DiscoveryRow rows[] = {
        {{{2016, InstallKind::ShellCommand}},
         {"Access 2016 Full found: " + root + "OFFICE2016", "2016 - found through its shell open command, a " +
                                                                std::to_string(sizeof(void*) * 8) + "-bit program"}},
        {{{2016, InstallKind::Installer64}},
         {"Access 2016 Full found: " + root + "INSTALLER2016",
          "2016 - found through its Windows Installer component {27C919A6-3FA5-47F9-A3EC-BC7FF2AAD452}, a 64-bit program"}},
        {{{2013, InstallKind::ClickToRun, "x86", "ProPlusRetail"}},
         {"Access 2013 Full found: " + c2r + "OFFICE15",
          "2013 - found through Click-to-Run (SOFTWARE\\Microsoft\\Office\\15.0\\ClickToRun\\Configuration), a 32-bit program"}},
        {{{2016, InstallKind::ClickToRun, "x64", "O365BusinessRetail,AccessRuntimeRetail"}},
         {"Access 2016 Runtime found: " + c2r + "OFFICE16", "2016 - " + kClickToRun16 + ", a 64-bit program"}},
        // Both found, 2013 chosen, and the Click-to-Run Office beside it named.
        {{{2013, InstallKind::Installer32}, {2016, InstallKind::ClickToRun}},
         {"Access 2013 Full found: " + root + "INSTALLER2013", "2013 - " + kInstaller2013 + ", a 32-bit program",
          "Access 2016 Full found: " + c2r + "OFFICE16", "2016 - " + kClickToRun16 + ", a 64-bit program"}},
    };
    for (const DiscoveryRow& row : rows) {
        SCOPED_TRACE(row.lines[0]);
        Scenario::SetUp();
        const std::string chosen = InstallNewerAccess(row.installs[0]);
        for (std::size_t i = 1; i < row.installs.size(); ++i) InstallNewerAccess(row.installs[i]);
        EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
        std::vector<std::string> lines = row.lines;
        lines.push_back("Will use full version of " + std::to_string(row.installs[0].year) + ": " +
                        ToUpperAscii(chosen.substr(0, chosen.rfind('\\'))) + "\\msaccess.exe");
        EXPECT_TRUE(HasConsecutiveLines(LogLines(), lines));
        EXPECT_EQ(lstrcmpiA(ReadRecord(chosen)["exe"].c_str(), chosen.c_str()), 0) << ReadRecord(chosen)["exe"];
        EXPECT_EQ(LinesStartingWith(LogLines(), "Other Office found: ").size(), row.installs.size() - 1);
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
// 64-bit, Access.Application.16 machine-wide, nothing else. The launcher is
// ended by force while Access runs: the next launch puts back what it wrote.
TEST_F(NewerAccessTest, ClickToRun2016x64AloneIsPreparedForTheUserAndPutBack) {
    const std::string exe = InstallNewerAccess({2016}, ReadsOf('6'), {{"lifetimeMs", "60000"}});
    // The release build starts a 64-bit Access under WOW64: the x86_64
    // stand-in, where that build is there too.
    const std::string wide = BinDir() + "..\\..\\win64\\bin\\fake_access.exe";
    if (sizeof(void*) == 4 && PathExists(wide)) {
        ASSERT_TRUE(CopyFileA(wide.c_str(), exe.c_str(), FALSE));
    }
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.16"));
    const std::string before = DumpRegistry();

    RunningProcess launcher = StartTarnwick("-LOGGING -SUBFOLDERS -WAIT=0 \"C:\\Data\\Orders.mdb\" /runtime");
    auto record = ReadRecord(exe, 30000);
    ASSERT_FALSE(record.empty()) << "Access was not started";
    EXPECT_EQ(ArgumentsOf(record["commandline"]), "\"C:\\Data\\Orders.mdb\" /runtime");
    EXPECT_EQ(record["read.1"] + record["read.2"] + record["read.3"] + record["read.4"],
              "REG_SZ:Access.Application.16REG_SZ:c:\\data\\REG_DWORD:1REG_DWORD:1");
    // While Access runs, nothing outside the user's own hive differs.
    EXPECT_TRUE(SameRegistryAs(before, kOutsideTheUsersHive));
    EXPECT_TRUE(HasConsecutiveLines(
        LogLines(), {"Don't have runtime, so trying full version", "Access 2016 Full found: " +
                         ToUpperAscii(exe.substr(0, exe.rfind('\\'))), "2016 - " + kClickToRun16 + ", a 64-bit program"}));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Access.Application\\CurVer = Access.Application.16",
                                                 "2016 - strDBDirectory: c:\\data", "Calling SetTrustedFolderLocation: ",
                                                 "SetTrustedFolderLocation: " + Of(kLocations, '6')}));
    // Machine-wide settings and the permissions question are not for it.
    for (const auto& line : LogLines()) EXPECT_EQ(line.find("MSACCOLB"), std::string::npos) << line;

    launcher.EndIfRunning();
    KillStandIns();
    EXPECT_EQ(RunTarnwick("-LOGGING -WAIT=1 \"C:\\Data\\Orders.mdb\""), 0);
    EXPECT_FALSE(LinesStartingWith(LogLines(), "Put back the registry values of an unfinished launch").empty());
    EXPECT_TRUE(SameRegistryAs(before));
}

// Access 2013 by Windows Installer, with a location of the database's
// folder the user made and an opt-in the user turned off: the launch marks
// the location for subfolders and turns the opt-in on for the run, and puts
// back exactly what it found.
TEST_F(NewerAccessTest, Installer2013FullAloneMarksTheUsersOwnLocationAndPutsItBack) {
    const std::string exe = InstallNewerAccess({2013, InstallKind::Installer32}, ReadsOf('5'));
    SetRawValue(HKEY_CURRENT_USER, Of(kLocations, '5') + "\\Location2", "Path", REG_SZ, Sz("C:\\DATA"));
    SetRawDword(HKEY_CURRENT_USER, Of(kGeneral, '5'), "ShownFirstRunOptIn", 0);
    const std::string before = DumpRegistry();

    EXPECT_EQ(RunTarnwick("-LOGGING -SUBFOLDERS C:\\Data\\App.mdb"), 0);
    auto record = ReadRecord(exe);
    EXPECT_EQ(ArgumentsOf(record["commandline"]), "C:\\Data\\App.mdb");
    // The user's own location, no second one.
    EXPECT_EQ(record["read.1"] + record["read.2"] + record["read.3"] + record["read.4"],
              "REG_SZ:Access.Application.15REG_SZ:C:\\DATAREG_DWORD:1REG_DWORD:1");
    EXPECT_TRUE(SameRegistryAs(before));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"2013 - strDBDirectory: c:\\data", "Calling SetTrustedFolderLocation: ",
                                                 "SetTrustedFolderLocation: " + Of(kLocations, '5')}));
}

// With Access 2010 there, 2010 is chosen and its launch is what it always
// was: the same log as without Microsoft 365 but for the line that names
// it, and nothing of 365's changes.
TEST_F(NewerAccessTest, With2010And365Together2010IsChosenAsAlways) {
    const std::string folder = InstallFullAccess(2010);
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.14"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0\\0\\win32", "", REG_SZ, Sz(folder + "\\MSACC.OLB"));
    const auto launchLog = [] {  // but for the process number Access was given
        EXPECT_EQ(RunTarnwick("-LOGGING C:\\Data\\App.mdb"), 0);
        std::vector<std::string> lines = LogLines();
        std::erase_if(lines, [](const std::string& line) { return line.rfind("Access launched with ProcessID: ", 0) == 0; });
        DeleteFileA(LogPath().c_str());
        return lines;
    };
    const std::vector<std::string> alone = launchLog();
    const std::string exe365 = InstallNewerAccess({2016});
    SetRawDword(HKEY_CURRENT_USER, Of(kGeneral, '6'), "ShownFirstRunOptIn", 0);
    const std::string before = DumpRegistry();
    std::vector<std::string> beside = launchLog();
    EXPECT_EQ(std::erase(beside, "Other Office found: Click-to-Run 16.0.17531.20140 (x64)"), 1u);
    EXPECT_EQ(beside, alone);
    EXPECT_TRUE(ReadRecord(exe365, 0).empty());  // 365's Access was not started
    // The first run made 2010's lasting settings; this one changes nothing.
    EXPECT_TRUE(SameRegistryAs(before));
}

}  // namespace
