// Text encodings: UTF-8 checked, and Windows-1252 read and written. Used by the batch
// library and by the GDAL module alike, so that a layer's texts and a table's are
// mended the same way.
#include "tables/Encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tables {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

// Windows-1252 in 0x80-0x9F; 0xFFFD where it defines nothing.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

}  // namespace

bool IsUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: the common case.
        if (i + 8 <= n) {
            std::uint64_t block;
            std::memcpy(&block, s + i, 8);
            if ((block & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t more;
        char32_t min;
        if ((c & 0xE0) == 0xC0) more = 1, min = 0x80;
        else if ((c & 0xF0) == 0xE0) more = 2, min = 0x800;
        else if ((c & 0xF8) == 0xF0) more = 3, min = 0x10000;
        else return false;
        if (n - i <= more) return false;
        char32_t cp = c & (0x3F >> more);
        for (std::size_t k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += more + 1;
    }
    return true;
}

std::string FromWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) out += ch;
        else if (c < 0xA0) AppendUtf8(out, kWindows1252[c - 0x80]);
        else AppendUtf8(out, c);
    }
    return out;
}

std::string ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += utf8[i++];
            continue;
        }
        const std::size_t more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        char32_t cp = c & (0x3F >> more);
        for (std::size_t k = 1; k <= more && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        i += more + 1;
        const auto in = std::find(std::begin(kWindows1252), std::end(kWindows1252), cp);
        if (cp >= 0xA0 && cp <= 0xFF) out += static_cast<char>(cp);
        else if (cp != 0xFFFD && in != std::end(kWindows1252)) out += static_cast<char>(0x80 + (in - std::begin(kWindows1252)));
        else out += '?';
    }
    return out;
}

std::string ValidUtf8(std::string_view text, int* replaced) {
    if (IsUtf8(text)) return std::string(text);
    std::string out = FromWindows1252(text);
    if (replaced != nullptr) {
        for (char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            *replaced += c >= 0x80 && c < 0xA0 && kWindows1252[c - 0x80] == 0xFFFD;
        }
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

}  // namespace tables
