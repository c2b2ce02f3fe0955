// Measures what users of the launcher feel, each figure beside the way
// they would otherwise do the same thing, in one run on one registry. Prints
// one line per figure: name, ours, baseline, unit.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "registry/key_list.h"
#include "registry/registry_access.h"
#include "tests/support/harness.h"
#include "tests/support/registry_snapshot.h"

namespace {

double Milliseconds(const FILETIME& from, const FILETIME& to) {
    const auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(LONGLONG(ticks(to) - ticks(from))) / 10000.0;
}

FILETIME Now() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return now;
}

FILETIME CreationTime(DWORD pid) {
    FILETIME created = {}, exited, kernel, user;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        GetProcessTimes(process, &created, &exited, &kernel, &user);
        CloseHandle(process);
    }
    return created;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void Report(const char* name, double ours, double baseline, const char* unit) {
    printf("%s\t%.1f\t%.1f\t%s\n", name, ours, baseline, unit);
    fflush(stdout);
}

void Reset() {
    KillStandIns();
    ResetRegistryToSnapshot(std::string(kTestStateDir) + "\\pristine.snap");
}

// From the launcher's process start to the start of the (stand-in) Access
// process; the baseline is the same program started directly, from the
// request to its process start.
void StartupLatency(int runs) {
    const std::string access = InstallRuntime2002({{"window", "now"}, {"lifetimeMs", "100"}});
    const std::string record = access.substr(0, access.size() - 4) + ".record.txt";
    std::vector<double> launcher, direct;
    for (int i = 0; i < runs; ++i) {
        DeleteFileA(record.c_str());
        RunningProcess run = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -WAIT=1 x.mdb");
        const FILETIME launcherStart = CreationTime(run.pid);
        const std::string pid = ReadRecord(access, 20000)["pid"];
        if (!pid.empty()) launcher.push_back(Milliseconds(launcherStart, CreationTime(strtoul(pid.c_str(), nullptr, 10))));
        WaitForExit(run, 60000);

        DeleteFileA(record.c_str());
        const FILETIME askedDirect = Now();
        RunningProcess child = StartProcess("\"" + access + "\" x.mdb");
        const std::string childPid = ReadRecord(access, 20000)["pid"];
        if (!childPid.empty()) direct.push_back(Milliseconds(askedDirect, CreationTime(strtoul(childPid.c_str(), nullptr, 10))));
        WaitForExit(child, 20000);
    }
    Report("startup_latency_median", Median(launcher), Median(direct), "ms");
}

// Every catalogue value present, as a string, so that all of them are read and written.
std::vector<RegistryEntry> SeedCatalogue() {
    RegistryKeyList list;
    BuildCaptureList(list);
    HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (const auto& entry : list.entries) {
        WriteRegString(roots[int(entry.root)], entry.keyPath, entry.valueName, "value of " + entry.keyPath, true);
    }
    return list.entries;
}

void CaptureAndRestore(const std::string& work) {
    const std::vector<RegistryEntry> entries = SeedCatalogue();
    const int rounds = 10;
    std::vector<double> memory, file;
    for (int i = 0; i < rounds; ++i) {
        RegistryKeyList list;
        BuildCaptureList(list);
        FILETIME start = Now();
        CaptureEntries(list);
        RestoreEntries(list);
        memory.push_back(Milliseconds(start, Now()));
        RegistryKeyList viaFile;
        viaFile.useSnapshotFile = 1;
        BuildCaptureList(viaFile);
        start = Now();
        CaptureEntries(viaFile);
        RestoreEntries(viaFile);
        file.push_back(Milliseconds(start, Now()));
    }
    // The administrator's way: a batch file exporting every catalogue key
    // before and importing them all after.
    std::vector<std::string> keys;
    for (const auto& entry : entries) {
        const std::string key = std::string(NamesOf(entry.root).longName) + "\\" + entry.keyPath;
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    }
    std::string batch = "@echo off\r\n";
    for (size_t i = 0; i < keys.size(); ++i) {
        batch += "reg export \"" + keys[i] + "\" \"" + work + "\\k" + std::to_string(i) + ".reg\" /y >nul\r\n";
    }
    for (size_t i = 0; i < keys.size(); ++i) batch += "reg import \"" + work + "\\k" + std::to_string(i) + ".reg\" >nul 2>&1\r\n";
    WriteFileBytes(work + "\\export_import.bat", batch);
    const FILETIME start = Now();
    RunningProcess cmd = StartProcess("cmd.exe /c \"" + work + "\\export_import.bat\"");
    WaitForExit(cmd, 3600000);
    const double byHand = Milliseconds(start, Now());
    Report("capture_restore_memory", Median(memory), byHand, "ms");
    Report("capture_restore_file", Median(file), byHand, "ms");
    printf("# %zu values in %zu keys\n", entries.size(), keys.size());
}

