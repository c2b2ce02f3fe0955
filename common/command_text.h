// The text a program was started with, read the same way by every program
// of the system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The argument text of a full process command line: the program name (quoted
// or not) and the blanks and tabs after it removed, as the C runtime hands it
// to WinMain.
std::string CommandTextAfterProgramName(std::string_view fullCommandLine);

// One argument of an argument text, as the C runtime splits it into argv.
struct CommandArgument {
    std::string text;       // quotes removed, backslashes before quotes resolved
    std::size_t begin = 0;  // where its raw form starts in the line
    std::size_t end = 0;    // one past where its raw form ends
    bool quoted = false;    // a double quote took part in its raw form
};

// Blanks and tabs outside double quotes separate arguments; 2n backslashes
// before a double quote give n backslashes and the quote opens or closes a
// quoted part, 2n+1 give n backslashes and a literal quote; inside a quoted
// part two double quotes give one literal quote; other backslashes stand for
// themselves.
std::vector<CommandArgument> SplitCommandArguments(std::string_view line);
