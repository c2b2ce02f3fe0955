#include "custom_actions/action_text.h"

namespace {

constexpr char kFieldSeparator = '|';

// A path in double quotes as programs split their command lines: backslashes
// that run up to the closing quote are doubled, or "C:\Data\" would be read
// as C:\Data" followed by the rest of the line.
std::string Quoted(std::string_view path) {
    std::string out = "\"";
    out += path;
    for (auto i = path.size(); i > 0 && path[i - 1] == '\\'; --i) out += '\\';
    out += '"';
    return out;
}

}  // namespace

std::string FolderPropertyName(std::string_view enclosed) {
    if (enclosed.size() < 2) return {};
    return std::string(enclosed.substr(1, enclosed.size() - 2));
}

std::string WithoutLastCharacter(std::string_view folder) {
    if (folder.empty()) return {};
    return std::string(folder.substr(0, folder.size() - 1));
}

std::optional<CustomActionFields> SplitCustomActionData(std::string_view value) {
    std::string_view fields[2];
    size_t found = 0;
    size_t at = 0;
    while (found < 2) {
        at = value.find_first_not_of(kFieldSeparator, at);
        if (at == std::string_view::npos) break;
        const size_t end = value.find(kFieldSeparator, at);
        fields[found++] = value.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        if (end == std::string_view::npos) break;
        at = end;
    }
    if (found < 2) return std::nullopt;
    return CustomActionFields{std::string(fields[0]), std::string(fields[1])};
}

std::string BuildSetAclCommandLine(std::string_view toolPath, std::string_view objectPath) {
    if (toolPath.find('"') != std::string_view::npos || objectPath.find('"') != std::string_view::npos) return {};
    return Quoted(toolPath) + " -on " + Quoted(objectPath) + " -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"";
}
