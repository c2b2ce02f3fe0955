#include "tools/snapshot/reg_text.h"

#include <cstdio>

#include "common/ascii_text.h"
#include "tools/snapshot/text_encoding.h"

namespace {

// The launcher reads a string value as text when it is at most this many
// bytes long with its terminator; longer ones it keeps byte for byte.
constexpr size_t kMaxTextStringBytes = 4096;
// Columns after which regedit continues a hex list on the next line.
constexpr size_t kHexWrapColumn = 76;

// Types whose bytes the narrow registry calls convert between the ANSI code
// page and UTF-16: a raw entry of these types holds ANSI bytes, while .reg
// text holds them as UTF-16LE.
bool IsCodePageConverted(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexList(std::string prefix, std::string_view bytes, std::optional<size_t> startColumn) {
    static const char digits[] = "0123456789abcdef";
    size_t column = startColumn.value_or(0) + prefix.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        prefix += digits[byte >> 4];
        prefix += digits[byte & 15];
        column += 2;
        if (i + 1 == bytes.size()) break;
        prefix += ',';
        ++column;
        if (startColumn && column > kHexWrapColumn) {
            prefix += "\\\r\n  ";
            column = 2;
        }
    }
    return prefix;
}

std::string HexPrefix(std::uint32_t type) {
    if (type == kRegBinary) return "hex:";
    char text[24];
    std::snprintf(text, sizeof text, "hex(%x):", unsigned(type));
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return StartsWithIgnoringAsciiCase(text, prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One to eight hex digits, the whole text.
std::optional<std::uint32_t> HexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + std::uint32_t(digit);
    }
    return value;
}

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string LineError(int line, const std::string& message) { return "line " + std::to_string(line) + ": " + message; }

// A quoted string starting at text[at] == '"': its content with regedit's
// escapes resolved (\\ and \", and \n, \r, \0 as Wine's regedit writes
// them); at moves past the closing quote.
std::optional<std::string> QuotedString(std::string_view text, size_t& at, std::string& problem) {
    std::string out;
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            at = i + 1;
            return out;
        }
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) break;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        default: problem = std::string("unknown escape \\") + text[i] + " in a quoted string"; return std::nullopt;
        }
    }
    if (problem.empty()) problem = "a quoted string is not closed on its line";
    return std::nullopt;
}

std::optional<std::string> HexBytes(std::string_view list, std::string& problem) {
    std::string bytes;
    list = Trimmed(list);
    if (list.empty()) return bytes;
    size_t at = 0;
    while (true) {
        const size_t comma = std::min(list.find(',', at), list.size());
        const std::string_view token = Trimmed(list.substr(at, comma - at));
        if (token.empty() || token.size() > 2 || HexDigit(token[0]) < 0 || (token.size() == 2 && HexDigit(token[1]) < 0)) {
            problem = "\"" + std::string(token) + "\" in a hex list is not a byte of one or two hex digits";
            return std::nullopt;
        }
        bytes += char(token.size() == 1 ? HexDigit(token[0]) : HexDigit(token[0]) * 16 + HexDigit(token[1]));
        if (comma == list.size()) return bytes;
        at = comma + 1;
    }
}

std::optional<RegistryEntry> StringLike(std::uint32_t type, const std::string& ansi) {
    RegistryEntry value;
    value.present = 1;
    const bool oneTerminator = ansi.empty() || ansi.find('\0') == ansi.size() - 1;
    if (ansi.size() <= kMaxTextStringBytes && oneTerminator) {
        value.valueType = type == kRegSz ? kTypeString : kTypeExpandString;
        value.stringData = ansi.substr(0, ansi.empty() ? 0 : ansi.size() - 1);
    } else {
        value.valueType = kTypeRaw;
        value.rawType = type;
        value.rawData = ansi;
    }
    return value;
}

RegistryEntry Stored(std::uint32_t type, const std::string& bytes) {
    RegistryEntry value;
    value.present = 1;
    value.valueType = kTypeStored;
    value.rawType = type;
    value.rawData = bytes;
    return value;
}

}  // namespace

std::optional<std::string> RegDataText(const RegistryEntry& entry, std::optional<size_t> startColumn) {
    switch (entry.valueType) {
    case kTypeString:
        if (entry.stringData.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
            if (const auto text = Utf8FromAnsi(entry.stringData)) return Quoted(*text);
        }
        // A line break cannot stand inside a quoted .reg string that every
        // regedit reads: such a string goes as its UTF-16 bytes.
        return HexList(HexPrefix(kRegSz), Utf16LeFromAnsi(entry.stringData + '\0'), startColumn);
    case kTypeExpandString:
        return HexList(HexPrefix(kRegExpandSz), Utf16LeFromAnsi(entry.stringData + '\0'), startColumn);
    case kTypeDword: {
        char text[24];
        std::snprintf(text, sizeof text, "dword:%08x", unsigned(entry.dwordData));
        return std::string(text);
    }
    case kTypeRaw:
        return HexList(HexPrefix(entry.rawType),
                       IsCodePageConverted(entry.rawType) ? Utf16LeFromAnsi(entry.rawData) : entry.rawData, startColumn);
    case kTypeStored:  // the registry's own bytes, strings already UTF-16
        return HexList(HexPrefix(entry.rawType), entry.rawData, startColumn);
    default:
        return std::nullopt;
    }
}

