// Faults and hostile input: whatever happens, the program ends with 0 and
// every value it captured is back.
#include "tests/support/harness.h"

#include <aclapi.h>

#include <random>

#include "registry/snapshot.h"
#include "tests/support/registry_snapshot.h"

namespace {

using Faults = Scenario;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

const std::string kCurVer = "Access.Application\\CurVer";
const std::string kAccessTypeLib = "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}";

// Catalogue values the preparation overwrites, so that their return is seen.
void SeedWatchedValues() {
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.12"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0\\0\\win32", "", REG_SZ, Sz("C:\\Office12\\MSACC.OLB"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0", "", REG_SZ, Sz("Microsoft Access 12.0 Object Library"));
    SetRawDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\Common", "LastAccessInstall", 12);
}

// What the launcher leaves on purpose (its lasting settings) is removed, so
// that the rest can be compared with the registry from before the run.
::testing::AssertionResult EverythingElseAsBefore(const std::string& before) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Shared Tools");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (kAccessTypeLib + "\\9.0\\FLAGS").c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (kAccessTypeLib + "\\9.0\\HELPDIR").c_str());
    return SameRegistryAs(before);
}

struct BoxSearch {
    DWORD pid;
    HWND box;
};

BOOL CALLBACK FindVisibleBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    char name[32] = {};
    GetWindowThreadProcessId(window, &owner);
    GetClassNameA(window, name, sizeof name);
    if (owner == search->pid && IsWindowVisible(window) && strcmp(name, "#32770") == 0) search->box = window;
    return search->box == nullptr;
}

HWND WaitForBox(DWORD pid, DWORD timeoutMs) {
    BoxSearch search{pid, nullptr};
    for (DWORD waited = 0; !search.box && waited < timeoutMs; waited += 50) {
        EnumWindows(FindVisibleBox, reinterpret_cast<LPARAM>(&search));
        if (!search.box) Sleep(50);
    }
    return search.box;
}

class Environment {
public:
    Environment(const char* name, const std::string& value) : name_(name) {
        char old[32768];
        const DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        if (had_) old_ = old;
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~Environment() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST_F(Faults, ExecutableGoneBetweenDiscoveryAndStart) {
    SeedWatchedValues();
    const std::string folder = InstallFullAccess(2002);
    DeleteFileA((folder + "\\MSACC.OLB").c_str());  // the registration fails: the question holds the launch
    const std::string before = DumpRegistry();
    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING x.mdb");
    HWND box = WaitForBox(launcher.pid, 20000);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(DeleteFileA((folder + "\\MSACCESS.EXE").c_str()));
    PostMessageA(box, WM_COMMAND, IDNO, 0);
    EXPECT_EQ(WaitForExit(launcher, 30000), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Launching Access: C:\\TARNWICKSCENARIO\\OFFICE2002\\msaccess.exe\r\n\twith cmdline: x.mdb",
                                                 "Timed Out - main Access window not found!", "Restoring registry keys"}));
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, AccessEndingAtOnceOrKilledWhileWatched) {
    SeedWatchedValues();
    const std::string exe = InstallFullAccess(2002, {{"window", "never"}, {"lifetimeMs", "1"}}) + "\\MSACCESS.EXE";
    const std::string before = DumpRegistry();
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Timed Out - main Access window not found!", "Restoring registry keys"}));
    EXPECT_TRUE(EverythingElseAsBefore(before));

    PlaceFakeProgram(exe, {{"window", "never"}, {"lifetimeMs", "0"}});
    DeleteFileA(LogPath().c_str());
    DeleteFileA((exe.substr(0, exe.size() - 4) + ".record.txt").c_str());
    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING x.mdb");
    const std::string pid = ReadRecord(exe, 20000)["pid"];
    ASSERT_FALSE(pid.empty());
    Sleep(1500);
    HANDLE access = OpenProcess(PROCESS_TERMINATE, FALSE, strtoul(pid.c_str(), nullptr, 10));
    ASSERT_NE(access, nullptr);
    TerminateProcess(access, 1);
    CloseHandle(access);
    EXPECT_EQ(WaitForExit(launcher, 20000), 0) << "the watch ends with Access, not after 30 polls";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Timed Out - main Access window not found!", "Restoring registry keys"}));
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, DamagedSnapshotFilesRestoreNothingAndAreDeleted) {
    SeedWatchedValues();
    EXPECT_EQ(RunTarnwick("-CAPTURE"), 0);
    const std::string file = TempDir() + "~ZQReg.dat";
    const std::string captured = ReadFileBytes(file);
    ASSERT_GE(captured.size(), 16u);
    std::mt19937 random(7);
    std::string noise(64, '\0');
    for (char& c : noise) c = char(random());
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"truncated", captured.substr(0, 13)},
        {"not whole blocks", captured.substr(0, captured.size() - 3)},
        {"random bytes", noise},
        {"too many fields", EncipherSnapshot("HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t=REG_SZ\tx\ty\tz\n")},
        {"unknown root", EncipherSnapshot("HKEY_ELSEWHERE\\Access.Application\\CurVer\t=REG_SZ\tx\n")},
    };
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("changed after the capture"));
    const std::string before = DumpRegistry();
    for (const auto& [what, bytes] : damaged) {
        WriteFileBytes(file, bytes);
        EXPECT_EQ(RunTarnwick("-RESTORE"), 0) << what;
        EXPECT_FALSE(PathExists(file)) << what;
        EXPECT_TRUE(SameRegistryAs(before)) << what;
    }
    // A value of more than 4096 bytes in the file is written back whole.
    const std::string big(5000, 'b');
    WriteFileBytes(file, EncipherSnapshot("HKEY_CLASSES_ROOT\\" + kCurVer + "\t=REG_SZ\t" + big + "\n"));
    EXPECT_EQ(RunTarnwick("-RESTORE"), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:" + big);
}

