#include "CaseFold.h"

#include "Ascii.h"
#include "TextForms.h"

#include <algorithm>
#include <iterator>

namespace dirwise {
namespace {

struct Mapping {
    char32_t from;
    char32_t to;
};

constexpr Mapping Table[] = {
#include "CaseFoldTable.inc"
};

void appendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t decode(std::string_view s, std::size_t i, std::size_t n) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    switch (n) {
    case 1:
        return b(0);
    case 2:
        return ((b(0) & 0x1Fu) << 6) | (b(1) & 0x3Fu);
    case 3:
        return ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
    default:
        return ((b(0) & 0x07u) << 18) | ((b(1) & 0x3Fu) << 12) | ((b(2) & 0x3Fu) << 6) |
               (b(3) & 0x3Fu);
    }
}

} // namespace

char32_t FoldCase(char32_t cp) {
    if (cp < 0x80)
        return FoldAscii(static_cast<char>(cp));
    const auto it = std::lower_bound(std::begin(Table), std::end(Table), cp,
                                     [](const Mapping &m, char32_t c) { return m.from < c; });
    return it != std::end(Table) && it->from == cp ? it->to : cp;
}

FoldedUnit FoldedUnitAt(std::string_view s, std::size_t i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    if (byte < 0x80)
        return {FoldAscii(s[i]), 1};
    const std::size_t n = Utf8SequenceLength(s, i);
    if (n == 0)
        return {0x110000u + byte, 1};
    return {static_cast<std::uint32_t>(FoldCase(decode(s, i, n))), n};
}

std::string FoldCaseUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const FoldedUnit u = FoldedUnitAt(s, i);
        if (u.key >= 0x110000u)
            out += s[i];
        else
            appendUtf8(out, static_cast<char32_t>(u.key));
        i += u.length;
    }
    return out;
}

bool HasNonAscii(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

} // namespace dirwise
