#include "access/text_paths.h"

#include "common/ascii_text.h"

namespace {

// Searched in this order, so ".mdb" is found before a workgroup file's ".mdw".
constexpr std::string_view kDatabaseExtensions[] = {".accde", ".accdb", ".accdr", ".accdc", ".mde",
                                                    ".mdb",   ".ade",   ".adp",   ".mdw"};

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
    const std::string database = GetDatabasePath(commandLine);
    if (database.empty()) return {};
    const auto slash = database.rfind('\\');
    const std::string filePart = slash == std::string::npos ? database : database.substr(slash);
    // Keep what stands before the drive letter of the last "x:", so that an
    // opening quote in front of the path stays.
    const auto colon = commandLine.rfind(':');
    const std::string prefix =
        colon == std::string_view::npos || colon < 2 ? std::string() : std::string(commandLine.substr(0, colon - 1));
    return prefix + std::string(folder) + filePart + "\"";
}

std::string GetAccessFolderFromCommand(std::string_view command) {
    std::string upper = ToUpperAscii(command);
    const auto at = upper.find("\\MSACCESS.EXE");
    if (at == std::string::npos) return upper;
    upper.resize(at);
    if (!upper.empty() && upper[0] == '"') upper.erase(0, 1);
    return upper;
}
