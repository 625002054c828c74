#include "text/Windows1252.h"

#include <array>

namespace veltor {
namespace {

// Code points of the bytes 0x80..0x9F. The five bytes that Windows-1252 leaves unassigned
// stand for the C1 controls of the same value, as Windows itself maps them.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char ToWindows1252(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint) return static_cast<char>(0x80 + i);
    }
    return '?';
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at the start of text and its code point; 0 when the
// bytes there are not one (stray continuation, truncated, overlong, surrogate, beyond U+10FFFF).
std::size_t DecodeOne(std::string_view text, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!IsContinuation(byte)) return 0;
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

bool BreaksOrDisguisesALine(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

std::string VisibleControls(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = DecodeOne(utf8, codePoint);
        if (length == 0 || !BreaksOrDisguisesALine(codePoint)) {
            const std::size_t taken = length == 0 ? 1 : length;
            out.append(utf8.substr(0, taken));
            utf8.remove_prefix(taken);
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string digits;
        for (char32_t rest = codePoint; rest != 0 || digits.size() < 2; rest >>= 4)
            digits.insert(digits.begin(), kHex[rest & 0xF]);
        out += '<' + digits + '>';
        utf8.remove_prefix(length);
    }
    return out;
}

std::string ToProgramText(std::string_view line) {
    std::string out;
    out.reserve(line.size() + line.size() / 8);
    while (!line.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = DecodeOne(line, codePoint);
        if (length > 0) {
            out.append(line.substr(0, length));
            line.remove_prefix(length);
            continue;
        }
        const auto byte = static_cast<unsigned char>(line.front());
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char32_t{byte});
        line.remove_prefix(1);
    }
    return out;
}

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = DecodeOne(utf8, codePoint);
        if (length == 0) {
            out.push_back(utf8.front());
            utf8.remove_prefix(1);
        } else {
            out.push_back(ToWindows1252(codePoint));
            utf8.remove_prefix(length);
        }
    }
    return out;
}

} // namespace veltor
