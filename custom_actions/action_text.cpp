#include "custom_actions/action_text.h"

namespace {

constexpr char kFieldSeparator = '|';
constexpr char kUsersFullControl[] = "n:S-1-5-32-545;p:full;s:y";

// strtok-like: empty fields are skipped, a third is ignored.
template <typename Char>
bool SplitTwoFields(std::basic_string_view<Char> value, std::basic_string_view<Char> (&fields)[2]) {
    const Char separator = Char(kFieldSeparator);
    size_t found = 0;
    size_t at = 0;
    while (found < 2) {
        at = value.find_first_not_of(separator, at);
        if (at == std::basic_string_view<Char>::npos) break;
        const size_t end = value.find(separator, at);
        fields[found++] = value.substr(at, end == std::basic_string_view<Char>::npos ? end : end - at);
        if (end == std::basic_string_view<Char>::npos) break;
        at = end;
    }
    return found == 2;
}

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
    if (!SplitTwoFields(value, fields)) return std::nullopt;
    return CustomActionFields{std::string(fields[0]), std::string(fields[1])};
}

std::optional<WideCustomActionFields> SplitCustomActionData(std::wstring_view value) {
    std::wstring_view fields[2];
    if (!SplitTwoFields(value, fields)) return std::nullopt;
    return WideCustomActionFields{std::wstring(fields[0]), std::wstring(fields[1])};
}

std::vector<std::string> UsersFullControlArguments(std::string_view actionName, std::string_view objectName) {
    return {std::string(actionName), "-on", std::string(objectName), "-ot", "file", "-actn", "ace", "-ace",
            kUsersFullControl};
}

std::string BuildSetAclCommandLine(std::string_view toolPath, std::string_view objectPath) {
    if (toolPath.find('"') != std::string_view::npos || objectPath.find('"') != std::string_view::npos) return {};
    return Quoted(toolPath) + " -on " + Quoted(objectPath) + " -ot file -actn ace -ace \"" + kUsersFullControl + "\"";
}
