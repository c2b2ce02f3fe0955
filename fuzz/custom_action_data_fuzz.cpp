// The installer's deferred-action data and the command line built from it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "custom_actions/action_text.h"

namespace {

// The command line's quoted parts must come back out of it unchanged: no
// input may end the quoting early.
bool QuotedPartsIntact(const std::string& commandLine, const CustomActionFields& fields) {
    if (commandLine.empty()) return true;
    if (commandLine.compare(0, 1, "\"") != 0) return false;
    const auto toolEnd = commandLine.find("\" -on \"");
    if (toolEnd == std::string::npos) return false;
    const auto objectEnd = commandLine.find("\" -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"", toolEnd + 7);
    return objectEnd != std::string::npos && commandLine.rfind("\"n:S-1-5-32-545;p:full;s:y\"") ==
                                                 commandLine.size() - 27 &&
           commandLine.substr(1, toolEnd - 1).find('"') == std::string::npos &&
           commandLine.substr(toolEnd + 7, objectEnd - toolEnd - 7).find('"') == std::string::npos &&
           fields.toolPath.size() <= toolEnd;
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
    const std::string commandLine = BuildSetAclCommandLine(fields->toolPath, fields->objectPath);
    if (!QuotedPartsIntact(commandLine, *fields)) __builtin_trap();
    return 0;
}
