// Launches that overlap, and launches that never reach their restore: the
// values from before the first launch are what the machine ends with.
#include "tests/support/harness.h"

#include <sddl.h>

#include <algorithm>
#include <iostream>
#include <map>

#include "launcher/shared_preparation.h"
#include "tests/support/registry_snapshot.h"

namespace {

using SharedLaunches = Scenario;
using UnfinishedLaunches = Scenario;

constexpr const char* kCommon = "SOFTWARE\\Microsoft\\Office\\Common";
constexpr const char* kSecurity2003 = "Software\\Microsoft\\Office\\11.0\\Access\\Security";

const std::string kCurVerBefore = "REG_SZ:Access.Application.12";
const std::string kCurVer2003 = "REG_SZ:Access.Application.11";
const std::string kLastInstallBefore = "REG_DWORD:12";
const std::string kLevelBefore = "REG_DWORD:3";
const std::string kLevelPrepared = "REG_DWORD:1";
const std::string kPutBackLine = "Put back the registry values of an unfinished launch";
const std::string kJournalName = "\\~ZQJournal.dat";

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

const std::string kSharingLine = "Another Tarnwick has prepared the registry for this Access: sharing its preparation";

// Eight users start the launcher within a second, each in a session of its
// own: none waits for another's restore, every Access starts on the
// prepared registry, and once the last launch has finished the machine is
// as before the first. With the first launch ended by force while the
// others run, the others still put everything back.
class ManyLaunches : public Scenario, public ::testing::WithParamInterface<bool> {};

TEST_P(ManyLaunches, EightShareOnePreparationWithoutWaitingAndTheLastPutsItBack) {
    const bool endFirstByForce = GetParam();
    constexpr int kLaunches = 8;
    SeedWatchedValues();
    InstallRuntime2002({{"lifetimeMs", "12000"}, {"recordInTemp", "1"}},
                       {std::string("HKEY_CLASSES_ROOT\\") + kCurVer + "|"});
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();

    std::vector<RunningProcess> launchers;
    std::vector<DWORD> startedAt, accessAt(kLaunches, 0);
    for (int n = 0; n < kLaunches; ++n) {
        startedAt.push_back(GetTickCount());
        launchers.push_back(StartProcess(
            "\"" + BinDir() + "Tarnwick.exe\" -LOGGING user" + std::to_string(n) + ".mdb", UserFolders(n)));
        ASSERT_TRUE(launchers.back().process);
        // The launch to end by force must be the one that saved the values.
        if (n == 0 && endFirstByForce) {
            ASSERT_FALSE(AccessRecordOfUser(0, 20000).empty());
        }
    }
    for (int found = 0; found < kLaunches && GetTickCount() - startedAt[0] < 120000; Sleep(20)) {
        for (int n = 0; n < kLaunches; ++n) {
            if (!accessAt[n] && !AccessRecordOfUser(n).empty()) accessAt[n] = GetTickCount(), ++found;
        }
    }
    std::string figures;
    for (int n = 0; n < kLaunches; ++n) figures += " " + std::to_string(accessAt[n] - startedAt[n]);
    std::cout << "launcher started to its Access started, ms:" << figures << "\n";

    // Every Access started while the first still ran (it lives 12 s; eight
    // starts take about 2 s here): no launch waited for the first one to put
    // the registry back.
    const std::string firstAccess = AccessRecordOfUser(0)["pid"];
    EXPECT_FALSE(ProcessEnded(firstAccess)) << "all eight Access started only after the first had ended:" << figures;
    for (int n = 0; n < kLaunches; ++n) {
        auto record = AccessRecordOfUser(n);
        EXPECT_NE(record["commandline"].find("user" + std::to_string(n) + ".mdb"), std::string::npos) << n;
        EXPECT_EQ(record["read.1"], "REG_SZ:Access.Application.10") << "user " << n << "'s Access on a prepared registry";
    }
    if (endFirstByForce) {
        TerminateProcess(launchers[0].process.get(), 1);
        WaitForExit(launchers[0], 5000);
        EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.10") << "the others still use it";
    }
    for (int n = endFirstByForce ? 1 : 0; n < kLaunches; ++n) EXPECT_EQ(WaitForExit(launchers[n], 60000), 0) << n;

    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_TRUE(EverythingElseAsBefore(before));
    EXPECT_FALSE(PathExists(JournalDir() + kJournalName));
    const auto lines = LogLines();
    EXPECT_EQ(LinesStartingWith(lines, "Saving default registry settings").size(), 1u);
    EXPECT_EQ(LinesStartingWith(lines, kSharingLine).size(), size_t(kLaunches - 1));
    EXPECT_EQ(LinesStartingWith(lines, "Restoring registry keys").size(), 1u);
    EXPECT_EQ(LinesStartingWith(lines, "Waiting for another Tarnwick to put the registry back").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Users, ManyLaunches, ::testing::Bool(), [](const auto& info) {
    return info.param ? "FirstEndedByForce" : "AllEndByThemselves";
});

// Two launches of one user for Access 2003, which also lowers the user's
// macro security level: the second shares at once and takes the level the
// first saved (not the lowered one it finds); the first ends first and
// leaves the registry to the second, which puts back the machine's values
// and the user's level.
TEST_F(SharedLaunches, ASecondLaunchOfTheUserSharesAndTheLastPutsBackTheUsersOwnValuesToo) {
    SeedWatchedValues();
    const std::string exe =
        InstallFullAccess(2003, {{"lifetimeMs", "0"}}, "", {std::string("HKEY_CLASSES_ROOT\\") + kCurVer + "|"}) +
        "\\MSACCESS.EXE";
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();

    RunningProcess first = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING -WAIT=0 first.mdb");
    const std::string firstAccess = ReadRecord(exe, 20000)["pid"];
    ASSERT_FALSE(firstAccess.empty());
    ASSERT_EQ(RawValue(HKEY_CURRENT_USER, kSecurity2003, "Level"), kLevelPrepared);
    // The program file is in use: only the settings of the next start change.
    ForgetRecord(exe);
    WriteFileBytes(exe.substr(0, exe.size() - 4) + ".ini",
                   std::string("[fake]\r\nlifetimeMs=6000\r\n[read]\r\n1=HKEY_CLASSES_ROOT\\") + kCurVer + "|\r\n");
    RunningProcess second = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING second.mdb");
    auto secondRecord = ReadRecord(exe, 20000);
    ASSERT_NE(secondRecord["commandline"].find("second.mdb"), std::string::npos);
    EXPECT_EQ(secondRecord["read.1"], kCurVer2003);

    EndProcess(firstAccess);
    EXPECT_EQ(WaitForExit(first, 30000), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), kCurVer2003) << "the second launch still uses the preparation";
    EXPECT_EQ(WaitForExit(second, 30000), 0);
    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_TRUE(EverythingElseAsBefore(before));
    const auto lines = LogLines();
    EXPECT_EQ(LinesStartingWith(lines, kSharingLine).size(), 1u);
    EXPECT_EQ(
        LinesStartingWith(lines, "Other Tarnwick launches still use the prepared registry: the last of them puts it back")
            .size(),
        1u);
    EXPECT_EQ(LinesStartingWith(lines, "Restoring registry keys").size(), 1u);
}

// Launches of two different Access overlap: the first prepared the 2002
// runtime; the runtime is then gone for the second, which picks full 2003.
// The second waits until the first has put the registry back, and only
// then saves and prepares for its own Access; after both, the machine is as
// before the first. (A launch that waits for its Access without limit lets
// such a launch go on at once: the first waits a bounded time.)
TEST_F(SharedLaunches, ALaunchForAnotherAccessWaitsUntilTheRunningOneHasPutTheRegistryBack) {
    SeedWatchedValues();
    const std::vector<std::string> readCurVer = {"HKEY_CLASSES_ROOT\\" + std::string(kCurVer) + "|"};
    const std::string full = InstallFullAccess(2003, {{"lifetimeMs", "500"}}, "", readCurVer) + "\\MSACCESS.EXE";
    const std::string runtime = InstallRuntime2002({{"lifetimeMs", "3000"}}, readCurVer);
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();

    RunningProcess first = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING -WAIT=3000 first.mdb");
    const auto runtimeRecord = ReadRecord(runtime, 20000);
    ASSERT_FALSE(runtimeRecord.empty());
    EXPECT_EQ(runtimeRecord.at("read.1"), "REG_SZ:Access.Application.10");
    RegisterRuntime(RuntimeComponentKey(), kRuntimeValueName, "C?\\TarnwickScenario\\Gone\\MSACCESS.EXE");

    RunningProcess second = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING -WAIT=0 second.mdb");
    const auto fullRecord = ReadRecord(full, 30000);
    ASSERT_FALSE(fullRecord.empty());
    EXPECT_TRUE(ProcessEnded(runtimeRecord.at("pid"))) << "the second Access started while the first still ran";
    EXPECT_EQ(fullRecord.at("read.1"), kCurVer2003) << "the second Access on its own preparation";
    EXPECT_EQ(WaitForExit(first, 30000), 0);
    EXPECT_EQ(WaitForExit(second, 30000), 0);

    RegisterRuntime(RuntimeComponentKey(), kRuntimeValueName, "C?" + runtime.substr(2));
    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_TRUE(EverythingElseAsBefore(before));
    EXPECT_FALSE(PathExists(JournalDir() + kJournalName));
    const auto lines = LogLines();
    EXPECT_EQ(LinesStartingWith(lines, "Waiting for another Tarnwick to put the registry back").size(), 1u);
    EXPECT_EQ(LinesStartingWith(lines, "Saving default registry settings").size(), 2u);
    EXPECT_EQ(LinesStartingWith(lines, "Restoring registry keys").size(), 2u);
    EXPECT_TRUE(LinesStartingWith(lines, "Another Tarnwick has not put the registry back in time").empty());
}

// A standard user's launch (the administrators group for denying only)
// opens and waits on the objects that an administrator's launch created.
TEST_F(SharedLaunches, ARestrictedTokenOpensAndWaitsOnTheObjectsALaunchCreated) {
    const std::string exe = InstallRuntime2002({{"lifetimeMs", "0"}});
    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" -WAIT=0 x.mdb");
    const std::string access = ReadRecord(exe, 20000)["pid"];
    ASSERT_FALSE(access.empty());

