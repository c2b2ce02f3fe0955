// The ANSI code page natively on Linux, where no system code page can be
// asked: Windows-1252, as Windows maps it (the five bytes it leaves
// undefined map to the C1 control characters of the same number, so that
// every byte string converts and converts back).
#include <cstdint>

#include "tools/snapshot/text_encoding.h"

namespace {

constexpr std::uint16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::uint16_t UnitOf(unsigned char byte) { return byte >= 0x80 && byte < 0xA0 ? kHighHalf[byte - 0x80] : byte; }

}  // namespace

std::string Utf16LeFromAnsi(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() * 2);
    for (const char c : ansi) {
        const std::uint16_t unit = UnitOf(static_cast<unsigned char>(c));
        out += char(unit & 0xFF);
        out += char(unit >> 8);
    }
    return out;
}

std::optional<std::string> AnsiFromUtf16Le(std::string_view utf16) {
    if (utf16.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(utf16.size() / 2);
    for (size_t i = 0; i < utf16.size(); i += 2) {
        const std::uint16_t unit = std::uint16_t(static_cast<unsigned char>(utf16[i]) |
                                                 (static_cast<unsigned char>(utf16[i + 1]) << 8));
        int found = -1;
        for (int byte = 0; byte < 256 && found < 0; ++byte) {
            if (UnitOf(static_cast<unsigned char>(byte)) == unit) found = byte;
        }
        if (found < 0) return std::nullopt;
        out += char(found);
    }
    return out;
}
