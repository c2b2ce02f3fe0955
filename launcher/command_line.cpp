#include "launcher/command_line.h"

#include <cstdint>
#include <limits>

#include "access/text_paths.h"
#include "common/ascii_text.h"

namespace {

// atol over a 32-bit long, saturating instead of overflowing.
std::int32_t AsciiToLong(std::string_view text) {
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    const std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
    return std::int32_t(value);
}

// "=digits" up to the next blank, which is used up too.
void ReadNumberValue(std::string& rest, std::int32_t& field) {
    if (rest.size() > 1 && rest[0] == '=') {
        const auto blank = rest.find(' ', 1);
        const size_t end = blank == std::string::npos ? rest.size() : blank;
        const std::string value = rest.substr(1, end - 1);
        rest.erase(0, blank == std::string::npos ? end : end + 1);
        if (!value.empty()) field = AsciiToLong(value);
    }
}

// ="text" with the closing quote optional; the field is emptied even when
// the form is not met.
void ReadQuotedValue(std::string& rest, std::string& field) {
    field.clear();
    if (rest.size() > 2 && rest[0] == '=' && rest[1] == '"') {
        const auto quote = rest.find('"', 2);
        const size_t end = quote == std::string::npos ? rest.size() : quote;
        field = rest.substr(2, end - 2);
        rest.erase(0, quote == std::string::npos ? end : end + 1);
    }
}

}  // namespace

std::string ReplaceTypographicQuotes(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\x93' || c == '\x94') c = '"';
    }
    return out;
}

std::string ParseCommandLine(std::string_view text, LauncherContext& ctx, int& bLogging) {
    std::string rest = TrimLeadingSpaces(text);
    while (!rest.empty() && rest[0] == '-') {
        const auto keyEnd = rest.find_first_of(" =");
        const std::string key = rest.substr(0, keyEnd);
        rest.erase(0, key.size());

        auto is = [&key](const char* name) { return EqualsIgnoringAsciiCase(key, name); };
        if (is("-OPENKEYS")) ctx.bOpenKeys = 1;
        else if (is("-CAPTURE")) ctx.bCapture = 1;
        else if (is("-RESTORE")) ctx.bRestore = 1;
        else if (is("-NOPROGRESS")) ctx.bNoProgress = 1;
        else if (is("-MIN")) ctx.nAccessShowCmd = kShowMinimized;
        else if (is("-NORMAL")) ctx.nAccessShowCmd = kShowNormal;
        else if (is("-LOGGING")) bLogging = 1;
        else if (is("-SUBFOLDERS")) ctx.bSubfolders = 1;
        else if (is("-WINDOWSPROFILE")) ctx.bWindowsProfile = 1;
        else if (is("-WAITFORACCESSTOCLOSE")) ctx.bWaitForAccessToClose = 1;
        else if (is("-LANG")) ReadNumberValue(rest, ctx.nLangCode);
        else if (is("-WAIT")) ReadNumberValue(rest, ctx.nWaitMs);
        else if (is("-CMD")) ReadQuotedValue(rest, ctx.strCmdKey);
        else if (is("-VALUE")) ReadQuotedValue(rest, ctx.strCmdValueName);
        else if (is("-TRUSTEDFOLDER")) ReadQuotedValue(rest, ctx.strTrustedFolder);
        else if (is("-SECFILE")) ReadQuotedValue(rest, ctx.strSecFile);

        if (!rest.empty()) rest = TrimLeadingSpaces(rest);
    }
    return rest;
}
