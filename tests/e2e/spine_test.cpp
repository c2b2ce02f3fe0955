// The launcher's spine: start, log, the launch sequence's frame, the end.
#include "tests/support/harness.h"

namespace {

const std::string kSeparator = "===================================================\r\n";
const std::string kClosing = kSeparator + "\r\n\r\n";

std::string Opening(const std::string& commandLine) {
    return kSeparator + "Tarnwick_2002 version: 3.5.0.7\r\nCommand line: " + commandLine + "\r\n";
}

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }
bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A logged launch opens with the version and command line and ends with the
// close request's line, the separator and two empty lines.
void ExpectOneLaunch(const std::string& log, const std::string& commandLine) {
    EXPECT_TRUE(StartsWith(log, Opening(commandLine))) << log;
    EXPECT_TRUE(EndsWith(log, "Exiting application\r\n" + kClosing)) << log;
    EXPECT_EQ(log.find(kSeparator, kSeparator.size()), log.size() - kClosing.size()) << "one run, one frame";
}

class Spine : public Scenario {
protected:
    void SetUp() override {
        Scenario::SetUp();
        InstallFullAccess(2002, {{"lifetimeMs", "300"}});
    }
};

TEST_F(Spine, LoggedRunOpensAndClosesItsFrame) {
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    ExpectOneLaunch(ReadFileBytes(LogPath()), "-LOGGING x.mdb");
}

TEST_F(Spine, SecondRunAppendsRightAfterTheTwoEmptyLines) {
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    const std::string first = ReadFileBytes(LogPath());
    EXPECT_EQ(RunTarnwick("-logging  \"C:\\Data\\y.mdb\""), 0);
    const std::string both = ReadFileBytes(LogPath());
    ASSERT_TRUE(StartsWith(both, first));
    ExpectOneLaunch(both.substr(first.size()), "-logging  \"C:\\Data\\y.mdb\"");
}

TEST_F(Spine, WithoutLoggingTheLogIsNeitherCreatedNorTouched) {
    EXPECT_EQ(RunTarnwick("x.mdb"), 0);
    bool exists = true;
    ReadFileBytes(LogPath(), &exists);
    EXPECT_FALSE(exists);

    WriteFileBytes(LogPath(), "earlier content\r\n");
    EXPECT_EQ(RunTarnwick("x.mdb -LOGGING"), 0);  // an option after the database is Access's, not ours
    EXPECT_EQ(ReadFileBytes(LogPath()), "earlier content\r\n");
}

TEST_F(Spine, TypographicQuotesReachTheLogAsPlainQuotes) {
    EXPECT_EQ(RunTarnwick("-LOGGING \x93" "C:\\Data\\z.mdb\x94"), 0);
    ExpectOneLaunch(ReadFileBytes(LogPath()), "-LOGGING \"C:\\Data\\z.mdb\"");
}

TEST_F(Spine, EmptyCommandLineIsRefusedWithAnUnownedBox) {
    const ResponderResult run = RunTarnwickAnswering("", "OK");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Tarnwick");
    EXPECT_EQ(run.boxes[0].text, "Invalid Command line");
    EXPECT_EQ(run.boxes[0].icon, "exclamation");
    EXPECT_EQ(run.boxes[0].buttons, "OK");
    EXPECT_EQ(run.boxes[0].owner, "");
    EXPECT_EQ(run.boxes[0].visible, "") << "the host window must never be shown";
    bool exists = true;
    ReadFileBytes(LogPath(), &exists);
    EXPECT_FALSE(exists);
}

TEST_F(Spine, MaintenanceModesEndWithExitingTarnwick) {
    EXPECT_EQ(RunTarnwick("-LOGGING -CAPTURE -RESTORE"), 0);
    EXPECT_EQ(ReadFileBytes(LogPath()),
              Opening("-LOGGING -CAPTURE -RESTORE") + "-capture\r\nExiting Tarnwick\r\n" + kClosing);
    DeleteFileA(LogPath().c_str());

    EXPECT_EQ(RunTarnwick("-LOGGING -RESTORE"), 0);
    EXPECT_EQ(ReadFileBytes(LogPath()), Opening("-LOGGING -RESTORE") + "-restore\r\nExiting Tarnwick\r\n" + kClosing);
    DeleteFileA(LogPath().c_str());

    EXPECT_EQ(RunTarnwick("-LOGGING -OPENKEYS -NOPROGRESS"), 0);
    EXPECT_EQ(ReadFileBytes(LogPath()),
              Opening("-LOGGING -OPENKEYS -NOPROGRESS") + "-openkeys\r\nExiting Tarnwick\r\n" + kClosing);
}

TEST_F(Spine, OpenKeysDoesNothingOnWindowsNt4) {
    SetWindowsVersionFor("Tarnwick.exe", "nt40");
    EXPECT_EQ(RunTarnwick("-LOGGING -OPENKEYS"), 0);
    EXPECT_EQ(ReadFileBytes(LogPath()), Opening("-LOGGING -OPENKEYS") + "Exiting Tarnwick\r\n" + kClosing);
}

TEST_F(Spine, LoggingAloneStillTakesTheLaunchPath) {
    EXPECT_EQ(RunTarnwick("-LOGGING"), 0);
    ExpectOneLaunch(ReadFileBytes(LogPath()), "-LOGGING");
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Saving default registry settings"}));
}

}  // namespace
