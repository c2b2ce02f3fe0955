// Decisions of the launch sequence that need no Windows API.
#pragma once

#include <string_view>

// After the watch: whether the object-library registration that the launcher
// wrote is kept instead of being put back. Both CurVer texts must be
// non-empty and have a number after "Access.Application." (19 characters);
// the launcher keeps its registration when the old number is not greater
// than the new one and the new one is below 14.
bool KeepWrittenObjectLibrary(std::string_view origCurVer, std::string_view newCurVer);
