// Launches that overlap, and launches that never reach their restore: the
// values from before the first launch are what the machine ends with.
#include "tests/support/harness.h"

#include <algorithm>

#include "tests/support/registry_snapshot.h"

namespace {

using OverlappingLaunches = Scenario;
using UnfinishedLaunches = Scenario;

constexpr const char* kCurVer = "Access.Application\\CurVer";
constexpr const char* kAccessTypeLib = "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}";
constexpr const char* kCommon = "SOFTWARE\\Microsoft\\Office\\Common";
constexpr const char* kSecurity2003 = "Software\\Microsoft\\Office\\11.0\\Access\\Security";
constexpr const char* kUserShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

const std::string kCurVerBefore = "REG_SZ:Access.Application.12";
const std::string kCurVer2003 = "REG_SZ:Access.Application.11";
const std::string kLastInstallBefore = "REG_DWORD:12";
const std::string kLevelBefore = "REG_DWORD:3";
const std::string kLevelPrepared = "REG_DWORD:1";
const std::string kPutBackLine = "Put back the registry values of an unfinished launch";
const std::string kJournalName = "\\~ZQJournal.dat";
// From the launcher's start to its Access's start: the 250 ms start-up timer,
// then a second or two for two process starts under Wine (about 1.1 s in
// all on an idle machine); far below the 90 seconds a launcher may wait for
// another one to put the registry back.
constexpr DWORD kPromptStartMs = 3000;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

// Values the preparation overwrites, so that their return can be seen.
void SeedWatchedValues() {
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.12"));
    SetRawValue(HKEY_CLASSES_ROOT, std::string(kAccessTypeLib) + "\\9.0\\0\\win32", "", REG_SZ,
                Sz("C:\\Office12\\MSACC.OLB"));
    SetRawValue(HKEY_CLASSES_ROOT, std::string(kAccessTypeLib) + "\\9.0", "", REG_SZ,
                Sz("Microsoft Access 12.0 Object Library"));
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 12);
}

// Set after the registry is dumped: the user's Office settings are compared
// by ValuesFromBefore, as EverythingElseAsBefore leaves them out.
void SeedMacroSecurityLevel() { SetRawDword(HKEY_CURRENT_USER, kSecurity2003, "Level", 3); }

::testing::AssertionResult ValuesFromBefore() {
    const std::string curVer = RawValue(HKEY_CLASSES_ROOT, kCurVer, "");
    const std::string lastInstall = RawValue(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall");
    const std::string level = RawValue(HKEY_CURRENT_USER, kSecurity2003, "Level");
    if (curVer == kCurVerBefore && lastInstall == kLastInstallBefore && level == kLevelBefore) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "CurVer " << curVer << ", LastAccessInstall " << lastInstall
                                         << ", 2003 macro level " << level;
}

// The settings the launcher makes for good are removed, so that the rest can
// be compared with the registry from before the first launch.
::testing::AssertionResult EverythingElseAsBefore(const std::string& before) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Shared Tools");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string(kAccessTypeLib) + "\\9.0\\FLAGS").c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string(kAccessTypeLib) + "\\9.0\\HELPDIR").c_str());
    return SameRegistryAs(before);
}

std::string RecordPath(const std::string& exe) { return exe.substr(0, exe.size() - 4) + ".record.txt"; }

void EndProcess(const std::string& pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, strtoul(pid.c_str(), nullptr, 10));
    ASSERT_NE(process, nullptr) << "process " << pid;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

bool ProcessRunning(const std::string& pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, strtoul(pid.c_str(), nullptr, 10));
    if (!process) return false;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

