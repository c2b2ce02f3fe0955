#include "registry/snapshot.h"

#include <algorithm>
#include <utility>

#include "registry/blowfish.h"
#include "registry/capture_catalogue.h"

namespace {

const std::string kSnapshotKey("\x79\xEA\x7D\x9C\x7D\xBE\xD0\x48\x02\x83\x5F\x89\x97\x2A\x0F\x91", 16);
constexpr std::uint64_t kIvSeed = 0xD0A7347575937EDAull;

// The cipher and its IV, freshly keyed for every write and every read.
struct SnapshotCipher {
    Blowfish cipher{kSnapshotKey};
    std::uint64_t iv = 0;
    SnapshotCipher() {
        std::uint32_t left = std::uint32_t(kIvSeed >> 32), right = std::uint32_t(kIvSeed);
        cipher.EncryptBlock(left, right);
        iv = (std::uint64_t(left) << 32) | right;
    }
};

// String data the plain line cannot carry: the reader splits fields at "="
// and tab and lines at line feeds, drops empty fields, and other readers of
// the format trim trailing blanks.
bool NeedsHex(std::string_view data) {
    return data.empty() || data.find_first_of("=\t\r\n") != std::string_view::npos || data.back() == ' ';
}

std::string ToHex(std::string_view data) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (unsigned char c : data) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> FromHex(std::string_view text, bool zeroBytesAllowed) {
    if (text.size() < 2 || text[0] != '0' || text[1] != 'x' || text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 2; i < text.size(); i += 2) {
        const int high = nibble(text[i]), low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out += char(high * 16 + low);
    }
    // A zero byte cannot be part of a registry string read as text.
    if (!zeroBytesAllowed && out.find('\0') != std::string::npos) return std::nullopt;
    return out;
}

// Unsigned decimal: leading blanks skipped, digits up to the first other
// character, 0 without digits, 4294967295 for anything larger.
std::uint32_t ParseDword(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + unsigned(text[i] - '0');
        if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull + 1;
    }
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : std::uint32_t(value);
}

// "<decimal registry type>:0x<hex bytes>", the data of the lines that carry
// a value byte for byte.
std::optional<std::pair<std::uint32_t, std::string>> ParseTypedBytes(std::string_view data) {
    const auto colon = data.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon > 10 || data.find_first_not_of("0123456789") != colon) {
        return std::nullopt;
    }
    auto decoded = FromHex(data.substr(colon + 1), true);
    if (!decoded) return std::nullopt;
    return std::make_pair(ParseDword(data.substr(0, colon)), std::move(*decoded));
}

