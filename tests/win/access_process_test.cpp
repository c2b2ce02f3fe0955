// Starting, finding and watching a stand-in Access, with short polls.
#include "launcher/access_process.h"

#include <gtest/gtest.h>

#include "tests/support/harness.h"

namespace {

class AccessProcess : public ::testing::Test {
protected:
    void SetUp() override { KillStandIns(); }
    void TearDown() override { KillStandIns(); }

    // A stand-in Access started as the launcher starts it.
    StartResult Start(const std::string& exeName, const std::map<std::string, std::string>& settings,
                      bool throughShell = true, const std::string& arguments = "db.mdb") {
        exe = std::string(kScenarioRoot) + "\\unit\\" + exeName;
        ForgetRecord(exe);
        PlaceFakeProgram(exe, settings);
        OsVersionFlags os;
        os.bIsVistaOrLater = throughShell;
        StartResult started = StartProgram(exe, arguments, 1, os);
        ReadRecord(exe);  // it has started once its record is there
        return started;
    }
    std::string exe;
};

LauncherContext Watching(const StartResult& started, int generation) {
    LauncherContext ctx;
    ctx.nAccessVersion = generation;
    ctx.dwAccessProcessId = started.processId;
    ctx.hAccessProcess = started.process.get();
    ctx.nWaitMs = 1;
    return ctx;
}

TEST_F(AccessProcess, NeverAWindowMeans31SearchesBefore2003And61After) {
    StartResult started = Start("MSACCESS.EXE", {{"window", "never"}, {"lifetimeMs", "0"}});
    ASSERT_NE(started.processId, 0u);
    EXPECT_EQ(WatchAccess(Watching(started, 2002), 5), 31);
    EXPECT_EQ(WatchAccess(Watching(started, 2003), 5), 61);
}

TEST_F(AccessProcess, OwnedPopupIsNotFoundTopLevelWindowIs) {
    StartResult owned = Start("MSACCESS.EXE", {{"window", "owned"}, {"lifetimeMs", "0"}});
    Sleep(300);
    EXPECT_EQ(FindAccessMainWindow(owned.processId), nullptr);
    EXPECT_EQ(WatchAccess(Watching(owned, 2010), 2), 61);
    KillStandIns();

    StartResult shown = Start("MSACCESS.EXE", {{"window", "now"}, {"lifetimeMs", "0"}});
    HWND window = nullptr;
    for (int i = 0; i < 100 && !window; ++i, Sleep(20)) window = FindAccessMainWindow(shown.processId);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindAccessMainWindow(shown.processId + 4), nullptr);
    EXPECT_EQ(WatchAccess(Watching(shown, 2002), 5), 1);
}

TEST_F(AccessProcess, AProgramThatEndsStopsThePoll) {
    StartResult started = Start("MSACCESS.EXE", {{"window", "never"}, {"lifetimeMs", "200"}});
    EXPECT_LT(WatchAccess(Watching(started, 2002), 50), 31);
}

TEST_F(AccessProcess, NothingStartedIsReportedAtOnce) {
    OsVersionFlags os;
    os.bIsVistaOrLater = 1;
    StartResult missing = StartProgram("C:\\Nowhere\\MSACCESS.EXE", "", 3, os);
    EXPECT_EQ(missing.processId, 0u);
    EXPECT_FALSE(missing.process);
    os.bIsVistaOrLater = 0;
    EXPECT_EQ(StartProgram("C:\\Nowhere\\MSACCESS.EXE", "", 3, os).processId, 0u);
    EXPECT_EQ(WatchAccess(LauncherContext{}, 5), 0);
}

TEST_F(AccessProcess, DirectStartQuotesThePath) {
    StartResult started = Start("MSACCESS.EXE", {}, false, "\"C:\\a b\\db.mdb\" /x");
    EXPECT_EQ(ReadRecord(exe)["commandline"], "\"" + exe + "\" \"C:\\a b\\db.mdb\" /x");
    EXPECT_EQ(ReadRecord(exe)["pid"], std::to_string(started.processId));
}

TEST_F(AccessProcess, HooksMarkTheEndOfTheWindowSearchAndAWaitWithoutLimit) {
    StartResult started = Start("MSACCESS.EXE", {{"window", "now"}, {"lifetimeMs", "1500"}});
    std::vector<std::string> calls;
    WatchHooks hooks;
    hooks.windowSearchEnded = [&calls] { calls.push_back("search ended"); };
    hooks.waitingWithoutLimit = [&calls, &started](bool waiting) {
        const bool running = WaitForSingleObject(started.process.get(), 0) == WAIT_TIMEOUT;
        calls.push_back(std::string(waiting ? "waiting" : "done waiting") + (running ? ", running" : ", ended"));
    };
    LauncherContext ctx = Watching(started, 2002);
    ctx.nWaitMs = 0;
    WatchAccess(ctx, 5, hooks);
    EXPECT_EQ(calls, (std::vector<std::string>{"search ended", "waiting, running", "done waiting, ended"}));

    calls.clear();
    started = Start("MSACCESS.EXE", {{"window", "now"}, {"lifetimeMs", "0"}});
    WatchAccess(Watching(started, 2002), 5, hooks);  // a bounded exit wait
    EXPECT_EQ(calls, (std::vector<std::string>{"search ended"}));

    calls.clear();
    WatchAccess(LauncherContext{}, 5, hooks);  // nothing started
    EXPECT_EQ(calls, (std::vector<std::string>{"search ended"}));
}

TEST_F(AccessProcess, OnlyTheUpperCaseNameCountsAsAccess) {
    EXPECT_FALSE(IsAccessRunning());
    Start("MSACCESS.EXE", {{"window", "never"}, {"lifetimeMs", "0"}});
    EXPECT_TRUE(IsAccessRunning());
    KillStandIns();
    EXPECT_FALSE(IsAccessRunning());
    Start("lower\\msaccess.exe", {{"window", "never"}, {"lifetimeMs", "0"}});
    EXPECT_FALSE(IsAccessRunning());
}

}  // namespace
