#include "CaseFold.h"

#include "Ascii.h"
#include "TextForms.h"

#include <algorithm>
#include <array>
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

// Writes `cp` as UTF-8 at `to` and returns the byte after it.
char *writeUtf8(char *to, char32_t cp) {
    if (cp < 0x80) {
        *to++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *to++ = static_cast<char>(0xC0 | (cp >> 6));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *to++ = static_cast<char>(0xE0 | (cp >> 12));
        *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *to++ = static_cast<char>(0xF0 | (cp >> 18));
        *to++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return to;
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
    FoldCaseUtf8(s, out);
    return out;
}

void FoldCaseUtf8(std::string_view s, std::string &out) {
    // The two-byte letters (U+0080 to U+07FF: the Latin, Greek and Cyrillic ones most names
    // hold) fold by a table made once; the rest by a search of the mappings.
    static const std::array<char32_t, 0x800> twoByte = [] {
        std::array<char32_t, 0x800> t{};
        for (char32_t cp = 0; cp < t.size(); ++cp)
            t[cp] = FoldCase(cp);
        return t;
    }();
    // No folding makes a character longer by more than half (two bytes to three at most),
    // so the folded text fits in a buffer sized once.
    out.resize(s.size() + s.size() / 2);
    char *to = out.data();
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {
            *to++ = static_cast<char>(FoldAscii(s[i]));
            ++i;
            continue;
        }
        const std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0) {
            *to++ = s[i++]; // not UTF-8: kept as it is
            continue;
        }
        const char32_t cp = decode(s, i, n);
        const char32_t folded = cp < twoByte.size() ? twoByte[cp] : FoldCase(cp);
        to = writeUtf8(to, folded);
        i += n;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

bool HasNonAscii(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

} // namespace dirwise
