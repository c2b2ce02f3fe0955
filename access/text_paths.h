// Text and path routines of the Access environment that need no Windows API.
#pragma once

#include <string>
#include <string_view>

// The text without its leading blanks (the space character only, not tabs).
std::string TrimLeadingSpaces(std::string_view text);

// The text before the last backslash; empty when there is no backslash.
std::string GetFolderOfPath(std::string_view path);