    RunningProcess running = StartAsStandardUser("\"" + BinDir() + "shared_objects_probe.exe\"");
    ASSERT_TRUE(running.process);
    EXPECT_EQ(WaitForExit(running, 30000), 0) << "the probe's exit code names the step that failed";

    EndProcess(access);
    EXPECT_EQ(WaitForExit(launcher, 30000), 0);
}

// Objects that cannot be opened (another program took the guard's name with
// a descriptor that lets nobody in): the launch goes on alone, says why,
// and still puts everything back.
TEST_F(SharedLaunches, ObjectsThatCannotBeOpenedMakeALoneLaunchThatSaysWhy) {
    SeedWatchedValues();
    const std::string exe = InstallRuntime2002({{"lifetimeMs", "500"}});
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();
    UniqueLocal<PSECURITY_DESCRIPTOR> nobody;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, nobody.receive(), nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nobody.get(), FALSE};
    const UniqueHandle squatter(CreateMutexA(&attributes, FALSE, "Global\\TarnwickRegistryGuard"));
    ASSERT_TRUE(squatter);

    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_FALSE(ReadRecord(exe).empty());
    const auto lines = LogLines();
    EXPECT_TRUE(HasConsecutiveLines(lines, {"Could not open the objects that Tarnwick launches share (Windows error 5): "
                                            "saving and restoring registry keys as a lone launch"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"Restoring registry keys"}));
    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_TRUE(EverythingElseAsBefore(before));
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
    ForgetRecord(exe);
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
    EXPECT_FALSE(ProcessEnded(access));
    EXPECT_TRUE(ValuesFromBefore()) << "when the session ends";

    EndProcess(access);
    EXPECT_EQ(WaitForExit(launcher, 30000), 0);
    EXPECT_TRUE(ValuesFromBefore());
    EXPECT_TRUE(EverythingElseAsBefore(before));
}

