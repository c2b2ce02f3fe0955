// Measures what users of the launcher feel, each figure beside the way
// they would otherwise do the same thing, in one run on one registry. Prints
// one line per figure: name, ours, baseline, unit.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/registry_roots.h"
#include "launcher/shared_preparation.h"
#include "permissions/work_list.h"
#include "registry/journal.h"
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
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (process) GetProcessTimes(process.get(), &created, &exited, &kernel, &user);
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

// The launcher's start-up timer, and what a launch may take beyond it and
// beyond starting Access directly.
constexpr double kStartTimerMs = 250;
constexpr double kAllowedBeyondMs = 100;

// From the start of the process given to the start of the (stand-in)
// Access process that it starts.
void TimeStartThrough(const std::string& commandLine, const std::string& access, std::vector<double>& times) {
    ForgetRecord(access);
    RunningProcess run = StartProcess(commandLine);
    const FILETIME start = CreationTime(run.pid);
    const std::string pid = ReadRecord(access, 20000)["pid"];
    if (!pid.empty()) times.push_back(Milliseconds(start, CreationTime(strtoul(pid.c_str(), nullptr, 10))));
    WaitForExit(run, 60000);
}

// From the launcher's process start to the start of the (stand-in) Access
// process; the baseline is the same program started directly, from the
// request to its process start. Then the launch's own share: that less the
// timer and the direct start, against what it may take. Beside it, turn
// about, a bare launcher that makes the same start without any of the
// launch's work: what no launch can take less than on this machine, and
// the launch's own work as the difference.
void StartupLatency(int runs) {
    const std::string access = InstallRuntime2002({{"window", "now"}, {"lifetimeMs", "100"}});
    std::vector<double> launcher, bare, direct;
    for (int i = 0; i < runs; ++i) {
        TimeStartThrough("\"" + BinDir() + "Tarnwick.exe\" -WAIT=1 x.mdb", access, launcher);
        TimeStartThrough("\"" + BinDir() + "bare_launcher.exe\" \"" + access + "\" x.mdb", access, bare);

        ForgetRecord(access);
        const FILETIME askedDirect = Now();
        RunningProcess child = StartProcess("\"" + access + "\" x.mdb");
        const std::string childPid = ReadRecord(access, 20000)["pid"];
        if (!childPid.empty()) direct.push_back(Milliseconds(askedDirect, CreationTime(strtoul(childPid.c_str(), nullptr, 10))));
        WaitForExit(child, 20000);
    }
    Report("startup_latency_median", Median(launcher), Median(direct), "ms");
    Report("startup_beyond_timer_and_direct", Median(launcher) - kStartTimerMs - Median(direct), kAllowedBeyondMs, "ms");
    const double bareBeyond = Median(bare) - kStartTimerMs - Median(direct);
    Report("startup_bare_beyond_timer_and_direct", bareBeyond, kAllowedBeyondMs, "ms");
    Report("startup_own_work", Median(launcher) - Median(bare), kAllowedBeyondMs - bareBeyond, "ms");
}

// Milliseconds of each of the runs of the step.
template <typename Step>
std::vector<double> Timed(int runs, Step step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const FILETIME start = Now();
        step();
        times.push_back(Milliseconds(start, Now()));
    }
    return times;
}

// Where a launch spends its time between its timer and the start of Access,
// step by step as the launch takes them, each in this process on the
// registry the start-up runs left behind: a note line of medians, for
// reading beside the start-up figure. The named mutexes are what a look
// costs where another launch holds a late slot; on an idle machine a look
// creates the first slot and ends there.
void StartupParts(int runs) {
    SharedObjectSecurity security;
    const auto openSet = [&security] {
        LaunchSlots slots;
        slots.Open("Global\\TarnwickBench.", security.get());
    };
    LaunchSlots held;
    held.Open("Global\\TarnwickBenchHeld.", security.get());
    const auto look = [&held] { held.OthersHolding(); };
    const auto capture = [] {
        RegistryKeyList list;
        BuildCaptureList(list);
        CaptureEntries(list);
    };
    RegistryKeyList captured;
    BuildCaptureList(captured);
    CaptureEntries(captured);
    const std::string journal = std::string(kScenarioRoot) + "\\bench\\journal.dat";
    const auto write = [&] { WriteJournal(captured.entries, journal); };
    printf("# start-up parts, medians of %d in one process, ms: one set of %d named mutexes created %.1f; a look at "
           "the free slots of a set opened whole %.1f; the catalogue captured %.1f; the machine journal written "
           "%.1f\n",
           runs, kLaunchSlotCount, Median(Timed(runs, openSet)), Median(Timed(runs, look)), Median(Timed(runs, capture)),
           Median(Timed(runs, write)));
    DeleteFileA(journal.c_str());
}