// The value a snapshot line's tag and data give; nothing for an unknown tag
// or data the tag cannot carry. Only the fields of the value's type are set.
std::optional<RegistryEntry> ParseValue(const std::string& tag, const std::string& data) {
    RegistryEntry value;
    if (tag == "REG_SZ" || tag == "REG_EXPAND_SZ") {
        value.stringData = data;
        value.valueType = tag == "REG_SZ" ? kTypeString : kTypeExpandString;
    } else if (tag == "REG_SZ_HEX" || tag == "REG_EXPAND_SZ_HEX") {
        const auto decoded = FromHex(data, false);
        if (!decoded) return std::nullopt;
        value.stringData = *decoded;
        value.valueType = tag == "REG_SZ_HEX" ? kTypeString : kTypeExpandString;
    } else if (tag == "REG_RAW_HEX" || tag == "REG_STORED_HEX") {
        const auto typed = ParseTypedBytes(data);
        if (!typed) return std::nullopt;
        value.rawType = typed->first;
        value.rawData = typed->second;
        value.valueType = tag == "REG_RAW_HEX" ? kTypeRaw : kTypeStored;
    } else if (tag == "REG_DWORD") {
        value.dwordData = ParseDword(data);
        value.valueType = kTypeDword;
    } else if (tag == "REG_ABSENT") {
        value.missingKeys = int(std::min<std::uint32_t>(ParseDword(data), 1000));
    } else {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string SnapshotValueRefusal(const RegistryEntry& value) {
    const std::size_t size = value.valueType == kTypeRaw || value.valueType == kTypeStored ? value.rawData.size()
                                                                                           : value.stringData.size();
    if (size > kMaxSnapshotValueBytes) return "more than " + std::to_string(kMaxSnapshotValueBytes) + " bytes";
    if (value.valueType != kTypeRaw && value.valueType != kTypeStored) return {};
    if (value.rawType > kRegQword) return "registry type " + std::to_string(value.rawType);
    // The narrow form carries text as the ANSI functions read it: always
    // with its terminator. (The stored form keeps a string exactly as it was
    // found, with or without one.)
    const bool text = value.rawType == kRegSz || value.rawType == kRegExpandSz || value.rawType == kRegMultiSz;
    if (value.valueType == kTypeRaw && text && (value.rawData.empty() || value.rawData.back() != '\0')) {
        return "text without its terminator";
    }
    return {};
}

std::string EntryLookupPath(const RegistryEntry& entry) {
    std::string path = std::string(NamesOf(entry.root).longName) + "\\" + entry.keyPath;
    if (!entry.valueName.empty()) path += "\\" + entry.valueName;
    return path;
}

std::optional<std::string> FormatEntryLine(const RegistryEntry& entry) {
    if (!Recorded(entry)) return std::nullopt;
    std::string line = std::string(NamesOf(entry.root).longName) + "\\" + entry.keyPath + "\t" + entry.valueName + "=";
    if (entry.present != 1) {
        line += "REG_ABSENT\t" + std::to_string(entry.missingKeys);
    } else if (entry.valueType == kTypeString || entry.valueType == kTypeExpandString) {
        const bool hex = NeedsHex(entry.stringData);
        line += entry.valueType == kTypeString ? "REG_SZ" : "REG_EXPAND_SZ";
        line += hex ? "_HEX\t" + ToHex(entry.stringData) : "\t" + entry.stringData;
    } else if (entry.valueType == kTypeRaw || entry.valueType == kTypeStored) {
        line += entry.valueType == kTypeRaw ? "REG_RAW_HEX\t" : "REG_STORED_HEX\t";
        line += std::to_string(entry.rawType) + ":" + ToHex(entry.rawData);
    } else {
        line += "REG_DWORD\t" + std::to_string(entry.dwordData);
    }
    return line;
}

std::vector<std::string> SplitFields(std::string_view text, std::string_view separators) {
    std::vector<std::string> fields;
    size_t at = 0;
    while ((at = text.find_first_not_of(separators, at)) != std::string_view::npos) {
        const size_t end = std::min(text.find_first_of(separators, at), text.size());
        fields.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return fields;
}

std::vector<RegistryEntry> CatalogueEntries() {
    std::vector<RegistryEntry> entries;
    entries.reserve(kClassesRowCount + kMachineRowCount);
    auto add = [&entries](RegRoot root, const CatalogueRow& row) {
        RegistryEntry entry;
        entry.root = root;
        entry.keyPath = row.keyPath;
        entry.valueName = row.valueName;
        entries.push_back(std::move(entry));
    };
    for (const auto& row : kClassesCatalogue) add(RegRoot::ClassesRoot, row);
    for (const auto& row : kMachineCatalogue) add(RegRoot::LocalMachine, row);
    return entries;
}

std::string TrustedLocationsKey(std::string_view officeVersion) {
    return "Software\\Microsoft\\Office\\" + std::string(officeVersion) + "\\Access\\Security\\Trusted Locations";
}

namespace {

RegistryEntry UserEntry(std::string keyPath, std::string valueName) {
    RegistryEntry entry;
    entry.root = RegRoot::CurrentUser;
    entry.keyPath = std::move(keyPath);
    entry.valueName = std::move(valueName);
    entry.removeWhenAbsent = 1;
    return entry;
}

constexpr std::string_view kLocationValues[] = {"Path", "AllowSubfolders"};

// The entry of a journal line for a value of a trusted location of Access
// 2013 or later: HKEY_CURRENT_USER, the container of 15.0 or 16.0, one key.
std::optional<RegistryEntry> TrustedLocationEntry(std::string_view lookup) {
    constexpr std::string_view kUser = "HKEY_CURRENT_USER\\";
    if (!lookup.starts_with(kUser)) return std::nullopt;
    lookup.remove_prefix(kUser.size());
    for (const char* version : {"15.0", "16.0"}) {
        const std::string container = TrustedLocationsKey(version) + "\\";
        if (!lookup.starts_with(container)) continue;
        const std::string_view rest = lookup.substr(container.size());
        const std::size_t slash = rest.find('\\');
        if (slash == 0 || slash == std::string_view::npos || rest.find('\\', slash + 1) != std::string_view::npos) break;
        const std::string_view value = rest.substr(slash + 1);
        if (std::find(std::begin(kLocationValues), std::end(kLocationValues), value) == std::end(kLocationValues)) break;
        return UserEntry(container + std::string(rest.substr(0, slash)), std::string(value));
    }
    return std::nullopt;
}

}  // namespace

std::vector<RegistryEntry> UserPreparationEntries(std::string_view officeVersion, std::string_view locationKey) {
    std::vector<RegistryEntry> entries;
    entries.push_back(UserEntry(kUserCurVerKey, ""));
    entries.push_back(UserEntry("Software\\Microsoft\\Office\\" + std::string(officeVersion) + "\\Common\\General",
                                "ShownFirstRunOptIn"));
    if (!locationKey.empty()) {
        for (const std::string_view value : kLocationValues) {
            entries.push_back(UserEntry(std::string(locationKey), std::string(value)));
        }
    }
    return entries;
}

bool DropEntry(std::vector<RegistryEntry>& entries, std::string_view keyPath) {
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->root == RegRoot::ClassesRoot && it->keyPath == keyPath && it->valueName.empty()) {
            entries.erase(it);
            return true;
        }
    }
    return false;
}

std::string BuildSnapshotText(const std::vector<RegistryEntry>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        if (const auto line = FormatEntryLine(entry)) text += *line + "\n";
    }
    return text;
}