TEST_F(Faults, TemporaryFolderMissingUnwritableOrVeryLong) {
    SeedWatchedValues();
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    WriteFileBytes(std::string(kScenarioRoot) + "\\plainfile", "");
    std::string deep = "\\\\?\\" + std::string(kScenarioRoot);
    while (deep.size() < 2100) {
        deep += "\\" + std::string(200, 't');
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    const std::vector<std::string> folders = {"C:\\Nowhere\\Temp", std::string(kScenarioRoot) + "\\plainfile",
                                              deep.substr(4)};
    for (const auto& folder : folders) {
        Environment temp("TEMP", folder), tmp("TMP", folder);
        const std::string before = DumpRegistry();
        EXPECT_EQ(RunTarnwick("-CAPTURE"), 0) << folder.size();
        EXPECT_EQ(RunTarnwick("-RESTORE"), 0) << folder.size();
        EXPECT_TRUE(SameRegistryAs(before)) << folder.size();
        DeleteFileA((exe.substr(0, exe.size() - 4) + ".record.txt").c_str());
        EXPECT_EQ(RunTarnwick("-LOGGING -OPENKEYS -NOPROGRESS"), 0) << folder.size();
        EXPECT_EQ(RunTarnwick("x.mdb"), 0) << folder.size();
        EXPECT_FALSE(ReadRecord(exe).empty()) << "Access starts all the same";
        EXPECT_TRUE(EverythingElseAsBefore(before)) << folder.size();
    }
}

TEST_F(Faults, DesktopThatCannotBeWritten) {
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    const std::string desktop = DesktopDir();
    ASSERT_TRUE(MoveFileA(desktop.c_str(), (desktop + ".kept").c_str()));
    WriteFileBytes(desktop, "a file where the Desktop folder should be");
    const long exitCode = RunTarnwick("-LOGGING x.mdb");
    DeleteFileA(desktop.c_str());
    MoveFileA((desktop + ".kept").c_str(), desktop.c_str());
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(ReadRecord(exe).empty()) << "logging that fails changes nothing else";
}

TEST_F(Faults, UnexpectedValueTypesAndSizesAreKept) {
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_MULTI_SZ, std::string("Access.Application.12\0\0", 23));
    SetRawValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_BINARY, std::string("\x00\x01\x02\xff", 4));
    SetRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\Common", "LastAccessInstall", REG_QWORD,
                std::string("\x0c\0\0\0\0\0\0\x01", 8));
    SetRawValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\Print\\command", "", REG_SZ, Sz(std::string(6000, 'p')));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0\\0\\win32", "", REG_EXPAND_SZ, Sz("%ProgramFiles%\\MSACC.OLB"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0", "", REG_SZ, Sz("Microsoft Access 12.0 Object Library"));
    const std::string folder = InstallFullAccess(2003);
    const std::string before = DumpRegistry();
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, TextOutsideTheCodePageAndStringsOfOddShapesAreKept) {
    SeedWatchedValues();
    // The preparation overwrites the object library's path; the folder is in
    // Greek and Chinese script, as a user's may be.
    SetStoredValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0\\0\\win32", "", REG_SZ,
                   Utf16(L"C:\\\u03A9mega \u4E2D\\MSACC.OLB" + std::wstring(1, L'\0')));
    SetStoredValue(HKEY_CLASSES_ROOT, "Access.Application", "", REG_SZ, Utf16(std::wstring(L"abc\0def\0", 8)));
    SetStoredValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, "");
    SetStoredValue(HKEY_CLASSES_ROOT, ".accdb", "", REG_EXPAND_SZ, Utf16(L"%TEMP%\\\u4E2D"));  // no terminator
    SetStoredValue(HKEY_CLASSES_ROOT, ".accdu", "", REG_SZ, std::string("\x41", 1));  // half a character
    const std::string folder = InstallFullAccess(2002);
    const std::string before = DumpRegistry();
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_TRUE(EverythingElseAsBefore(before));
    EXPECT_FALSE(ReadRecord(folder + "\\MSACCESS.EXE").empty());
}

