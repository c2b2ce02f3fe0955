// Faults and hostile input: whatever happens, the program ends with 0 and
// every value it captured is back.
#include "tests/support/harness.h"

#include <algorithm>
#include <random>

#include "registry/snapshot.h"
#include "tests/support/permissions_harness.h"
#include "tests/support/registry_snapshot.h"

namespace {

using Faults = Scenario;

// Catalogue values the preparation overwrites, so that their return is seen.
void SeedWatchedValues() {
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.12"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0\\0\\win32", "", REG_SZ, Sz("C:\\Office12\\MSACC.OLB"));
    SetRawValue(HKEY_CLASSES_ROOT, kAccessTypeLib + "\\9.0", "", REG_SZ, Sz("Microsoft Access 12.0 Object Library"));
    SetRawDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\Common", "LastAccessInstall", 12);
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

// A file whose last line, LastAccessInstall = 4294967295, is cut at a block
// boundary right after the digits "4294967"; the line in front names nothing.
std::string CutInsideTheLastNumber() {
    const std::string last = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\tLastAccessInstall=REG_DWORD\t4294967295\n";
    const size_t kept = last.find("4294967295") + 7;
    std::string first = "HKEY_ELSEWHERE\\K\t=REG_SZ\tv";
    while ((first.size() + 1 + kept) % 8 != 0) first += 'v';
    first += '\n';
    return EncipherSnapshot(first + last).substr(0, first.size() + kept);
}

// Files of the temporary folder whose names start with the snapshot file's name.
std::vector<std::string> SnapshotFilesInTemp() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((TempDir() + "~ZQReg.dat*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST_F(Faults, ExecutableGoneBetweenDiscoveryAndStart) {
    SeedWatchedValues();
    const std::string folder = InstallFullAccess(2002);
    DeleteFileA((folder + "\\MSACC.OLB").c_str());  // the registration fails: the question holds the launch
    const std::string before = DumpRegistry();
    RunningProcess launcher = StartTarnwick("-LOGGING x.mdb");
    HWND box = WaitForDialog(launcher.pid, 20000);
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
    ForgetRecord(exe);
    RunningProcess launcher = StartTarnwick("-LOGGING x.mdb");
    const std::string pid = ReadRecord(exe, 20000)["pid"];
    ASSERT_FALSE(pid.empty());
    Sleep(1500);
    const UniqueHandle access(OpenProcess(PROCESS_TERMINATE, FALSE, strtoul(pid.c_str(), nullptr, 10)));
    ASSERT_TRUE(access) << "Access " << pid << " cannot be opened to end it";
    TerminateProcess(access.get(), 1);
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
        {"cut at a block boundary inside its last line", CutInsideTheLastNumber()},
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

// Restore mode writes into the machine's keys what it reads from a folder the
// user can write to: a value far larger than any captured one, or of a type
// no registry has, is refused with a log line each, and the rest applies.
TEST_F(Faults, RestoreRefusesOversizedAndOddlyTypedLinesAndLogsEach) {
    SeedWatchedValues();
    const std::string file = TempDir() + "~ZQReg.dat";
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("before"));
    WriteFileBytes(file, EncipherSnapshot("HKEY_CLASSES_ROOT\\" + kCurVer + "\t=REG_SZ\t" + std::string(70000, 'c') +
                                          "\n"
                                          "HKEY_CLASSES_ROOT\\.mdb\t=REG_RAW_HEX\t4294967295:0x01\n"
                                          "HKEY_CLASSES_ROOT\\.mde\t=REG_SZ\tAccess.MDEFile\n"));
    EXPECT_EQ(RunTarnwick("-LOGGING -RESTORE"), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:before");
    EXPECT_NE(RawValue(HKEY_CLASSES_ROOT, ".mdb", "").rfind("type 4294967295", 0), 0u);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, ".mde", ""), "REG_SZ:Access.MDEFile");
    const auto lines = LogLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("Restore refused a line: ", 0) == 0; }),
              2);
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
        ForgetRecord(exe);
        EXPECT_EQ(RunTarnwick("-LOGGING -OPENKEYS -NOPROGRESS"), 0) << folder.size();
        EXPECT_EQ(RunTarnwick("x.mdb"), 0) << folder.size();
        EXPECT_FALSE(ReadRecord(exe).empty()) << "Access starts all the same";
        EXPECT_TRUE(EverythingElseAsBefore(before)) << folder.size();
    }
}

