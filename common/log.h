// The optional plain-text log on the user's Desktop ("TarnwickLog.txt").
#pragma once

#include <string>
#include <string_view>

// Set by the command line (-LOGGING); writers test it before they assemble a
// line, so that no text is built when logging is off.
extern int bLogging;

// Opens (appending) the log and writes the separator. The log object exists
// afterwards even when the file could not be opened; writes then do nothing.
void OpenLog();
// Writes the text and, only if that succeeded, CR LF. Returns the write's success.
bool LogLine(const char* text);
// Writes the closing separator and two empty lines, closes and releases the log.
void CloseLog();
bool LogExists();

// Writes label + value as one line when logging was asked for.
void Log(std::string_view label, std::string_view value = {});
