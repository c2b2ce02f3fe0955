// Text conversions of the snapshot tool. A snapshot carries the ANSI bytes
// the launcher read from the registry; a .reg text is Unicode (UTF-16LE, or
// UTF-8 where the tool allows it). Inside the tool, .reg text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Strict conversions: nothing for a malformed input (a lone surrogate, an
// overlong or truncated UTF-8 sequence, an odd number of UTF-16 bytes).
std::optional<std::string> Utf8FromUtf16Le(std::string_view bytes);
std::optional<std::string> Utf16LeFromUtf8(std::string_view text);

// ANSI bytes of the system code page (Windows-1252 where there is no system
// code page to ask, that is natively on Linux) to UTF-16LE bytes and back.
// Every ANSI byte string converts; zero bytes stay zero units. The way back
// gives nothing when a character has no exact ANSI form.
std::string Utf16LeFromAnsi(std::string_view ansi);
std::optional<std::string> AnsiFromUtf16Le(std::string_view utf16);

inline std::optional<std::string> Utf8FromAnsi(std::string_view ansi) { return Utf8FromUtf16Le(Utf16LeFromAnsi(ansi)); }
inline std::optional<std::string> AnsiFromUtf8(std::string_view text) {
    const auto utf16 = Utf16LeFromUtf8(text);
    if (!utf16) return std::nullopt;
    return AnsiFromUtf16Le(*utf16);
}
