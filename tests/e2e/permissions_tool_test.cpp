// The permissions tool on its own, and the launcher's open-keys mode that
// writes it to the temporary folder, runs it and deletes it.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/permissions_harness.h"

namespace {

// Work-list keys of every kind: one-part keys (.accda comes twice), keys
// kept to their second part, and both machine keys.
const std::vector<std::string> kWorkKeys = {
    "Software\\Classes\\.accda",
    "Software\\Classes\\Access.Application",
    "Software\\Classes\\Access.MDBFile",
    "Software\\Classes\\CLSID\\{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}",
    "Software\\Classes\\Interface\\{C547E760-9658-101B-81EE-00AA004750E2}",
    "Software\\Classes\\TypeLib\\{5B87B6F0-17C8-11D0-AD41-00A0C90DC8D9}",
    "SOFTWARE\\Microsoft\\Office\\Common",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\"
    "87FA5D886C9174D44BCEB5FA380DE229",
};
// Left alone: a subkey of a work-list key (only the key the launcher
// re-creates is changed), a class that is not the launcher's, and the
// user's own classes.
const std::vector<std::string> kOtherMachineKeys = {"Software\\Classes\\Access.MDBFile\\shell\\Open\\command",
                                                    "Software\\Classes\\Unrelated.Class"};
const std::string kUserClass = "Software\\Classes\\Access.Application";

// Everyone may read, nobody may write: keys the launcher cannot work with.
const char* kReadOnly = "D:P(A;;KR;;;WD)";
const std::vector<AceView> kReadOnlyAces = {{"A", 0, KEY_READ, "S-1-1-0"}};

class Permissions : public Scenario {
protected:
    void SetUp() override {
        Scenario::SetUp();
        // Subkeys first: a read-only key takes no new subkeys.
        for (const auto& key : kOtherMachineKeys) ASSERT_TRUE(SeedKey(HKEY_LOCAL_MACHINE, key, kReadOnly)) << key;
        for (const auto& key : kWorkKeys) ASSERT_TRUE(SeedKey(HKEY_LOCAL_MACHINE, key, kReadOnly)) << key;
        ASSERT_TRUE(SeedKey(HKEY_CURRENT_USER, kUserClass, kReadOnly));
        ASSERT_EQ(OpenForWriting(HKEY_LOCAL_MACHINE, kWorkKeys[1]), ERROR_ACCESS_DENIED);
    }
    void TearDown() override {
        for (const auto& key : kOtherMachineKeys) UnlockKey(HKEY_LOCAL_MACHINE, key);
        for (const auto& key : kWorkKeys) UnlockKey(HKEY_LOCAL_MACHINE, key);
        UnlockKey(HKEY_CURRENT_USER, kUserClass);
        Scenario::TearDown();
    }
    static void ExpectRepaired(bool repaired = true) {
        for (const auto& key : kWorkKeys) {
            EXPECT_EQ(KeyAces(HKEY_LOCAL_MACHINE, key),
                      repaired ? std::vector<AceView>{UsersFullControl()} : kReadOnlyAces)
                << key;
            EXPECT_EQ(OpenForWriting(HKEY_LOCAL_MACHINE, key), repaired ? ERROR_SUCCESS : ERROR_ACCESS_DENIED) << key;
        }
        for (const auto& key : kOtherMachineKeys) EXPECT_EQ(KeyAces(HKEY_LOCAL_MACHINE, key), kReadOnlyAces) << key;
        EXPECT_EQ(KeyAces(HKEY_CURRENT_USER, kUserClass), kReadOnlyAces);
    }
    // The launcher wrote the tool to a file of its own in the temporary
    // folder, ran it from there, kept the file unchanged while it ran, and
    // deleted it afterwards.
    static void ExpectRunFromTemp(const ToolSighting& seen) {
        EXPECT_EQ(seen.launcherExit, 0);
        ASSERT_FALSE(seen.toolPath.empty()) << "the tool did not run";
        EXPECT_TRUE(seen.startedByLauncher);
        const size_t slash = seen.toolPath.rfind('\\') + 1;
        EXPECT_EQ(lstrcmpiA(seen.toolPath.substr(0, slash).c_str(), TempDir().c_str()), 0) << seen.toolPath;
        EXPECT_EQ(seen.toolPath.compare(slash, 19, "TarnwickPermissions"), 0) << seen.toolPath;
        EXPECT_TRUE(seen.fileWasTheTool);
        EXPECT_EQ(seen.writeOpenError, DWORD(ERROR_SHARING_VIOLATION)) << "the file could be changed while it ran";
        EXPECT_NE(seen.deleteError, DWORD(ERROR_SUCCESS)) << "the file could be deleted while it ran";
        EXPECT_EQ(ToolFilesInTemp(), std::vector<std::string>{});
        EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"-openkeys", "Exiting Tarnwick"}));
        ExpectRepaired();
    }
};