std::vector<std::string> FileLines(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

// Points the user's Desktop at another folder for the programs started while
// it lives, so that a second launcher writes a log of its own while the
// first one keeps the usual log open. Both shell-folder values come back.
class DesktopElsewhere {
public:
    explicit DesktopElsewhere(const std::string& folder) {
        MakeDirs(folder);
        userShellFolder_ = RawValue(HKEY_CURRENT_USER, kUserShellFolders, "Desktop");
        shellFolder_ = RawValue(HKEY_CURRENT_USER, kShellFolders, "Desktop");
        SetRawValue(HKEY_CURRENT_USER, kUserShellFolders, "Desktop", REG_SZ, Sz(folder));
        SetRawValue(HKEY_CURRENT_USER, kShellFolders, "Desktop", REG_SZ, Sz(folder));
    }
    ~DesktopElsewhere() {
        Put(kUserShellFolders, userShellFolder_);
        Put(kShellFolders, shellFolder_);
    }

private:
    static void Put(const char* key, const std::string& raw) {
        HKEY opened;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
        if (raw == "missing") {
            RegDeleteValueA(opened, "Desktop");
        } else {
            const bool expand = raw.rfind("REG_EXPAND_SZ:", 0) == 0;
            const std::string text = raw.substr(raw.find(':') + 1);
            RegSetValueExA(opened, "Desktop", 0, expand ? REG_EXPAND_SZ : REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
        }
        RegCloseKey(opened);
    }
    std::string userShellFolder_, shellFolder_;
};

// The first launch waits for its Access without limit; a second one must not
// sit for the 90 seconds of the lock, nor save the first one's preparation as
// the machine's own values. It ends after the first: nothing of either
// preparation may stay.
TEST_F(OverlappingLaunches, SecondGoesOnAtOnceAndEndsAfterTheFirstWithoutKeepingAnyPreparation) {
    SeedWatchedValues();
    const std::string exe =
        InstallFullAccess(2003, {{"lifetimeMs", "0"}}, "", {std::string("HKEY_CLASSES_ROOT\\") + kCurVer + "|"}) +
        "\\MSACCESS.EXE";
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();

    RunningProcess first = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING -WAIT=0 first.mdb");
    const std::string firstAccess = ReadRecord(exe, 20000)["pid"];
    ASSERT_FALSE(firstAccess.empty()) << "the first launch started Access";
    ASSERT_EQ(RawValue(HKEY_CURRENT_USER, kSecurity2003, "Level"), kLevelPrepared);
    // The program file is in use: only the settings of the next start change.
    DeleteFileA(RecordPath(exe).c_str());
    WriteFileBytes(exe.substr(0, exe.size() - 4) + ".ini",
                   std::string("[fake]\r\nlifetimeMs=6000\r\n[read]\r\n1=HKEY_CLASSES_ROOT\\") + kCurVer + "|\r\n");

    const std::string secondDesktop = std::string(kScenarioRoot) + "\\SecondDesktop";
    RunningProcess second;
    DWORD started = 0;
    {
        DesktopElsewhere desktop(secondDesktop);
        started = GetTickCount();
        second = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING second.mdb");
        for (DWORD waited = 0; !PathExists(secondDesktop + "\\TarnwickLog.txt") && waited < 10000; waited += 50) {
            Sleep(50);
        }
    }
    auto secondRecord = ReadRecord(exe, 100000);
    const DWORD startedAfter = GetTickCount() - started;
    ASSERT_NE(secondRecord["commandline"].find("second.mdb"), std::string::npos) << "the second launch started Access";
    EXPECT_LT(startedAfter, kPromptStartMs) << "the second Access started that many ms after its launcher";
    EXPECT_EQ(secondRecord["read.1"], kCurVer2003) << "the second Access starts on a prepared registry";

    // The first Access ends first: the first launcher puts back the values
    // from before both launches while the second Access still runs.
    EndProcess(firstAccess);
    EXPECT_EQ(WaitForExit(first, 30000), 0);
    EXPECT_TRUE(ProcessRunning(secondRecord["pid"])) << "the first launch ended before the second Access";
    EXPECT_TRUE(ValuesFromBefore()) << "after the first launch";

    EXPECT_EQ(WaitForExit(second, 30000), 0);
    EXPECT_TRUE(ValuesFromBefore()) << "after both launches";
    EXPECT_TRUE(EverythingElseAsBefore(before));

    const auto firstLog = LogLines();
    EXPECT_TRUE(HasConsecutiveLines(firstLog, {"Saving default registry settings"}));
    EXPECT_TRUE(HasConsecutiveLines(firstLog, {"Found main Access window - shutting down"}));
    EXPECT_TRUE(HasConsecutiveLines(firstLog, {"Restoring registry keys", "Exiting application"}));
    const auto secondLog = FileLines(secondDesktop + "\\TarnwickLog.txt");
    EXPECT_TRUE(HasConsecutiveLines(
        secondLog, {"Another Tarnwick waits for its Access without limit: registry keys are neither saved nor restored "
                    "by this launch"}));
    EXPECT_TRUE(HasConsecutiveLines(secondLog, {"Found main Access window - shutting down", "Exiting application"}));
    for (const char* line : {"Saving default registry settings", "Restoring registry keys"}) {
        EXPECT_EQ(std::find(secondLog.begin(), secondLog.end(), line), secondLog.end()) << line;
    }
}

// A launcher ended by force while Access runs never restores; the next
// launch finds what it left and puts the values from before back first.
TEST_F(UnfinishedLaunches, LauncherEndedByForceIsPutBackByTheNextLaunch) {
    SeedWatchedValues();
    const std::string exe = InstallFullAccess(2003, {{"lifetimeMs", "0"}}) + "\\MSACCESS.EXE";
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();

    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -WAIT=0 x.mdb");
    ASSERT_FALSE(ReadRecord(exe, 20000)["pid"].empty());
    ASSERT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), kCurVer2003) << "the registry is prepared";
    ASSERT_EQ(RawValue(HKEY_CURRENT_USER, kSecurity2003, "Level"), kLevelPrepared);
    TerminateProcess(launcher.process.get(), 1);
    WaitForExit(launcher, 5000);
    KillStandIns();
    EXPECT_TRUE(PathExists(JournalDir() + kJournalName)) << "the unfinished launch left its journal";

    InstallFullAccess(2003, {{"lifetimeMs", "500"}});
    DeleteFileA(RecordPath(exe).c_str());
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_FALSE(ReadRecord(exe).empty()) << "the later launch started Access";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {kPutBackLine}));
    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_FALSE(PathExists(JournalDir() + kJournalName));
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

