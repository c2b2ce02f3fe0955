#include "access/text_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(TextPaths, TrimLeadingSpacesOnlyRemovesBlanks) {
    EXPECT_EQ(TrimLeadingSpaces("   a b "), "a b ");
    EXPECT_EQ(TrimLeadingSpaces(" \ta"), "\ta");
    EXPECT_EQ(TrimLeadingSpaces("   "), "");
}

TEST(TextPaths, FolderOfPath) {
    EXPECT_EQ(GetFolderOfPath("c:\\data\\app.mdb"), "c:\\data");
    EXPECT_EQ(GetFolderOfPath("c:\\app.mdb"), "c:");
    EXPECT_EQ(GetFolderOfPath("app.mdb"), "");
}

TEST(TextPaths, StripQuotesRemovesAtMostOneAtEachEnd) {
    EXPECT_EQ(StripQuotes("\"HKCU\\Software\\A\""), "HKCU\\Software\\A");
    EXPECT_EQ(StripQuotes("\"\"a\"\""), "\"a\"");
    EXPECT_EQ(StripQuotes("\""), "");
    EXPECT_EQ(StripQuotes("a\""), "a");
    EXPECT_EQ(StripQuotes(""), "");
}

TEST(DatabasePath, FoundByExtensionFromTheNearestQuote) {
    EXPECT_EQ(GetDatabasePath("\"C:\\Data\\My App.accdb\" /runtime"), "c:\\data\\my app.accdb");
    EXPECT_EQ(GetDatabasePath("  C:\\Data\\App.mdb /x"), "c:\\data\\app.mdb");
    EXPECT_EQ(GetDatabasePath("/wrkgrp \"c:\\sec\\system.mdw\" \"c:\\data\\app.mdb\""), "c:\\data\\app.mdb");
    EXPECT_EQ(GetDatabasePath(".mdb"), "");
    EXPECT_EQ(GetDatabasePath("/runtime"), "");
    EXPECT_EQ(GetDatabasePath("\"c:\\app.ACCDE\""), "c:\\app.accde");
}

TEST(ProfileRewrite, OpensTheDatabaseFromTheGivenFolder) {
    const std::string folder = "C:\\users\\ann\\AppData\\Local";
    EXPECT_EQ(RewriteCommandLineForProfile("\"C:\\Apps\\Orders.MDB\"", folder),
              "\"C:\\users\\ann\\AppData\\Local\\orders.mdb\"");
    EXPECT_EQ(RewriteCommandLineForProfile("\"C:\\Apps\\Orders.MDB\" /runtime", folder),
              "\"C:\\users\\ann\\AppData\\Local\\orders.mdb\"");
    EXPECT_EQ(RewriteCommandLineForProfile("/excl \"C:\\Apps\\o.mdb\"", "Failed"), "/excl \"Failed\\o.mdb\"");
    // A database named without a folder: the whole name is the file's name.
    EXPECT_EQ(RewriteCommandLineForProfile("orders.mdb", "F"), "\"F\\orders.mdb\"");
    EXPECT_EQ(RewriteCommandLineForProfile("/runtime", folder), "");
}

TEST(ProfileRewrite, TheDatabaseIsTheFirstArgumentNotThePathAfterTheLastDriveColon) {
    const std::string folder = "C:\\users\\ann\\AppData\\Local";
    const std::string local = "\"" + folder + "\\orders.mdb\"";
    EXPECT_EQ(RewriteCommandLineForProfile("\"C:\\Apps\\Orders.mdb\" /wrkgrp \"C:\\Sec\\system.mdw\"", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("C:\\Apps\\Orders.mdb /wrkgrp C:\\Sec\\system.mdw /excl", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("\"C:\\Apps\\Orders.mdb\" /compact \"D:\\Backup\\Orders.mdb\"", folder), local);
    // A workgroup switch in front of the database keeps its file.
    EXPECT_EQ(RewriteCommandLineForProfile("/wrkgrp \"C:\\Sec\\system.mdw\" \"C:\\Apps\\Orders.mdb\" /excl", folder),
              "/wrkgrp \"C:\\Sec\\system.mdw\" " + local);
    EXPECT_EQ(RewriteCommandLineForProfile("/cmd \"C:\\Apps\\Orders.mdb\"", folder), "");
}

TEST(ProfileRewrite, FolderAndFileAreJoinedWithOneBackslash) {
    const std::string folder = "C:\\users\\ann\\AppData\\Local";
    const std::string local = "\"" + folder + "\\orders.mdb\"";
    EXPECT_EQ(RewriteCommandLineForProfile("\"Orders.mdb\" /runtime", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("Orders.mdb /runtime", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("C:Orders.mdb", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("\"\\\\server\\share\\Orders.mdb\"", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("\\\\server\\share\\Orders.mdb /runtime", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("\"C:\\Apps\\Orders.mdb\"", folder + "\\"), local);
    EXPECT_EQ(RewriteCommandLineForProfile("\"C:\\Apps\\Orders.mdb\"", "C:\\"), "\"C:\\orders.mdb\"");
    // An unquoted path with blanks still names one database.
    EXPECT_EQ(RewriteCommandLineForProfile("C:\\My Apps\\Orders.mdb /runtime", folder), local);
    EXPECT_EQ(RewriteCommandLineForProfile("C:\\My Apps\\Orders /runtime", folder), "");
}

}  // namespace

namespace {

TEST(AccessFolderFromCommand, TakesTheFolderInFrontOfTheExecutable) {
    EXPECT_EQ(GetAccessFolderFromCommand("\"C:\\Program Files\\Office\\MSACCESS.EXE\" /NOSTARTUP \"%1\""),
              "C:\\PROGRAM FILES\\OFFICE");
    EXPECT_EQ(GetAccessFolderFromCommand("c:\\office10\\msaccess.exe %1"), "C:\\OFFICE10");
    EXPECT_EQ(GetAccessFolderFromCommand("\\MSACCESS.EXE"), "");
    EXPECT_EQ(GetAccessFolderFromCommand("\"\\msaccess.exe\""), "");
    EXPECT_EQ(GetAccessFolderFromCommand("C:\\Tools\\open.exe %1"), "C:\\TOOLS\\OPEN.EXE %1");
    EXPECT_EQ(GetAccessFolderFromCommand("\xe9:\\b\\MSACCESS.EXE"), "\xe9:\\B");  // only ASCII letters change
}

}  // namespace

namespace {

// As Windows Installer names component keys (the 2002 runtime's first).
TEST(PackedGuid, AsWindowsInstallerNamesComponentKeys) {
    EXPECT_EQ(PackedGuid("{CC29E967-7BC2-11D1-A921-00A0C91E2AA3}"), "769E92CC2CB71D119A12000A9CE1A23A");
    EXPECT_EQ(PackedGuid("{e34aa7c4-8845-4bd7-bac6-26554b60823b}"), "4C7AA43E54887DB4AB6C6255B40628B3");
    for (const char* odd : {"CC29E967-7BC2-11D1-A921-00A0C91E2AA3", "{CC29E967-7BC2-11D1-A921-00A0C91E2AAZ}",
                            "{CC29E9677-BC2-11D1-A921-00A0C91E2AA3}"}) {
        EXPECT_EQ(PackedGuid(odd), "") << odd;
    }
}

}  // namespace