TEST_F(Permissions, ToolGivesUsersFullControlOfItsKeysAloneAndSkipsMissingOnes) {
    RunningProcess tool = StartProcess("\"" + BinDir() + "TarnwickPermissions.exe\" noprogress");
    EXPECT_EQ(WaitForExit(tool, 60000), 0);
    ExpectRepaired();
    for (const char* missing : {".accdb", "Access.Project", "PipFile", "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}"}) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + missing)) << missing;
    }
}

TEST_F(Permissions, ToolShowsItsProgressUnlessToldNoprogressAloneInAnyCase) {
    const ToolRun shown = RunToolWithResponder("");
    EXPECT_EQ(shown.exitCode, 0) << "the tool must end on its own";
    EXPECT_EQ(shown.dialogCount, 1);
    EXPECT_EQ(shown.caption, "Updating System Configuration, Please Wait...");
    ExpectRepaired();
    EXPECT_EQ(RunToolWithResponder("noprogress now").dialogCount, 1);
    const ToolRun hidden = RunToolWithResponder("NOPROGRESS");
    EXPECT_EQ(hidden.exitCode, 0);
    EXPECT_EQ(hidden.dialogCount, 0);
}

TEST_F(Permissions, ToolChangesNothingOnWindowsNt4) {
    SetWindowsVersionFor("TarnwickPermissions.exe", "nt40");
    const ToolRun run = RunToolWithResponder("");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.dialogCount, 0);
    ExpectRepaired(false);
}

TEST_F(Permissions, OpenKeysWithoutProgressRunsTheToolWithoutAWindow) {
    const ToolSighting seen = RunTarnwickWatchingTool("-LOGGING -OPENKEYS -NOPROGRESS");
    ExpectRunFromTemp(seen);
    EXPECT_EQ(seen.dialogCaption, "");
}

TEST_F(Permissions, OpenKeysShowsTheToolsProgressThatEndsByItself) {
    const ToolSighting seen = RunTarnwickWatchingTool("-LOGGING -OPENKEYS");
    ExpectRunFromTemp(seen);
    EXPECT_EQ(seen.dialogCaption, "Updating System Configuration, Please Wait...");
    EXPECT_TRUE(seen.dialogHadProgressBar);
}

TEST_F(Permissions, OpenKeysToolLoadsNoLibraryPlantedInTheTemporaryFolder) {
    // The tool runs elevated from a folder its user can write to. Wine
    // prefers its own comctl32 unless told otherwise: ask for a library found
    // on the search path first, as Windows does for one that is not a known DLL.
    SetRawValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "comctl32", REG_SZ, Sz("native,builtin"));
    const std::string planted = TempDir() + "comctl32.dll", marker = TempDir() + "planted_loaded.txt";
    ASSERT_TRUE(CopyFileA((BinDir() + "planted.dll").c_str(), planted.c_str(), FALSE));
    const ToolSighting seen = RunTarnwickWatchingTool("-LOGGING -OPENKEYS");
    const bool loaded = PathExists(marker);
    DeleteFileA(planted.c_str());
    DeleteFileA(marker.c_str());
    EXPECT_FALSE(loaded) << "the tool loaded the comctl32.dll planted beside it";
    EXPECT_TRUE(seen.dialogHadProgressBar) << "the system's common controls draw the progress bar";
    ExpectRunFromTemp(seen);
}

TEST_F(Permissions, OpenKeysWritesAndRunsNothingOnWindowsNt4) {
    SetWindowsVersionFor("Tarnwick.exe", "nt40");
    const ToolSighting seen = RunTarnwickWatchingTool("-LOGGING -OPENKEYS");
    EXPECT_EQ(seen.launcherExit, 0);
    EXPECT_EQ(seen.toolPath, "");
    EXPECT_EQ(ToolFilesInTemp(), std::vector<std::string>{});
    ExpectRepaired(false);
}

// Every name the launcher would give the tool is taken (by folders, which a
// user may make in the temporary folder): nothing runs, and the log says why.
TEST_F(Permissions, OpenKeysWithEveryToolNameTakenSaysSoInTheLog) {
    std::string commandLine = "\"" + BinDir() + "Tarnwick.exe\" -LOGGING -OPENKEYS -NOPROGRESS";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &info));
    ProcessInformation started(info);
    RunningProcess launcher(std::move(started.process), started.processId);
    std::vector<std::string> taken;
    for (int n = 0; n < 100; ++n) {
        taken.push_back(TempDir() + "TarnwickPermissions-" + std::to_string(started.processId) + "-" +
                        std::to_string(n) + ".exe");
        CreateDirectoryA(taken.back().c_str(), nullptr);
    }
    ResumeThread(started.thread.get());
    EXPECT_EQ(WaitForExit(launcher, 60000), 0);
    for (const auto& folder : taken) RemoveDirectoryA(folder.c_str());
    const auto lines = LogLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("Permissions tool not written: no new file could be created as ", 0) == 0;
    })) << "the log does not say why the tool did not run";
    ExpectRepaired(false);
}

}  // namespace
