#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dirwise {

// Unicode simple case folding (the C and S mappings of CaseFolding.txt): the letter that
// case-insensitive comparisons use for `cp`; `cp` itself when it has none. The same in every
// locale.
[[nodiscard]] char32_t FoldCase(char32_t cp);

// One character of a name for case-insensitive comparison: a valid UTF-8 sequence counts as
// its folded code point, any other byte as itself (keys 0x110000 and up), so bytes that are
// not UTF-8 compare as bytes and never equal a letter.
struct FoldedUnit {
    std::uint32_t key;
    std::size_t length; // bytes it takes in the name, at least 1
};
// The unit that starts at s[i]; i must be < s.size().
[[nodiscard]] FoldedUnit FoldedUnitAt(std::string_view s, std::size_t i);

// `s` with every valid UTF-8 character folded (and written back as UTF-8) and every other
// byte kept. Pure ASCII text needs FoldAscii only; this is for the rest.
[[nodiscard]] std::string FoldCaseUtf8(std::string_view s);
// The same into `out` (replacing what it held), reusing its memory: for folding many texts
// one after another without an allocation each.
void FoldCaseUtf8(std::string_view s, std::string &out);

// Whether `s` holds a byte outside ASCII.
[[nodiscard]] bool HasNonAscii(std::string_view s);

} // namespace dirwise
