// The stored command line named by -CMD and -VALUE.
#include <gtest/gtest.h>

#include "access/discovery.h"
#include "registry/registry_access.h"

namespace {

class StoredCommandLine : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TarnwickOrders");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\TarnwickOrders");
    }
};

TEST_F(StoredCommandLine, CommandFromTheNamedHiveTitleFromTheMachine) {
    WriteRegString(HKEY_CURRENT_USER, "Software\\TarnwickOrders", "CmdLine", "\"C:\\Apps\\o.mdb\" /runtime", true);
    WriteRegString(HKEY_CURRENT_USER, "Software\\TarnwickOrders\\Run-Time Options", "TitleBar", "User title", true);
    WriteRegString(HKEY_LOCAL_MACHINE, "Software\\TarnwickOrders\\Run-Time Options", "TitleBar", "Orders", true);
    std::string command, title;
    EXPECT_EQ(ReadStoredCommandLine("\"HKCU\\Software\\TarnwickOrders\"", "CmdLine", command, title), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(command, "\"C:\\Apps\\o.mdb\" /runtime");
    EXPECT_EQ(title, "Orders");
}

TEST_F(StoredCommandLine, EmptyValueNameReadsTheDefaultValue) {
    WriteRegString(HKEY_LOCAL_MACHINE, "Software\\TarnwickOrders", "", "default line", true);
    std::string command, title = "kept";
    EXPECT_EQ(ReadStoredCommandLine("Software\\TarnwickOrders", "", command, title), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(command, "default line");
    EXPECT_EQ(title, "kept");  // no "Run-Time Options": the title stays as it was
}

TEST_F(StoredCommandLine, NothingIsReadWhenTheCommandIsMissing) {
    WriteRegString(HKEY_LOCAL_MACHINE, "Software\\TarnwickOrders\\Run-Time Options", "TitleBar", "Orders", true);
    std::string command = "before", title;
    EXPECT_EQ(ReadStoredCommandLine("Software\\TarnwickOrders", "CmdLine", command, title), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(command, "before");
    EXPECT_EQ(title, "");
    // The short prefix is case-sensitive: "hkcu\..." is a machine key of that name.
    WriteRegString(HKEY_CURRENT_USER, "Software\\TarnwickOrders", "CmdLine", "user", true);
    EXPECT_EQ(ReadStoredCommandLine("hkcu\\Software\\TarnwickOrders", "CmdLine", command, title), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(StoredCommandLine, LongAndExpandableCommandLinesAreReadWhole) {
    // Far beyond the 4096 bytes of an ordinary string read.
    const std::string longLine = "\"C:\\Apps\\o.mdb\" /cmd " + std::string(6000, 'x');
    WriteRegString(HKEY_CURRENT_USER, "Software\\TarnwickOrders", "CmdLine", longLine, true);
    std::string command, title;
    EXPECT_EQ(ReadStoredCommandLine("HKCU\\Software\\TarnwickOrders", "CmdLine", command, title), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(command, longLine);

    SetEnvironmentVariableA("TARNWICK_APPS", "D:\\Shared Apps");
    WriteRegString(HKEY_CURRENT_USER, "Software\\TarnwickOrders", "CmdLine", "\"%TARNWICK_APPS%\\o.mdb\" /runtime", true,
                   REG_EXPAND_SZ);
    EXPECT_EQ(ReadStoredCommandLine("HKCU\\Software\\TarnwickOrders", "CmdLine", command, title), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(command, "\"D:\\Shared Apps\\o.mdb\" /runtime");
}

}  // namespace
