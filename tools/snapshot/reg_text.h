// Registry values as the .reg text that regedit writes and reads
// ("Windows Registry Editor Version 5.00"), held as UTF-8 inside the tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/snapshot.h"

inline constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";

// The data side of a "name"=data line for an entry's value: "text",
// dword:0000000c, hex(2):..., hex:..., hex(7):..., hex(b):..., hex(N):...
// The one place that maps an entry's value to .reg text; ValueFromRegData
// below is its inverse. Nothing for a value kind it does not know. With a
// start column, long hex data is wrapped as regedit wraps it: a "\" and
// CR LF after a comma, the next line indented by two spaces.
std::optional<std::string> RegDataText(const RegistryEntry& entry, std::optional<size_t> startColumn = std::nullopt);

// The header and "[HKEY_...\key]" sections with one line per present entry,
// in the order given; consecutive entries of one key share a section. Lines
// end in CR LF. Nothing, with the reason in error, for an entry it cannot print.
std::optional<std::string> RegFileText(const std::vector<RegistryEntry>& entries, std::string& error);

// "@" for the default value, else the quoted name with \ and " escaped.
std::string RegNameText(std::string_view utf8Name);

// One value line of a .reg text, as written there.
struct RegTextValue {
    int line = 0;
    std::string rootName;  // the part of the section name before its first backslash
    std::string keyPath;   // UTF-8, may be empty
    std::string name;      // UTF-8; empty: the default value
    enum class Kind { String, Dword, Hex, Delete } kind = Kind::String;
    std::string text;          // String: UTF-8
    std::uint32_t number = 0;  // Dword
    std::uint32_t hexType = 3; // Hex: registry type, 3 (REG_BINARY) for a plain "hex:"
    std::string bytes;         // Hex: the bytes as written
};

struct RegTextParse {
    std::vector<RegTextValue> values;
    std::vector<std::string> notices;  // what the text asks that a value list cannot hold ([-key] sections)
};

// Parses a UTF-8 .reg text (after its byte-order mark). On bad syntax:
// nothing, with "line N: ..." in error.
std::optional<RegTextParse> ParseRegText(std::string_view utf8, std::string& error);

// The entry value (valueType and data fields, present set) that a capture
// by the launcher would take from a registry value holding this data; an
// explanation instead when the snapshot cannot carry it.
struct RegValueConversion {
    std::optional<RegistryEntry> value;
    std::string problem;
};
RegValueConversion ValueFromRegData(const RegTextValue& value);

// The .reg text file's bytes in one of its encodings, and back to UTF-8.
enum class RegEncoding { Utf16, Utf8, Ansi };
std::string EncodeRegText(const std::string& utf8, RegEncoding encoding);
// Accepts UTF-16LE with a byte-order mark, and UTF-8 with or without one.
std::optional<std::string> DecodeRegFileBytes(const std::string& bytes, std::string& error);
