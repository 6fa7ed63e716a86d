#pragma once

#include "ResultsList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// Whether a row's relative path (its directory "/a/b/" and its name) contains a text, with
// case folded as names are compared elsewhere (Unicode simple folding, the same in every
// locale; bytes that are not UTF-8 compare as bytes). Made for a million rows a keystroke
// without a folded copy of every name: an ASCII name (most are, and the list knows which)
// is searched with its letters folded on the way, any other name is folded into one reused
// buffer when it is tested. Each directory is decided once, remembered by its index in the
// list's directory table, so call forget() whenever that table may have been rebuilt (the
// list was cleared).
class PathFilter {
public:
    // The text to look for, as UTF-8; empty matches every row.
    void setText(std::string_view text);
    [[nodiscard]] bool empty() const { return m_needle.empty(); }
    // Forgets every remembered directory.
    void forget();
    // Whether row `i` of `list` (< list.Count()) passes.
    [[nodiscard]] bool matches(const ResultsList &list, std::size_t i);

private:
    // Folds `text` into `out` (replacing it).
    static void fold(std::string_view text, std::string &out);
    // Whether row i's name, folded, contains `part` (folded too); `anchored`: at its start.
    [[nodiscard]] bool nameHas(const ResultsList &list, std::size_t i, std::string_view part,
                               bool anchored);

    std::string m_needle; // folded
    bool m_needleHasSlash = false;
    std::string m_head; // with a "/": the needle up to its last "/", that "/" included
    std::string m_tail; // the rest
    // What each directory (by its index in the list's table) says of the rows in it.
    enum : std::uint8_t {
        Unknown, // not yet looked at
        Lacks,   // the folded directory lacks the text
        Holds,   // it holds the text: every row in it passes
        Reaches, // it ends with the text's head: a row passes when its name starts with the tail
    };
    std::vector<std::uint8_t> m_dirState;
    std::string m_folded; // a name that is not all ASCII, folded
};

} // namespace dirwise