std::string RegNameText(std::string_view utf8Name) { return utf8Name.empty() ? "@" : Quoted(utf8Name); }

std::optional<std::string> RegFileText(const std::vector<RegistryEntry>& entries, std::string& error) {
    std::string out = std::string(kRegHeader) + "\r\n";
    std::string section;
    for (const auto& entry : entries) {
        if (entry.present != 1) continue;
        const auto key = Utf8FromAnsi(std::string(NamesOf(entry.root).longName) + "\\" + entry.keyPath);
        const auto name = Utf8FromAnsi(entry.valueName);
        if (!key || !name) {
            error = "the name of " + EntryLookupPath(entry) + " has no Unicode form";
            return std::nullopt;
        }
        if (*key != section) {  // a key name is never empty: the first entry opens a section
            section = *key;
            out += "\r\n[" + section + "]\r\n";
        }
        const std::string nameText = RegNameText(*name);
        const auto data = RegDataText(entry, nameText.size() + 1);
        if (!data) {
            error = EntryLookupPath(entry) + " holds a value of a kind this tool does not know (" +
                    std::to_string(entry.valueType) + ")";
            return std::nullopt;
        }
        out += nameText + "=" + *data + "\r\n";
    }
    return out + "\r\n";
}

std::optional<RegTextParse> ParseRegText(std::string_view utf8, std::string& error) {
    std::vector<std::string_view> lines;
    for (size_t at = 0; at <= utf8.size();) {
        size_t end = utf8.find('\n', at);
        if (end == std::string_view::npos) end = utf8.size();
        std::string_view line = utf8.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    if (lines.empty() || Trimmed(lines[0]) != kRegHeader) {
        error = LineError(1, "the text does not start with \"" + std::string(kRegHeader) + "\"");
        return std::nullopt;
    }
    RegTextParse parse;
    bool inKey = false, inDeletedKey = false;
    std::string rootName, keyPath;
    for (size_t index = 1; index < lines.size(); ++index) {
        const int number = int(index + 1);
        std::string_view line = Trimmed(lines[index]);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) {
                error = LineError(number, "a key section is not of the form [key]");
                return std::nullopt;
            }
            const std::string_view inner = line.substr(1, line.size() - 2);
            inKey = inner[0] != '-';
            inDeletedKey = !inKey;
            if (inDeletedKey) {
                parse.notices.push_back(LineError(number, "[" + std::string(inner) +
                                                              "] deletes a key, which a snapshot cannot carry: skipped"));
                continue;
            }
            const size_t slash = inner.find('\\');
            rootName = std::string(inner.substr(0, slash));
            keyPath = slash == std::string_view::npos ? std::string() : std::string(inner.substr(slash + 1));
            continue;
        }
        if (line[0] != '@' && line[0] != '"') {
            error = LineError(number, "neither a [key] section nor a \"name\"=data or @=data line");
            return std::nullopt;
        }
        if (!inKey && !inDeletedKey) {
            error = LineError(number, "a value comes before any [key] section");
            return std::nullopt;
        }
        RegTextValue value;
        value.line = number;
        value.rootName = rootName;
        value.keyPath = keyPath;
        size_t at = 1;
        std::string problem;
        if (line[0] == '"') {
            at = 0;
            const auto name = QuotedString(line, at, problem);
            if (!name) {
                error = LineError(number, problem);
                return std::nullopt;
            }
            value.name = *name;
        }
        std::string_view rest = Trimmed(line.substr(at));
        if (rest.empty() || rest[0] != '=') {
            error = LineError(number, "the value's name is not followed by \"=\"");
            return std::nullopt;
        }
        rest = Trimmed(rest.substr(1));
        if (rest == "-") {
            value.kind = RegTextValue::Kind::Delete;
        } else if (!rest.empty() && rest[0] == '"') {
            at = 0;
            const auto text = QuotedString(rest, at, problem);
            if (!text) {
                error = LineError(number, problem);
                return std::nullopt;
            }
            if (!Trimmed(rest.substr(at)).empty()) {
                error = LineError(number, "text follows the closing quote of the data");
                return std::nullopt;
            }
            value.text = *text;
        } else if (StartsWithNoCase(rest, "dword:")) {
            const auto number32 = HexNumber(rest.substr(6));
            if (!number32) {
                error = LineError(number, "dword: is not followed by one to eight hex digits");
                return std::nullopt;
            }
            value.kind = RegTextValue::Kind::Dword;
            value.number = *number32;
        } else if (StartsWithNoCase(rest, "hex")) {
            value.kind = RegTextValue::Kind::Hex;
            rest.remove_prefix(3);
            if (!rest.empty() && rest[0] == '(') {
                const size_t close = rest.find(')');
                const auto type = close == std::string_view::npos ? std::nullopt : HexNumber(rest.substr(1, close - 1));
                if (!type) {
                    error = LineError(number, "hex( is not followed by a type of one to eight hex digits and \")\"");
                    return std::nullopt;
                }
                value.hexType = *type;
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest[0] != ':') {
                error = LineError(number, "the hex type is not followed by \":\"");
                return std::nullopt;
            }
            // A list ending in a backslash goes on at the next line.
            std::string list(Trimmed(rest.substr(1)));
            while (!list.empty() && list.back() == '\\') {
                list.pop_back();
                if (++index == lines.size()) {
                    error = LineError(number, "the hex list continues past the end of the text");
                    return std::nullopt;
                }
                list += Trimmed(lines[index]);
            }
            const auto bytes = HexBytes(list, problem);
            if (!bytes) {
                error = LineError(number, problem);
                return std::nullopt;
            }
            value.bytes = *bytes;
        } else {
            error = LineError(number, "the data is none of \"text\", dword:, hex:, hex(N): or -");
            return std::nullopt;
        }
        if (inKey) parse.values.push_back(std::move(value));
    }
    return parse;
}