std::string EncipherSnapshot(std::string text) {
    if (text.size() % 8 != 0) text.append(8 - text.size() % 8, '\xFF');
    const SnapshotCipher snapshot;
    snapshot.cipher.EncryptCbc(text, snapshot.iv);
    return text;
}

std::string DecipherSnapshot(std::string bytes) {
    if (bytes.empty()) return bytes;
    const SnapshotCipher snapshot;
    snapshot.cipher.DecryptCbc(bytes, snapshot.iv);  // any other length is parsed as it is
    size_t end = bytes.size();
    while (end > 0 && static_cast<unsigned char>(bytes[end - 1]) == 0xFF) --end;
    bytes.resize(end);
    return bytes.substr(0, bytes.find('\0'));
}

SnapshotApplied ApplySnapshotBytes(std::string bytes, std::vector<RegistryEntry>& entries, bool userLocations) {
    SnapshotApplied applied;
    std::string text = DecipherSnapshot(std::move(bytes));
    // A file cut short at a block boundary still deciphers, and its last line
    // then ends early: a DWORD of 4294967295 would come back as 4294967.
    const size_t wholeLines = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    applied.damagedEnd = wholeLines < text.size();
    text.resize(wholeLines);
    std::vector<std::string> lookups;  // built once: every line is looked up among all entries
    lookups.reserve(entries.size());
    for (const auto& entry : entries) lookups.push_back(EntryLookupPath(entry));
    for (const auto& line : SplitFields(text, "\n")) {
        const auto fields = SplitFields(line, "=\t");
        std::string lookup, tag, data;
        if (fields.size() == 3) {
            lookup = fields[0], tag = fields[1], data = fields[2];
        } else if (fields.size() == 4) {
            lookup = fields[0] + "\\" + fields[1], tag = fields[2], data = fields[3];
        } else {
            applied.refused.push_back("a line of no known form");
            continue;
        }
        auto found = std::find(lookups.begin(), lookups.end(), lookup);
        if (found == lookups.end() && userLocations) {
            if (auto location = TrustedLocationEntry(lookup)) {
                entries.push_back(std::move(*location));
                lookups.push_back(lookup);
                found = lookups.end() - 1;
            }
        }
        if (found == lookups.end()) {
            applied.refused.push_back(lookup + " (not a value the launcher keeps)");
            continue;
        }
        const auto value = ParseValue(tag, data);
        const std::string refusal = value ? SnapshotValueRefusal(*value) : "a form the launcher does not write: " + tag;
        if (!refusal.empty()) {
            applied.refused.push_back(lookup + " (" + refusal + ")");
            continue;
        }
        RegistryEntry& target = entries[size_t(found - lookups.begin())];
        if (value->missingKeys >= 0) {
            // Only a value the launcher writes for its user is ever removed.
            if (!target.removeWhenAbsent) {
                applied.refused.push_back(lookup + " (a value the launcher does not remove)");
                continue;
            }
            target.present = 0;
            target.missingKeys = value->missingKeys;
            ++applied.valuesSet;
            continue;
        }
        target.missingKeys = -1;
        target.present = 1;
        target.valueType = value->valueType;
        target.dwordData = value->dwordData;
        target.stringData = value->stringData;
        target.rawType = value->rawType;
        target.rawData = value->rawData;
        ++applied.valuesSet;
    }
    return applied;
}
