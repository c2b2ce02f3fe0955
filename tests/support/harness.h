// What end-to-end scenarios under Wine share: running the programs, reading
// what they left behind, and a registry that starts pristine every time.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/handles.h"

// Folder of the test programs and the built binaries, with a trailing backslash.
std::string BinDir();
// Where the run keeps its state inside the prefix (the registry snapshot).
constexpr const char* kTestStateDir = "C:\\tarnwick-tests";
std::string DesktopDir();
std::string LocalAppDataDir();
std::string TempDir();  // with a trailing backslash
std::string LogPath();  // the launcher's log on the Desktop
std::string JournalDir();  // where launches keep the values they saved

std::string ReadFileBytes(const std::string& path, bool* exists = nullptr);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
void MakeDirs(const std::string& path);

// A program the test started. A program still running when its owner goes
// is ended then, so that a failed assertion never leaves a launcher (or a
// responder) running into the next scenario.
struct RunningProcess {
    UniqueHandle process;
    DWORD pid = 0;

    RunningProcess() = default;
    RunningProcess(UniqueHandle handle, DWORD id) : process(std::move(handle)), pid(id) {}
    RunningProcess(RunningProcess&&) = default;
    RunningProcess& operator=(RunningProcess&& other) noexcept;
    ~RunningProcess() { EndIfRunning(); }
    void EndIfRunning();
};
// With variables of its own in place of this process's (a user's TEMP, say).
RunningProcess StartProcess(const std::string& commandLine, const std::map<std::string, std::string>& environment = {});
// With a standard user's token: this one's, with the administrators group
// for denying only. No process when the token or the process cannot be made.
RunningProcess StartAsStandardUser(const std::string& commandLine);
// Waits for the process and closes its handle; the exit code, or -1 when it
// did not end in time (it is killed then).
long WaitForExit(RunningProcess& p, DWORD timeoutMs);
// Whether the process of the id (as a stand-in records it) has ended.
::testing::AssertionResult ProcessEnded(const std::string& pid);
// Ends the process of the id, and waits a little for its end.
void EndProcess(const std::string& pid);

// Folders of a user of its own (n): a launcher started with them stands in
// for another user's launch, as far as Wine tells users apart (one
// registry, one account): its temporary, profile and application-data
// folders, as environment variables for StartProcess.
std::map<std::string, std::string> UserFolders(int n);
// The record of the Access that user n's launch started (a stand-in with
// "recordInTemp" writes one into the temporary folder of its user).
std::map<std::string, std::string> AccessRecordOfUser(int n, DWORD waitMs = 0);

// The launcher started with the argument text.
RunningProcess StartTarnwick(const std::string& arguments);
// The launcher run with the argument text; its exit code (or -1 on time-out).
long RunTarnwick(const std::string& arguments, DWORD timeoutMs = 60000);

// One message box as the responder saw it.
struct BoxRecord {
    std::string caption, text, icon, buttons, owner, visible;
};
struct ResponderResult {
    long exitCode = -1;
    std::vector<BoxRecord> boxes;
};
// The responder, watching the process for the number of boxes (0: every box
// until the process ends), pressing the button ("none": nothing) and
// writing what it saw to the record file.
RunningProcess StartResponder(DWORD pid, const std::string& button, const std::string& record, DWORD timeoutMs,
                              int boxes);
// Runs the launcher while the responder answers its boxes with the button;
// boxes 0 answers every box until the launcher ends.
ResponderResult RunTarnwickAnswering(const std::string& arguments, const std::string& button, int boxes = 1,
                                     DWORD timeoutMs = 60000);

// A visible dialog or message box of the process, waiting up to the time
// for one; null when none came.
HWND WaitForDialog(DWORD pid, DWORD timeoutMs);

// Wine's per-program Windows version: "winxp", "nt40", "win98", "win7".
void SetWindowsVersionFor(const std::string& exeName, const std::string& version);

// Ends every stand-in process left running, and any launcher.
void KillStandIns();

// Every scenario starts from the registry saved when the prefix was made,
// and without a log from an earlier scenario.
class Scenario : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { KillStandIns(); }
};

// The log's lines without their CR LF ends (a "\r\n\t" inside an entry stays).
std::vector<std::string> LogLines();
// Whether the lines hold the expected ones one right after the other.
// The lines that start with the label.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& label);
::testing::AssertionResult HasConsecutiveLines(const std::vector<std::string>& lines,
                                               const std::vector<std::string>& expected);

// Compares the registry with a DumpRegistry() taken before, listing what
// changed; with kOutsideTheUsersHive, all but HKEY_CURRENT_USER.
constexpr bool kOutsideTheUsersHive = true;
::testing::AssertionResult SameRegistryAs(const std::string& before, bool outsideTheUsersHive = false);
// The same, once the settings a launch makes for good (and the object
// library's FLAGS and HELPDIR, which registering it adds) are removed.
::testing::AssertionResult EverythingElseAsBefore(const std::string& before);

