// The installer's deferred-action data and the command line built from it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "custom_actions/action_text.h"

namespace {

// Splits a command line as the C runtime does for a program's arguments:
// blanks and tabs separate outside quotes; 2n backslashes before a quote are
// n backslashes and the quote opens or closes; 2n+1 are n and a literal quote.
std::vector<std::string> Arguments(const std::string& line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) return args;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2) {
                    arg += '"';
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else if (backslashes > 0) {
                arg.append(backslashes, '\\');
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    FolderPropertyName(text);
    WithoutLastCharacter(text);
    const auto fields = SplitCustomActionData(text);
    if (!fields) return 0;
    if (fields->objectPath.empty() || fields->toolPath.empty()) __builtin_trap();
    if (fields->objectPath.find('|') != std::string::npos || fields->toolPath.find('|') != std::string::npos) {
        __builtin_trap();
    }
    // No input may end the quoting early: the tool reads back exactly the
    // two paths and the fixed options, or the line is refused (empty).
    const std::string commandLine = BuildSetAclCommandLine(fields->toolPath, fields->objectPath);
    if (commandLine.empty()) return 0;
    const std::vector<std::string> expected = {fields->toolPath, "-on", fields->objectPath, "-ot", "file",
                                               "-actn", "ace", "-ace", "n:S-1-5-32-545;p:full;s:y"};
    if (Arguments(commandLine) != expected) __builtin_trap();
    return 0;
}