// Another user's process (a standard user's token) holds the objects that
// launches share, or creates their names first, before the launches or while
// one's Access runs; it stands for a hostile user as well as for a launcher
// that hangs. Every launcher ends, every Access starts within the guard's
// bound, and the machine's and the user's values come back: when the
// launches end where the case says so, and in every case once the holder has
// ended and one more launch has run.
struct HeldObjectsCase {
    const char* name;
    std::vector<std::string> held;  // the probe's "hold:" and "squat:" arguments
    int launches;                   // of one Access, started half a second apart
    bool whileAccessRuns;           // the holder starts once the first Access has started
    bool backWhenLaunchesEnd;
    const char* logLine;  // what each launch says about why it went alone or left the values
};

void PrintTo(const HeldObjectsCase& held, std::ostream* out) { *out << held.name; }

const std::string kSameAccessNames = "Global\\TarnwickFor.*";  // the identity goes in at the dot
// An Access starts within the guard's bound and what starting takes here.
constexpr DWORD kAccessBoundMs = kGuardWaitMs + 5000;
const std::string kAlone = ": saving and restoring registry keys as a lone launch";

const HeldObjectsCase kHeldObjectsCases[] = {
    {"HoldsTheGuard", {"hold:Global\\TarnwickRegistryGuard"}, 1, false, true,
     "Could not take the guard of the Tarnwick launches within 5 seconds"},
    {"HoldsTheGuardBeforeTwoLaunches", {"hold:Global\\TarnwickRegistryGuard"}, 2, false, true,
     "Could not take the guard of the Tarnwick launches within 5 seconds"},
    {"TakesTheGuardWhileAccessRuns", {"hold:Global\\TarnwickRegistryGuard"}, 1, true, false,
     "Could not take the guard of the Tarnwick launches in time: the saved registry values are left in the journal"},
    {"HoldsEveryLaunchAndKeeperSlot", {"hold:Global\\TarnwickLaunch.*", "hold:Global\\TarnwickKeeper.*"}, 1, false,
     true, "Every slot of the Tarnwick launches is held"},
    {"HoldsEveryLaunchAndUnlimitedSlot", {"hold:Global\\TarnwickLaunch.*", "hold:Global\\TarnwickUnlimited.*"}, 1,
     false, true, "Every slot of the Tarnwick launches is held"},
    {"HoldsOneLaunchSlotAsIfALaunchRan", {"hold:Global\\TarnwickLaunch.0"}, 1, false, true,
     "Other Tarnwick launches seem to run but no values saved by them can be found"},
    {"CreatesTheSameAccessNamesFirst", {"squat:" + kSameAccessNames}, 1, false, true,
     "Could not open the objects that Tarnwick launches share (Windows error 5)"},
    {"CreatesTheGuardAndLaunchNamesFirstBeforeTwoLaunches",
     {"squat:Global\\TarnwickRegistryGuard", "squat:Global\\TarnwickLaunch.*"}, 2, false, true,
     "Could not open the objects that Tarnwick launches share (Windows error 5)"},
};