// Per key: the permissions tool over its whole list, against the ACL
// program started once per key.
void PermissionsPerKey(const std::string& work) {
    const std::string tool = BinDir() + "TarnwickPermissions.exe";
    if (!PathExists(tool)) return;
    SeedCatalogue();
    const int keys = 165;
    FILETIME start = Now();
    RunningProcess run = StartProcess("\"" + tool + "\" noprogress");
    WaitForExit(run, 600000);
    const double ours = Milliseconds(start, Now()) / keys;
    std::string batch = "@echo off\r\n";
    RegistryKeyList list;
    BuildCaptureList(list);
    int lines = 0;
    for (const auto& entry : list.entries) {
        if (lines == keys) break;
        const std::string root = entry.root == RegRoot::ClassesRoot ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES" : std::string(NamesOf(entry.root).longName);
        batch += "\"" + BinDir() + "SetAcl.exe\" -on \"" + root + "\\" + entry.keyPath +
                 "\" -ot reg -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\" -actn clear -clr \"dacl,sacl\" >nul\r\n";
        ++lines;
    }
    WriteFileBytes(work + "\\setacl_per_key.bat", batch);
    start = Now();
    RunningProcess cmd = StartProcess("cmd.exe /c \"" + work + "\\setacl_per_key.bat\"");
    WaitForExit(cmd, 3600000);
    Report("permissions_per_key", ours, Milliseconds(start, Now()) / lines, "ms");
}

double CpuMilliseconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    const FILETIME zero = {};
    return Milliseconds(zero, kernel) + Milliseconds(zero, user);
}

// CPU time the launcher uses while it watches a running Access for about 20
// seconds: from two seconds after Access started (its main window is found
// by then) to the launcher's end, which includes putting the registry back.
void IdleCost() {
    const std::string access = InstallRuntime2002({{"window", "now"}, {"lifetimeMs", "40000"}});
    RunningProcess run = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -WAIT=20000 x.mdb");
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, run.pid);
    ReadRecord(access, 20000);
    Sleep(2000);
    const double cpuBefore = CpuMilliseconds(process);
    const FILETIME from = Now();
    WaitForExit(run, 120000);
    const FILETIME to = Now();
    Report("idle_cpu_during_watch", CpuMilliseconds(process) - cpuBefore, Milliseconds(from, to), "ms");
    CloseHandle(process);
}

}  // namespace

// tarnwick_bench [runs [figure]]: all figures, or only the one named
// (startup, capture, permissions, idle).
int main(int argc, char** argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 21;
    const std::string only = argc > 2 ? argv[2] : "";
    const std::string work = std::string(kScenarioRoot) + "\\bench";
    auto wanted = [&only](const char* figure) { return only.empty() || only == figure; };
    if (wanted("startup")) Reset(), MakeDirs(work), StartupLatency(runs);
    if (wanted("capture")) Reset(), MakeDirs(work), CaptureAndRestore(work);
    if (wanted("permissions")) Reset(), MakeDirs(work), PermissionsPerKey(work);
    if (wanted("idle")) Reset(), IdleCost();
    Reset();
    return 0;
}
