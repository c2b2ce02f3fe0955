#include "tools/snapshot/snapshot_entries.h"

#include <cstdio>

#include "common/ascii_text.h"
#include "tools/snapshot/text_encoding.h"

namespace {

// The padding a writer adds: 0 to 7 bytes of 0xFF.
constexpr size_t kMaxPadding = 7;

bool SameNoCase(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

std::string LineError(size_t line, const std::string& message) {
    return "line " + std::to_string(line) + " of the deciphered snapshot " + message;
}

// The entry a snapshot line names, with the value the launcher's reader
// gives it; nothing (and the reason) when the reader would not apply it.
std::optional<RegistryEntry> EntryOfLine(const std::string& line, size_t number, std::string& error) {
    const auto fields = SplitFields(line, "=\t");
    if (fields.size() != 3 && fields.size() != 4) {
        error = LineError(number, "has " + std::to_string(fields.size()) +
                                      " fields where a value line has 3 or 4: \"" + Shown(line) + "\"");
        return std::nullopt;
    }
    const std::string& path = fields[0];
    const size_t slash = path.find('\\');
    const RegistryRootNames* root = nullptr;
    for (const auto& row : kRegistryRoots) {
        if (slash != std::string::npos && path.compare(0, slash, row.longName) == 0 && slash == row.longName.size()) {
            root = &row;
        }
    }
    if (!root || slash + 1 == path.size()) {
        error = LineError(number, "does not start with a registry root and a key: \"" + Shown(line) + "\"");
        return std::nullopt;
    }
    std::vector<RegistryEntry> probe(1);
    probe[0].root = root->root;
    probe[0].keyPath = path.substr(slash + 1);
    if (fields.size() == 4) probe[0].valueName = fields[1];
    // The reader itself decides what a line's tag and data give, so that
    // this tool knows every form the launcher knows. It parses a buffer
    // that is not whole 8-byte blocks as it stands; an extra line feed
    // (an empty line, which it passes over) keeps the line so, and spares
    // keying the cipher twice for every line.
    std::string plain = line + "\n";
    if (plain.size() % 8 == 0) plain += '\n';
    ApplySnapshotBytes(std::move(plain), probe);
    if (probe[0].present != 1) {
        error = LineError(number, "has a type tag \"" + Shown(fields[fields.size() - 2], 30) +
                                      "\" that the launcher does not know, or data it does not accept: \"" +
                                      Shown(fields.back()) + "\"");
        return std::nullopt;
    }
    return probe[0];
}

}  // namespace

std::string Shown(std::string_view text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == limit) return out + "...";
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
            out += hex;
        }
    }
    return out;
}

std::optional<std::vector<RegistryEntry>> EntriesOfSnapshotFile(const std::string& bytes, std::string& error) {
    if (bytes.size() % 8 != 0) {
        error = "the file is " + std::to_string(bytes.size()) +
                " bytes long, which is not a whole number of 8-byte blocks: it is damaged or not a snapshot file";
        return std::nullopt;
    }
    const std::string text = DecipherSnapshot(bytes);
    if (bytes.size() - text.size() > kMaxPadding) {
        error = "the file deciphers to a zero byte or to more padding than a snapshot has: it is damaged or not a "
                "snapshot file";
        return std::nullopt;
    }
    if (!text.empty() && text.back() != '\n') {
        error = "the deciphered snapshot does not end with a complete line: the file is damaged or not a snapshot file";
        return std::nullopt;
    }
    std::vector<RegistryEntry> entries;
    size_t number = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (line.empty()) {
            error = LineError(number, "is empty: the file is damaged or not a snapshot file");
            return std::nullopt;
        }
        auto entry = EntryOfLine(line, number, error);
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

SnapshotEncoding SnapshotFromRegText(const RegTextParse& parse) {
    SnapshotEncoding result;
    result.notices = parse.notices;
    std::vector<RegistryEntry> entries = CatalogueEntries();
    for (const auto& value : parse.values) {
        const std::string where = "line " + std::to_string(value.line) + ": [" + value.rootName +
                                  (value.keyPath.empty() ? "" : "\\" + value.keyPath) + "] " + RegNameText(value.name);
        const RegistryRootNames* root = FindRootByName(value.rootName);
        const auto keyPath = AnsiFromUtf8(value.keyPath);
        const auto name = AnsiFromUtf8(value.name);
        std::vector<size_t> matches;
        for (size_t i = 0; root && keyPath && name && i < entries.size(); ++i) {
            if (entries[i].root == root->root && SameNoCase(entries[i].keyPath, *keyPath) &&
                SameNoCase(entries[i].valueName, *name)) {
                matches.push_back(i);
            }
        }
        if (matches.empty()) {
            result.notices.push_back(where + " is not a value the launcher captures: skipped");
            continue;
        }
        RegValueConversion conversion = ValueFromRegData(value);
        if (conversion.value) {
            // What the launcher would refuse to restore is not written either.
            conversion.problem = SnapshotValueRefusal(*conversion.value);
            if (!conversion.problem.empty()) conversion.value.reset();
        }
        if (!conversion.value) {
            if (value.kind == RegTextValue::Kind::Delete) {
                result.notices.push_back(where + ": " + conversion.problem + ": skipped");
                continue;
            }
            result.error = where + " cannot be carried by a snapshot: " + conversion.problem;
            return result;
        }
        for (const size_t i : matches) {
            RegistryEntry& entry = entries[i];
            entry.present = 1;
            entry.valueType = conversion.value->valueType;
            entry.dwordData = conversion.value->dwordData;
            entry.stringData = conversion.value->stringData;
            entry.rawType = conversion.value->rawType;
            entry.rawData = conversion.value->rawData;
        }
    }
    result.fileBytes = EncipherSnapshot(BuildSnapshotText(entries));
    return result;
}