// Every catalogue value present, as a string, so that all of them are read and written.
std::vector<RegistryEntry> SeedCatalogue() {
    RegistryKeyList list;
    BuildCaptureList(list);
    for (const auto& entry : list.entries) {
        WriteRegString(RootHandle(entry.root), entry.keyPath, entry.valueName, "value of " + entry.keyPath, true);
    }
    return list.entries;
}

// One reg export per key, then one reg import per key, from a batch file.
double ExportImportPerKey(const std::string& work, const std::vector<std::string>& keys) {
    std::string batch = "@echo off\r\n";
    for (size_t i = 0; i < keys.size(); ++i) {
        batch += "reg export \"" + keys[i] + "\" \"" + work + "\\k" + std::to_string(i) + ".reg\" /y >nul\r\n";
    }
    for (size_t i = 0; i < keys.size(); ++i) batch += "reg import \"" + work + "\\k" + std::to_string(i) + ".reg\" >nul 2>&1\r\n";
    WriteFileBytes(work + "\\export_import.bat", batch);
    const FILETIME start = Now();
    RunningProcess cmd = StartProcess("cmd.exe /c \"" + work + "\\export_import.bat\"");
    WaitForExit(cmd, 3600000);
    return Milliseconds(start, Now());
}

// The export of each root whole, the exports joined (the header line of all
// but the first dropped), and one import of the joined file.
double ExportImportPerRoot(const std::string& work, const std::vector<std::string>& roots) {
    const FILETIME start = Now();
    std::string joined;
    for (size_t i = 0; i < roots.size(); ++i) {
        const std::string file = work + "\\root" + std::to_string(i) + ".reg";
        RunningProcess exporter = StartProcess("reg.exe export " + roots[i] + " \"" + file + "\" /y");
        WaitForExit(exporter, 3600000);
        std::string bytes = ReadFileBytes(file);
        if (bytes.empty()) printf("# reg export %s wrote nothing: the per-root baseline is short of it\n", roots[i].c_str());
        if (!joined.empty()) {
            // reg writes UTF-16: the header line ends at the first CR LF pair.
            const std::string lineEnd("\r\0\n\0", 4);
            const size_t header = bytes.find(lineEnd);
            bytes.erase(0, header == std::string::npos ? 0 : header + lineEnd.size());
        }
        joined += bytes;
    }
    WriteFileBytes(work + "\\roots.reg", joined);
    RunningProcess importer = StartProcess("reg.exe import \"" + work + "\\roots.reg\"");
    WaitForExit(importer, 3600000);
    return Milliseconds(start, Now());
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
    // The administrator's way, two forms. Per key: a batch file exporting
    // every catalogue key before and importing them all after, one reg
    // process each. Per root: one export of each registry root that the
    // catalogue touches and one import of the exports joined in one file.
    std::vector<std::string> keys;
    for (const auto& entry : entries) {
        const std::string key = std::string(NamesOf(entry.root).longName) + "\\" + entry.keyPath;
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    }
    const double perKey = ExportImportPerKey(work, keys);
    std::vector<std::string> roots;
    for (const RegistryRootNames& row : kRegistryRoots) {
        const bool touched = std::any_of(entries.begin(), entries.end(),
                                         [&row](const RegistryEntry& entry) { return entry.root == row.root; });
        if (touched) roots.emplace_back(row.longName);
    }
    const double perRoot = ExportImportPerRoot(work, roots);
    Report("capture_restore_memory", Median(memory), perRoot, "ms");
    Report("capture_restore_file", Median(file), perRoot, "ms");
    Report("capture_restore_memory_vs_per_key", Median(memory), perKey, "ms");
    printf("# %zu values in %zu keys below %zu roots\n", entries.size(), keys.size(), roots.size());
}

// Per key: the permissions tool over its whole work list, against the ACL
// program started once per key of the same list with the tool's command.
void PermissionsPerKey(const std::string& work) {
    const std::string tool = BinDir() + "TarnwickPermissions.exe";
    if (!PathExists(tool)) return;
    SeedCatalogue();
    std::vector<std::string> commands;
    for (const std::string& key : BuildClassesWorkList()) commands.push_back(RepermissionCommand(RepairRoot::Classes, key));
    for (const std::string& key : BuildMachineWorkList()) commands.push_back(RepermissionCommand(RepairRoot::Machine, key));
    const double keys = double(commands.size());
    FILETIME start = Now();
    RunningProcess run = StartProcess("\"" + tool + "\" noprogress");
    WaitForExit(run, 600000);
    const double ours = Milliseconds(start, Now()) / keys;
    std::string batch = "@echo off\r\n";
    for (const std::string& command : commands) batch += "\"" + BinDir() + "SetAcl.exe\" " + command + " >nul\r\n";
    WriteFileBytes(work + "\\setacl_per_key.bat", batch);
    start = Now();
    RunningProcess cmd = StartProcess("cmd.exe /c \"" + work + "\\setacl_per_key.bat\"");
    WaitForExit(cmd, 3600000);
    Report("permissions_per_key", ours, Milliseconds(start, Now()) / keys, "ms");
    printf("# permissions work list: %zu keys\n", commands.size());
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
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, run.pid));
    ReadRecord(access, 20000);
    Sleep(2000);
    const double cpuBefore = CpuMilliseconds(process.get());
    const FILETIME from = Now();
    WaitForExit(run, 120000);
    const FILETIME to = Now();
    Report("idle_cpu_during_watch", CpuMilliseconds(process.get()) - cpuBefore, Milliseconds(from, to), "ms");
}

