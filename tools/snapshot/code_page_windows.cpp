// The ANSI code page on Windows is the system's: the same one the launcher's
// narrow registry calls convert with.
#include <windows.h>

#include "tools/snapshot/text_encoding.h"

std::string Utf16LeFromAnsi(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    std::wstring wide(size_t(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide.data(), units);
    std::string out;
    out.reserve(wide.size() * 2);
    for (const wchar_t unit : wide) {
        out += char(unit & 0xFF);
        out += char((unit >> 8) & 0xFF);
    }
    return out;
}

std::optional<std::string> AnsiFromUtf16Le(std::string_view utf16) {
    if (utf16.size() % 2 != 0) return std::nullopt;
    if (utf16.empty()) return std::string();
    std::wstring wide(utf16.size() / 2, L'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = wchar_t(static_cast<unsigned char>(utf16[2 * i]) | (static_cast<unsigned char>(utf16[2 * i + 1]) << 8));
    }
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::nullopt;
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), out.data(), bytes, nullptr, nullptr);
    // Best-fit and default characters would change the text: only a
    // conversion that comes back unchanged is exact.
    if (Utf16LeFromAnsi(out) != utf16) return std::nullopt;
    return out;
}