TEST_F(Faults, CaptureIntoAMissingTemporaryFolderIsLogged) {
    SeedWatchedValues();
    Environment temp("TEMP", "C:\\Nowhere\\Temp"), tmp("TMP", "C:\\Nowhere\\Temp");
    EXPECT_EQ(RunTarnwick("-LOGGING -CAPTURE"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"-capture",
                                                 "Capture failed: the snapshot file C:\\Nowhere\\Temp\\~ZQReg.dat could "
                                                 "not be written (CreateFileA, Windows error 3)",
                                                 "Exiting Tarnwick"}));
}

TEST_F(Faults, CaptureThatCannotTakeTheFileNameIsLoggedAndLeavesNothingBehind) {
    SeedWatchedValues();
    const std::string file = TempDir() + "~ZQReg.dat";
    // A folder where the file should go.
    ASSERT_TRUE(CreateDirectoryA(file.c_str(), nullptr));
    EXPECT_EQ(RunTarnwick("-LOGGING -CAPTURE"), 0);
    const auto failures = LinesStartingWith(LogLines(), "Capture failed: the snapshot file " + file + " could not be written (");
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(SnapshotFilesInTemp(), std::vector<std::string>{"~ZQReg.dat"}) << "no partial file is left";
    const std::string before = DumpRegistry();
    DeleteFileA(LogPath().c_str());
    EXPECT_EQ(RunTarnwick("-LOGGING -RESTORE"), 0);
    EXPECT_EQ(LinesStartingWith(LogLines(), "Restore put back nothing: no usable snapshot file " + file).size(), 1u);
    EXPECT_TRUE(SameRegistryAs(before));
    RemoveDirectoryA(file.c_str());

    // An earlier file held open by another program: it keeps what it held.
    const std::string earlier = EncipherSnapshot("HKEY_CLASSES_ROOT\\" + kCurVer + "\t=REG_SZ\tAccess.Application.9\n");
    WriteFileBytes(file, earlier);
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DeleteFileA(LogPath().c_str());
    EXPECT_EQ(RunTarnwick("-LOGGING -CAPTURE"), 0);
    CloseHandle(held);
    EXPECT_EQ(LinesStartingWith(LogLines(), "Capture failed: the snapshot file " + file).size(), 1u);
    EXPECT_EQ(ReadFileBytes(file), earlier);
    EXPECT_EQ(SnapshotFilesInTemp(), std::vector<std::string>{"~ZQReg.dat"}) << "no partial file is left";
    DeleteFileA(file.c_str());
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

// Grants Everyone read access only, as a locked-down machine may, or
// gives the key back.
::testing::AssertionResult LockKey(const std::string& classesKey, bool locked) {
    const std::string key = "SOFTWARE\\Classes\\" + classesKey;
    if (!locked) {
        UnlockKey(HKEY_LOCAL_MACHINE, key);
        return ::testing::AssertionSuccess();
    }
    return SeedKey(HKEY_LOCAL_MACHINE, key, "D:P(A;OICI;KR;;;WD)");
}

TEST_F(Faults, KeysTheUserMayNotWrite) {
    SeedWatchedValues();
    const std::string folder = InstallFullAccess(2002);
    ASSERT_TRUE(LockKey(kCurVer, true));
    ASSERT_TRUE(LockKey(kAccessTypeLib + "\\9.0\\0\\win32", true));
    const LONG open = OpenForWriting(HKEY_CLASSES_ROOT, kCurVer);
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
        ForgetRecord(exe);
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
    RunningProcess first = StartTarnwick("x.mdb");
    RunningProcess second = StartTarnwick("y.mdb");
    EXPECT_EQ(WaitForExit(first, 60000), 0);
    EXPECT_EQ(WaitForExit(second, 60000), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, TwoLoggingLaunchersAtOnceBothKeepTheirLog) {
    SeedWatchedValues();
    InstallFullAccess(2002, {{"lifetimeMs", "4000"}});
    const std::string before = DumpRegistry();
    RunningProcess first = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING x.mdb");
    RunningProcess second = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING y.mdb");
    EXPECT_EQ(WaitForExit(first, 60000), 0);
    EXPECT_EQ(WaitForExit(second, 60000), 0);
    const auto lines = LogLines();
    EXPECT_EQ(LinesStartingWith(lines, "Command line: -LOGGING x.mdb").size(), 1u);
    EXPECT_EQ(LinesStartingWith(lines, "Command line: -LOGGING y.mdb").size(), 1u);
    EXPECT_EQ(LinesStartingWith(lines, "Another Tarnwick has prepared the registry for this Access: sharing its "
                                       "preparation")
                  .size(),
              1u);
    EXPECT_EQ(LinesStartingWith(lines, "Exiting application").size(), 2u);
    // Lines of the two runs may alternate, but none is torn apart.
    const std::string separator(51, '=');
    EXPECT_EQ(std::count(lines.begin(), lines.end(), separator), 4);
    for (const auto& line : lines) {
        if (line.find('=') == 0) {
            EXPECT_EQ(line, separator);
        }
        EXPECT_EQ(line.find("Tarnwick_", 1), std::string::npos) << line;
        EXPECT_EQ(line.find("Command line: ", 1), std::string::npos) << line;
    }
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

TEST_F(Faults, LibraryPlantedBesideTheLauncherIsNotLoaded) {
    const std::string share = std::string(kScenarioRoot) + "\\Share";
    MakeDirs(share);
    InstallFullAccess(2002);
    // shell32 and ole32 are loaded at start for the log folder and the start
    // of Access, psapi for the running-Access check of restore mode.
    for (const char* library : {"shell32", "ole32", "psapi"}) {
        for (const char* program : {"Tarnwick.exe", "naive_loader.exe"}) {
            ASSERT_TRUE(CopyFileA((BinDir() + program).c_str(), (share + "\\" + program).c_str(), FALSE));
            // Wine prefers its own libraries unless told otherwise: ask for a
            // library found on the search path first, as Windows would for a
            // library that is not one of its known DLLs.
            const std::string key = std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
            SetRawValue(HKEY_CURRENT_USER, key, library, REG_SZ, Sz("native,builtin"));
        }
        const std::string planted = share + "\\" + library + ".dll";
        ASSERT_TRUE(CopyFileA((BinDir() + "planted.dll").c_str(), planted.c_str(), FALSE));
        const std::string marker = share + "\\planted_loaded.txt";

        RunningProcess control = StartProcess("\"" + share + "\\naive_loader.exe\" " + library + ".dll");
        WaitForExit(control, 20000);
        ASSERT_TRUE(PathExists(marker)) << "a program that loads " << library << " by bare name picks up the planted library";
        DeleteFileA(marker.c_str());

        RunningProcess launcher = StartProcess("\"" + share + "\\Tarnwick.exe\" -LOGGING x.mdb");
        EXPECT_EQ(WaitForExit(launcher, 60000), 0);
        RunningProcess restore = StartProcess("\"" + share + "\\Tarnwick.exe\" -LOGGING -RESTORE");
        EXPECT_EQ(WaitForExit(restore, 60000), 0);
        EXPECT_FALSE(PathExists(marker)) << "the launcher loaded the planted " << library << ".dll";
        EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Found main Access window - shutting down"}))
            << "the launcher's shell calls (log folder, start) still work";
        DeleteFileA(planted.c_str());
    }
}

}  // namespace