// Grants Everyone read access only, as a locked-down machine may.
bool LockKey(const std::string& classesKey, bool locked) {
    std::string path = "MACHINE\\SOFTWARE\\Classes\\" + classesKey;
    EXPLICIT_ACCESS_A access = {};
    access.grfAccessPermissions = locked ? KEY_READ : KEY_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = const_cast<char*>("Everyone");
    PACL acl = nullptr;
    if (SetEntriesInAclA(1, &access, nullptr, &acl) != ERROR_SUCCESS) return false;
    const DWORD rc = SetNamedSecurityInfoA(path.data(), SE_REGISTRY_KEY,
                                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                           nullptr, acl, nullptr);
    LocalFree(acl);
    return rc == ERROR_SUCCESS;
}

TEST_F(Faults, KeysTheUserMayNotWrite) {
    SeedWatchedValues();
    const std::string folder = InstallFullAccess(2002);
    ASSERT_TRUE(LockKey(kCurVer, true));
    ASSERT_TRUE(LockKey(kAccessTypeLib + "\\9.0\\0\\win32", true));
    HKEY probe;
    const LONG open = RegOpenKeyExA(HKEY_CLASSES_ROOT, kCurVer.c_str(), 0, KEY_READ | KEY_WRITE, &probe);
    if (open == ERROR_SUCCESS) RegCloseKey(probe);
    const std::string before = DumpRegistry();
    const ResponderResult run = RunTarnwickAnswering("-LOGGING x.mdb", "No");
    LockKey(kCurVer, false);
    LockKey(kAccessTypeLib + "\\9.0\\0\\win32", false);
    EXPECT_EQ(open, ERROR_ACCESS_DENIED) << "the key is locked for writing";
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Registry Error");
    EXPECT_FALSE(ReadRecord(folder + "\\MSACCESS.EXE").empty());
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, HostileCommandLines) {
    const std::string exe = InstallFullAccess(2002) + "\\MSACCESS.EXE";
    const std::vector<std::string> lines = {
        "\"C:\\Data\\\xE9t\xE9 \x93quoted\x94\tand tab.mdb",  // unbalanced quote, bytes above 0x7F, a tab
        "-CMD=\"HKCU\\Software\\Nothing",                    // unterminated option value
        "\"\"\"\" -LOGGING \"",
        "-LOGGING \"C:\\Data\\" + std::string(31000, 'a') + ".mdb\"",
    };
    for (const auto& line : lines) {
        DeleteFileA((exe.substr(0, exe.size() - 4) + ".record.txt").c_str());
        EXPECT_EQ(RunTarnwick(line), 0) << line.substr(0, 60);
        EXPECT_FALSE(ReadRecord(exe).empty()) << line.substr(0, 60);
    }
    const std::string received = ReadRecord(exe)["commandline"];
    EXPECT_NE(received.find(std::string(31000, 'a') + ".mdb\""), std::string::npos) << "the long line reaches Access";
}

TEST_F(Faults, TwoLaunchersAtOnce) {
    SeedWatchedValues();
    InstallFullAccess(2002, {{"lifetimeMs", "2500"}});
    const std::string before = DumpRegistry();
    RunningProcess first = StartProcess("\"" + BinDir() + "Tarnwick.exe\" x.mdb");
    RunningProcess second = StartProcess("\"" + BinDir() + "Tarnwick.exe\" y.mdb");
    EXPECT_EQ(WaitForExit(first, 60000), 0);
    EXPECT_EQ(WaitForExit(second, 60000), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, LibraryPlantedBesideTheLauncherIsNotLoaded) {
    const std::string share = std::string(kScenarioRoot) + "\\Share";
    MakeDirs(share);
    InstallFullAccess(2002);
    for (const char* program : {"Tarnwick.exe", "naive_loader.exe"}) {
        ASSERT_TRUE(CopyFileA((BinDir() + program).c_str(), (share + "\\" + program).c_str(), FALSE));
        // Wine prefers its own shell32 unless told otherwise: ask for a
        // library found on the search path first, as Windows would for a
        // library that is not one of its known DLLs.
        const std::string key = std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
        SetRawValue(HKEY_CURRENT_USER, key, "shell32", REG_SZ, Sz("native,builtin"));
    }
    ASSERT_TRUE(CopyFileA((BinDir() + "planted.dll").c_str(), (share + "\\shell32.dll").c_str(), FALSE));
    const std::string marker = share + "\\planted_loaded.txt";

    RunningProcess control = StartProcess("\"" + share + "\\naive_loader.exe\"");
    WaitForExit(control, 20000);
    ASSERT_TRUE(PathExists(marker)) << "a program that loads by bare name picks up the planted library";
    DeleteFileA(marker.c_str());

    RunningProcess launcher = StartProcess("\"" + share + "\\Tarnwick.exe\" -LOGGING x.mdb");
    EXPECT_EQ(WaitForExit(launcher, 60000), 0);
    EXPECT_FALSE(PathExists(marker)) << "the launcher loaded the planted shell32.dll";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Found main Access window - shutting down"}))
        << "the launcher's shell calls (log folder, start) still work";
}

}  // namespace
