// The launcher's command line: what the program was given, and the options
// in front of the command line meant for Access.
#pragma once

#include <string>
#include <string_view>

#include "common/command_text.h"
#include "launcher/context.h"

// Replaces the typographic double quotes of code page 1252 (0x93, 0x94) by
// the plain double quote, so that a path pasted from a word processor works.
std::string ReplaceTypographicQuotes(std::string_view text);

// Sets the option fields of the context and bLogging from the leading
// options of the text; returns the rest (ParsedCmdLine), which is meant for
// Access. Never fails: unknown options are dropped, a malformed value ends
// the option list.
std::string ParseCommandLine(std::string_view text, LauncherContext& ctx, int& bLogging);
