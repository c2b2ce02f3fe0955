#include "access/text_paths.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "common/ascii_text.h"
#include "common/command_text.h"

namespace {

// Searched in this order, so ".mdb" is found before a workgroup file's ".mdw".
constexpr std::string_view kDatabaseExtensions[] = {".accde", ".accdb", ".accdr", ".accdc", ".mde",
                                                    ".mdb",   ".ade",   ".adp",   ".mdw"};

// Access's switches begin with a slash.
bool IsAccessSwitch(std::string_view argument) { return !argument.empty() && argument[0] == '/'; }

// Switches that take the next argument as their value, so that a switch in
// front of the database does not have its value taken for the database.
constexpr std::string_view kSwitchesWithValue[] = {"/wrkgrp", "/user", "/pwd", "/profile", "/x"};

bool TakesAValue(std::string_view argument) {
    for (std::string_view name : kSwitchesWithValue) {
        if (EqualsIgnoringAsciiCase(argument, name)) return true;
    }
    return false;
}

// /cmd takes the whole rest of the line: no database can follow it.
bool EndsAccessArguments(std::string_view argument) { return EqualsIgnoringAsciiCase(argument, "/cmd"); }

}  // namespace

std::string TrimLeadingSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string GetFolderOfPath(std::string_view path) {
    const auto slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string StripQuotes(std::string_view text) {
    if (!text.empty() && text.front() == '"') text.remove_prefix(1);
    if (!text.empty() && text.back() == '"') text.remove_suffix(1);
    return std::string(text);
}

std::string GetDatabasePath(std::string_view commandLine) {
    const std::string copy = TrimLeadingSpaces(ToLowerAscii(commandLine));
    for (std::string_view extension : kDatabaseExtensions) {
        const auto at = copy.find(extension);
        if (at == std::string::npos || at == 0) continue;
        const auto quote = copy.rfind('"', at - 1);
        const size_t start = quote == std::string::npos ? 0 : quote + 1;
        return copy.substr(start, at - start) + std::string(extension);
    }
    return {};
}

std::string RewriteCommandLineForProfile(std::string_view commandLine, std::string_view folder) {
    // The database is the first argument of Access's command line, split as
    // the C runtime splits a program's arguments: a workgroup file or another
    // path later in the line is not the database, and a drive colon says
    // nothing about where the database starts.
    const auto arguments = SplitCommandArguments(commandLine);
    size_t first = 0;
    while (first < arguments.size() && IsAccessSwitch(arguments[first].text)) {
        if (EndsAccessArguments(arguments[first].text)) return {};
        first += TakesAValue(arguments[first].text) ? 2 : 1;
    }
    if (first >= arguments.size()) return {};
    // An unquoted path with blanks in it arrives as several arguments: it
    // runs on over the following plain words until it names a database.
    size_t last = first;
    std::string database = arguments[first].text;
    while (GetDatabasePath(database).empty() && !arguments[last].quoted && last + 1 < arguments.size() &&
           !arguments[last + 1].quoted && !IsAccessSwitch(arguments[last + 1].text)) {
        ++last;
        database = commandLine.substr(arguments[first].begin, arguments[last].end - arguments[first].begin);
    }
    if (GetDatabasePath(database).empty()) return {};

    const auto nameStart = database.find_last_of("\\/:");
    const std::string fileName = ToLowerAscii(nameStart == std::string::npos ? database : database.substr(nameStart + 1));
    std::string_view base = folder;
    while (!base.empty() && base.back() == '\\') base.remove_suffix(1);
    // Whatever stood in front of the database (switches such as /excl) stays;
    // what follows it is dropped.
    return std::string(commandLine.substr(0, arguments[first].begin)) + "\"" + std::string(base) + "\\" + fileName + "\"";
}

std::string GetAccessFolderFromCommand(std::string_view command) {
    std::string upper = ToUpperAscii(command);
    const auto at = upper.find("\\MSACCESS.EXE");
    if (at == std::string::npos) return upper;
    upper.resize(at);
    if (!upper.empty() && upper[0] == '"') upper.erase(0, 1);
    return upper;
}

std::string PackedGuid(std::string_view braced) {
    constexpr std::string_view kShape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (braced.size() != kShape.size()) return {};
    std::string hex;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const char c = braced[i];
        if (kShape[i] != 'X') {
            if (c != kShape[i]) return {};
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        hex += UpperAscii(c);
    }
    std::string packed;
    for (const auto& [at, length] : {std::pair{0, 8}, std::pair{8, 4}, std::pair{12, 4}}) {
        std::string group = hex.substr(std::size_t(at), std::size_t(length));
        std::reverse(group.begin(), group.end());
        packed += group;
    }
    for (std::size_t at = 16; at + 1 < hex.size(); at += 2) {
        packed += hex[at + 1];
        packed += hex[at];
    }
    return packed;
}
