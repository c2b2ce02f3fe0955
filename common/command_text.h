// The text a program was started with, read the same way by every program
// of the system.
#pragma once

#include <string>
#include <string_view>

// The argument text of a full process command line: the program name (quoted
// or not) and the blanks and tabs after it removed, as the C runtime hands it
// to WinMain.
std::string CommandTextAfterProgramName(std::string_view fullCommandLine);