RegValueConversion ValueFromRegData(const RegTextValue& value) {
    RegValueConversion result;
    switch (value.kind) {
    case RegTextValue::Kind::String:
        if (const auto ansi = AnsiFromUtf8(value.text)) {
            result.value = StringLike(kRegSz, *ansi + '\0');
        } else if (const auto utf16 = Utf16LeFromUtf8(value.text)) {
            result.value = Stored(kRegSz, *utf16 + std::string(2, '\0'));
        } else {
            result.problem = "its text is not UTF-8";
        }
        break;
    case RegTextValue::Kind::Dword:
        result.value.emplace();
        result.value->present = 1;
        result.value->valueType = kTypeDword;
        result.value->dwordData = value.number;
        break;
    case RegTextValue::Kind::Hex:
        if (IsCodePageConverted(value.hexType)) {
            const auto ansi = AnsiFromUtf16Le(value.bytes);
            const bool terminated = ansi && !ansi->empty() && ansi->back() == '\0';
            if (!terminated) {
                // Text outside the code page, or of an odd shape (no
                // terminator, an odd number of bytes): kept as the registry
                // stores it.
                result.value = Stored(value.hexType, value.bytes);
            } else if (value.hexType == kRegMultiSz) {
                result.value = StringLike(kRegMultiSz, *ansi);
            } else {
                result.value = StringLike(value.hexType, *ansi);
            }
            break;
        }
        result.value.emplace();
        result.value->present = 1;
        if (value.hexType == kRegDword && value.bytes.size() == 4) {
            result.value->valueType = kTypeDword;
            for (int i = 3; i >= 0; --i) {
                result.value->dwordData = (result.value->dwordData << 8) | static_cast<unsigned char>(value.bytes[size_t(i)]);
            }
        } else {
            result.value->valueType = kTypeRaw;
            result.value->rawType = value.hexType;
            result.value->rawData = value.bytes;
        }
        break;
    case RegTextValue::Kind::Delete:
        result.problem = "it deletes the value, which a snapshot cannot carry";
        break;
    }
    return result;
}

std::string EncodeRegText(const std::string& utf8, RegEncoding encoding) {
    switch (encoding) {
    case RegEncoding::Utf16:
        if (const auto utf16 = Utf16LeFromUtf8(utf8)) return "\xFF\xFE" + *utf16;
        break;
    case RegEncoding::Ansi:
        if (const auto ansi = AnsiFromUtf8(utf8)) return *ansi;
        break;
    case RegEncoding::Utf8:
        break;
    }
    return utf8;
}

std::optional<std::string> DecodeRegFileBytes(const std::string& bytes, std::string& error) {
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        auto text = Utf8FromUtf16Le(std::string_view(bytes).substr(2));
        if (!text) error = "the text after its UTF-16LE byte-order mark is not well-formed UTF-16LE";
        return text;
    }
    if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        error = "the text is UTF-16 big-endian; save it as UTF-16LE or UTF-8";
        return std::nullopt;
    }
    const std::string text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    if (!Utf16LeFromUtf8(text)) {
        error = "the text is neither UTF-16LE with a byte-order mark nor UTF-8";
        return std::nullopt;
    }
    return text;
}
