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
    // No drive colon: nothing is kept in front; no backslash: the whole path is the file part.
    EXPECT_EQ(RewriteCommandLineForProfile("orders.mdb", "F"), "Forders.mdb\"");
    EXPECT_EQ(RewriteCommandLineForProfile("/runtime", folder), "");
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
