// What end-to-end scenarios under Wine share: running the programs, reading
// what they left behind, and a registry that starts pristine every time.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// Folder of the test programs and the built binaries, with a trailing backslash.
std::string BinDir();
// Where the run keeps its state inside the prefix (the registry snapshot).
constexpr const char* kTestStateDir = "C:\\tarnwick-tests";
std::string DesktopDir();
std::string LocalAppDataDir();
std::string TempDir();  // with a trailing backslash
std::string LogPath();  // the launcher's log on the Desktop

std::string ReadFileBytes(const std::string& path, bool* exists = nullptr);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
void MakeDirs(const std::string& path);

struct RunningProcess {
    HANDLE process = nullptr;
    DWORD pid = 0;
};
RunningProcess StartProcess(const std::string& commandLine);
// Waits for the process and closes its handle; the exit code, or -1 when it
// did not end in time (it is killed then).
long WaitForExit(RunningProcess& p, DWORD timeoutMs);

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
// Runs the launcher while the responder answers its boxes with the button;
// boxes 0 answers every box until the launcher ends.
ResponderResult RunTarnwickAnswering(const std::string& arguments, const std::string& button, int boxes = 1,
                                     DWORD timeoutMs = 60000);

// Wine's per-program Windows version: "winxp", "nt40", "win98", "win7".
void SetWindowsVersionFor(const std::string& exeName, const std::string& version);

// Every scenario starts from the registry saved when the prefix was made,
// and without a log from an earlier scenario.
class Scenario : public ::testing::Test {
protected:
    void SetUp() override;
};

// The log's lines without their CR LF ends (a "\r\n\t" inside an entry stays).
std::vector<std::string> LogLines();
// Whether the lines hold the expected ones one right after the other.
::testing::AssertionResult HasConsecutiveLines(const std::vector<std::string>& lines,
                                               const std::vector<std::string>& expected);
