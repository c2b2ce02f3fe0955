// Text and path routines of the Access environment that need no Windows API.
#pragma once

#include <string>
#include <string_view>

// The text without its leading blanks (the space character only, not tabs).
std::string TrimLeadingSpaces(std::string_view text);

// The text before the last backslash; empty when there is no backslash.
std::string GetFolderOfPath(std::string_view path);

// At most one double quote removed from each end.
std::string StripQuotes(std::string_view text);

// The database file named in a command line, in lower case: from after the
// nearest double quote before the first known extension (or from the start)
// to the end of that extension. Empty when no extension is found.
std::string GetDatabasePath(std::string_view commandLine);

// -WINDOWSPROFILE: the command line that opens the same database file from
// the given folder (the user's local application-data folder). The database
// is the first argument (after any switches in front of it, which stay); the
// result is that file's name in lower case inside the folder, joined with one
// backslash and quoted. Whatever follows the database is dropped. Empty when
// the command line names no database: there is nothing to rewrite then.
std::string RewriteCommandLineForProfile(std::string_view commandLine, std::string_view folder);

// The install folder in a shell open command: the upper-cased text before
// "\MSACCESS.EXE" without an opening quote; the whole upper-cased command
// when the executable is not named in it.
std::string GetAccessFolderFromCommand(std::string_view command);

// Windows Installer's packed form of a braced GUID, as its component keys are
// named: the first three groups reversed, the nibbles of each later byte
// swapped. Empty when the text is not a braced GUID.
std::string PackedGuid(std::string_view braced);
