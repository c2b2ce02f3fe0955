#include "tools/snapshot/text_encoding.h"

#include <cstdint>

namespace {

void AppendUnit(std::string& out, std::uint32_t unit) {
    out += char(unit & 0xFF);
    out += char(unit >> 8);
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::optional<std::string> Utf8FromUtf16Le(std::string_view bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(bytes.size());
    auto unitAt = [&bytes](size_t i) {
        return std::uint32_t(static_cast<unsigned char>(bytes[i])) |
               (std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8);
    };
    for (size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t code = unitAt(i);
        if (code >= 0xDC00 && code <= 0xDFFF) return std::nullopt;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 4 > bytes.size()) return std::nullopt;
            const std::uint32_t low = unitAt(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::optional<std::string> Utf16LeFromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        std::uint32_t code = 0, minimum = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, code = lead & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + 1 + size_t(extra) > text.size()) return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + size_t(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
        if (code >= 0x10000) {
            AppendUnit(out, 0xD800 + ((code - 0x10000) >> 10));
            AppendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            AppendUnit(out, code);
        }
        i += 1 + size_t(extra);
    }
    return out;
}