class HeldObjects : public Scenario, public ::testing::WithParamInterface<HeldObjectsCase> {
protected:
    // The holder, once it holds everything the case names.
    ::testing::AssertionResult StartHolder(const std::string& exe) {
        const std::string ready = std::string(kScenarioRoot) + "\\holder-ready";
        std::string command = "\"" + BinDir() + "shared_objects_probe.exe\" \"" + ready + "\"";
        for (std::string what : GetParam().held) {
            if (const auto at = what.find(kSameAccessNames); at != std::string::npos) {
                what.insert(at + kSameAccessNames.size() - 1, AccessIdentity(exe, 2003) + ".");
            }
            command += " \"" + what + "\"";
        }
        holder = StartAsStandardUser(command);
        for (const DWORD start = GetTickCount(); holder.process && GetTickCount() - start < 20000; Sleep(50)) {
            if (PathExists(ready)) return ::testing::AssertionSuccess();
            if (WaitForSingleObject(holder.process.get(), 0) == WAIT_OBJECT_0) break;
        }
        return ::testing::AssertionFailure() << "the holder did not get hold of " << command;
    }
    RunningProcess holder;
};

TEST_P(HeldObjects, LaunchersEndAccessStartsWithinTheBoundAndTheValuesComeBack) {
    const HeldObjectsCase& held = GetParam();
    SeedWatchedValues();
    const std::string exe = InstallFullAccess(2003, {{"lifetimeMs", held.whileAccessRuns ? "3000" : "1500"},
                                                     {"recordInTemp", "1"}}) +
                            "\\MSACCESS.EXE";
    const std::string before = DumpRegistry();
    SeedMacroSecurityLevel();
    if (!held.whileAccessRuns) { ASSERT_TRUE(StartHolder(exe)); }

    std::vector<RunningProcess> launchers;
    std::vector<DWORD> startedAt;
    for (int n = 0; n < held.launches; ++n) {
        if (n > 0) Sleep(500);
        startedAt.push_back(GetTickCount());
        launchers.push_back(StartProcess("\"" + BinDir() + "Tarnwick.exe\" -LOGGING -WAIT=4000 user" +
                                             std::to_string(n) + ".mdb",
                                         UserFolders(n)));
        ASSERT_TRUE(launchers.back().process);
    }
    for (int n = 0; n < held.launches; ++n) {
        const auto record = AccessRecordOfUser(n, kAccessBoundMs + 20000);
        const DWORD took = GetTickCount() - startedAt[n];
        ASSERT_FALSE(record.empty()) << "launch " << n << " started no Access within " << took << " ms";
        EXPECT_LE(took, kAccessBoundMs) << "launch " << n << "'s Access started after " << took << " ms";
    }
    if (held.whileAccessRuns) { ASSERT_TRUE(StartHolder(exe)); }
    for (int n = 0; n < held.launches; ++n) EXPECT_EQ(WaitForExit(launchers[n], 60000), 0) << "launch " << n;
    if (held.backWhenLaunchesEnd) { EXPECT_TRUE(ValuesFromBefore()) << "once the launches have ended"; }
    const auto lines = LogLines();
    EXPECT_EQ(LinesStartingWith(lines, held.logLine).size(), size_t(held.launches)) << held.logLine;
    EXPECT_EQ(LinesStartingWith(lines, "Restoring registry keys").size(),
              size_t(held.backWhenLaunchesEnd ? held.launches : 0));

    holder.EndIfRunning();
    DeleteFileA(LogPath().c_str());
    EXPECT_EQ(RunTarnwick("-LOGGING -WAIT=4000 next.mdb"), 0);
    EXPECT_FALSE(AccessRecordOfUser(0).empty());
    EXPECT_TRUE(LinesStartingWith(LogLines(), kAlone.substr(2)).empty()) << "the next launch takes part";
    EXPECT_TRUE(ValuesFromBefore()) << "after the holder has ended and one more launch has run";
    EXPECT_TRUE(EverythingElseAsBefore(before));
    EXPECT_FALSE(PathExists(JournalDir() + kJournalName));
}

INSTANTIATE_TEST_SUITE_P(OtherUser, HeldObjects, ::testing::ValuesIn(kHeldObjectsCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