// A launch that finds no journal says nothing about one, and leaves none.
TEST_F(UnfinishedLaunches, FinishedLaunchLeavesNoJournal) {
    SeedWatchedValues();
    SeedMacroSecurityLevel();
    const std::string exe = InstallFullAccess(2003, {{"lifetimeMs", "500"}}) + "\\MSACCESS.EXE";
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_FALSE(ReadRecord(exe).empty());
    const auto lines = LogLines();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), kPutBackLine), lines.end());
    EXPECT_FALSE(PathExists(JournalDir() + kJournalName));
    EXPECT_TRUE(ValuesFromBefore());
}

// The host window is told that the session ends while the launcher waits
// for Access: the values are back before Windows ends the process.
TEST_F(UnfinishedLaunches, SessionEndPutsTheValuesBackWhileAccessRuns) {
    SeedWatchedValues();
    const std::string exe = InstallFullAccess(2003, {{"lifetimeMs", "0"}}) + "\\MSACCESS.EXE";
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();

    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -WAIT=0 x.mdb");
    const std::string access = ReadRecord(exe, 20000)["pid"];
    ASSERT_FALSE(access.empty());
    ASSERT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), kCurVer2003) << "the registry is prepared";
    HWND host = FindWindowA("TarnwickClass", nullptr);
    ASSERT_NE(host, nullptr);
    DWORD owner = 0;
    GetWindowThreadProcessId(host, &owner);
    ASSERT_EQ(owner, launcher.pid);

    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutA(host, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer), 0);
    EXPECT_EQ(answer, DWORD_PTR(TRUE)) << "the launcher lets the session end";
    ASSERT_NE(SendMessageTimeoutA(host, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer), 0);
    EXPECT_TRUE(ProcessRunning(access));
    EXPECT_TRUE(ValuesFromBefore()) << "when the session ends";

    EndProcess(access);
    EXPECT_EQ(WaitForExit(launcher, 30000), 0);
    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

}  // namespace