// Registry keys the scenarios seed and check.
inline const std::string kCurVer = "Access.Application\\CurVer";
inline const std::string kAccessTypeLib = "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}";

// String data as the registry stores it: the text and its terminator.
inline std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

::testing::AssertionResult KeyExists(HKEY root, const std::string& key);

// Windows Installer keeps its data in the 64-bit view on 64-bit Windows,
// whatever the width of the program that asks.
constexpr REGSAM kInstallerView = KEY_WOW64_64KEY;

// A value as "REG_SZ:text", "REG_EXPAND_SZ:text", "REG_DWORD:123",
// "type N:hex" or "missing", read and written with the plain API.
// view: 0 for the program's own registry view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
std::string RawValue(HKEY root, const std::string& key, const std::string& name, REGSAM view = 0);
void SetRawValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& data,
                 REGSAM view = 0);
void SetRawDword(HKEY root, const std::string& key, const std::string& name, DWORD value, REGSAM view = 0);
// A value as "type N:hex" of its bytes as stored (strings as UTF-16), or
// "missing", read with the wide API; and the same bytes written exactly.
std::string StoredValue(HKEY root, const std::string& key, const std::string& name);
void SetStoredValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& bytes);
// UTF-16 text as its bytes, for stored values.
std::string Utf16(const std::wstring& text);
// When a key was last written to (RegQueryInfoKey), or zero when it is missing.
ULONGLONG KeyWriteTime(HKEY root, const std::string& key);

// The Access trusted locations of a generation's container ("12.0", "14.0").
struct TrustedLocation {
    std::string name, path, allowSubfolders;  // path and flag as RawValue gives them
};
std::vector<TrustedLocation> TrustedLocationsOf(const std::string& version);

// Installations and files of a scenario live below this folder, which every
// scenario starts without.
constexpr const char* kScenarioRoot = "C:\\TarnwickScenario";

// Copies a stand-in program to the path (fake_access.exe unless another is
// named) and writes its settings file: [fake] values, then the registry
// values to record as "<root name>\<key>|<value name>".
void PlaceFakeProgram(const std::string& exePath, const std::map<std::string, std::string>& settings = {},
                      const std::vector<std::string>& reads = {}, const std::string& standIn = "fake_access.exe",
                      const std::vector<std::string>& writes = {});
// The record a stand-in wrote at start, waiting up to the time for it.
std::map<std::string, std::string> ReadRecord(const std::string& exePath, DWORD waitMs = 5000);
// Deletes the stand-in's record, so that the next ReadRecord waits for a new run.
void ForgetRecord(const std::string& exePath);
// A full edition: the fake at <scenario root>\Office<year>\MSACCESS.EXE with a
// stand-in MSACC.OLB beside it, and its shell open command (in the given
// form, or the usual quoted one).
std::string InstallFullAccess(int year, const std::map<std::string, std::string>& settings = {},
                              const std::string& command = "", const std::vector<std::string>& reads = {},
                              const std::vector<std::string>& writes = {});
// Access 2013 or 2016 as one way of installing it records it, with the
// stand-in as its MSACCESS.EXE (none with withExe false):
//   ShellCommand: <scenario root>\Office<year>, its shell open command;
//   Installer32/64: <scenario root>\Installer<year>, the value of its
//     MSACCESS.EXE component (32- or 64-bit) under UserData\S-1-5-18;
//   ClickToRun: <scenario root>\Microsoft Office\root\Office15|16, with
//     the configuration (Platform, ProductReleaseIds) in the 64-bit view.
// Returns the MSACCESS.EXE path.
enum class InstallKind { ShellCommand, Installer32, Installer64, ClickToRun };
struct NewerAccess {
    int year = 2016;
    InstallKind kind = InstallKind::ClickToRun;
    std::string platform = "x64";
    std::string products = "O365ProPlusRetail";
    bool withExe = true;
};
std::string InstallNewerAccess(const NewerAccess& install, const std::vector<std::string>& reads = {},
                               const std::map<std::string, std::string>& settings = {});
// The 2002 runtime at <scenario root>\Runtime10 (with a stand-in MSACC.OLB),
// registered under the machine-wide component key; returns its MSACCESS.EXE.
std::string InstallRuntime2002(const std::map<std::string, std::string>& settings = {},
                               const std::vector<std::string>& reads = {});
// The 2002 runtime's Windows Installer component value, under the given
// component key path (below HKEY_LOCAL_MACHINE).
void RegisterRuntime(const std::string& componentKey, const std::string& valueName, const std::string& location);
std::string RuntimeComponentKey();  // the machine-wide Components key of the 2002 runtime
inline const std::string kRuntimeValueName = "9040C10900063D11C8EF00054038389C";  // its value there