// Eight launches started together, each with a database of its own, Access
// staying open for 20 seconds: for each launcher, in the order started, from
// its process start to the start of the Access it started (the MSACCESS.EXE
// whose parent it is); -1 for a launch whose Access did not start in 120 s.
std::vector<double> EightLaunchDelays(const std::string& launcher) {
    InstallRuntime2002({{"window", "now"}, {"lifetimeMs", "20000"}});
    std::vector<RunningProcess> runs;
    for (int i = 0; i < 8; ++i) runs.push_back(StartProcess("\"" + launcher + "\" db" + std::to_string(i) + ".mdb"));
    std::map<DWORD, size_t> launchOf;
    std::vector<FILETIME> launcherStart;
    for (const RunningProcess& run : runs) {
        if (run.pid) launchOf[run.pid] = launcherStart.size();
        launcherStart.push_back(CreationTime(run.pid));
    }
    std::vector<double> delays(runs.size(), -1);
    std::vector<DWORD> accesses;
    for (const ULONGLONG end = GetTickCount64() + 120000; accesses.size() < launchOf.size() && GetTickCount64() < end;
         Sleep(20)) {
        const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
            const auto launch = launchOf.find(entry.th32ParentProcessID);
            if (lstrcmpiA(entry.szExeFile, "msaccess.exe") != 0 || launch == launchOf.end() || delays[launch->second] >= 0) {
                continue;
            }
            const FILETIME accessStart = CreationTime(entry.th32ProcessID);
            if (accessStart.dwHighDateTime == 0) continue;
            delays[launch->second] = Milliseconds(launcherStart[launch->second], accessStart);
            accesses.push_back(entry.th32ProcessID);
        }
    }
    // Access ends first, so that every launcher puts back and ends as it would.
    for (const DWORD pid : accesses) {
        const UniqueHandle access(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        if (access) TerminateProcess(access.get(), 1);
    }
    for (RunningProcess& run : runs) WaitForExit(run, 60000);
    return delays;
}

// The delays of the launches whose Access started, and a note line of all
// eight in the order started.
std::vector<double> Started(const std::vector<double>& delays, const char* whose) {
    std::vector<double> started;
    printf("# eight launches, %s, each in ms:", whose);
    for (const double delay : delays) {
        if (delay >= 0) started.push_back(delay), printf(" %.0f", delay);
        else printf(" (no Access in 120 s)");
    }
    printf("\n");
    return started;
}

double Slowest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The eight launches with this build's launcher, and with the earlier one
// (which made launches take turns with the registry) when its path is given.
void EightLaunches(const std::string& earlierLauncher) {
    const std::vector<double> ours = Started(EightLaunchDelays(BinDir() + "Tarnwick.exe"), "ours");
    std::vector<double> earlier;
    if (!earlierLauncher.empty()) {
        Reset();
        earlier = Started(EightLaunchDelays(earlierLauncher), earlierLauncher.c_str());
    } else {
        printf("# eight launches: no earlier launcher given, its figures (0) not measured\n");
    }
    Report("eight_launches_median", Median(ours), Median(earlier), "ms");
    Report("eight_launches_slowest", Slowest(ours), Slowest(earlier), "ms");
}

}  // namespace

// tarnwick_bench [runs [earlier launcher [figure]]]: all figures, or only
// the one named (startup, capture, permissions, idle, eight); the earlier
// launcher's path, or "-" for none, is what the eight launches compare with.
int main(int argc, char** argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 21;
    const std::string earlier = argc > 2 && std::string(argv[2]) != "-" ? argv[2] : "";
    const std::string only = argc > 3 ? argv[3] : "";
    const std::string work = std::string(kScenarioRoot) + "\\bench";
    auto wanted = [&only](const char* figure) { return only.empty() || only == figure; };
    if (wanted("startup")) Reset(), MakeDirs(work), StartupLatency(runs), StartupParts(runs);
    if (wanted("capture")) Reset(), MakeDirs(work), CaptureAndRestore(work);
    if (wanted("permissions")) Reset(), MakeDirs(work), PermissionsPerKey(work);
    if (wanted("idle")) Reset(), IdleCost();
    if (wanted("eight")) Reset(), EightLaunches(earlier);
    Reset();
    return 0;
}
