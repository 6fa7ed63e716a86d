#include "PathFilter.h"

#include "Ascii.h"
#include "CaseFold.h"

namespace dirwise {

void PathFilter::fold(std::string_view text, std::string &out) {
    if (HasNonAscii(text)) {
        FoldCaseUtf8(text, out);
        return;
    }
    out.resize(text.size());
    for (std::size_t k = 0; k < text.size(); ++k)
        out[k] = static_cast<char>(FoldAscii(text[k]));
}

void PathFilter::setText(std::string_view text) {
    fold(text, m_needle);
    const std::size_t slash = m_needle.rfind('/');
    m_needleHasSlash = slash != std::string::npos;
    m_head = m_needleHasSlash ? m_needle.substr(0, slash + 1) : std::string();
    m_tail = m_needleHasSlash ? m_needle.substr(slash + 1) : std::string();
    forget();
}

void PathFilter::forget() { m_dirState.clear(); }

bool PathFilter::matches(const ResultsList &list, std::size_t i) {
    if (m_needle.empty())
        return true;
    const std::uint32_t dir = list.DirIndex(i);
    if (dir >= m_dirState.size())
        m_dirState.resize(dir + 1, Unknown);
    std::uint8_t &state = m_dirState[dir];
    if (state == Unknown) {
        std::string folded;
        fold(list.RelativeDir(i), folded);
        if (folded.find(m_needle) != std::string::npos)
            state = Holds;
        else if (m_needleHasSlash && folded.ends_with(m_head))
            state = Reaches;
        else
            state = Lacks;
    }
    if (state == Holds)
        return true;
    if (!m_needleHasSlash) {
        // The directory ends in "/", so a text without one cannot reach across into the name.
        return nameHas(list, i, m_needle, false);
    }
    // A name holds no "/": a text with one that the directory lacks can only match with its
    // last "/" on the directory's last, its head ending the directory and its tail
    // starting the name.
    return state == Reaches && nameHas(list, i, m_tail, true);
}

bool PathFilter::nameHas(const ResultsList &list, std::size_t i, std::string_view part,
                         bool anchored) {
    const std::string_view name = list.Name(i);
    if (!list.NameIsAscii(i)) {
        fold(name, m_folded);
        return anchored ? std::string_view(m_folded).starts_with(part)
                        : m_folded.find(part) != std::string::npos;
    }
    // Folded on the way. `part` is folded, so a letter in it is small, and a byte of it
    // beyond ASCII never equals an ASCII name's byte.
    if (part.size() > name.size())
        return false;
    const std::size_t last = anchored ? 0 : name.size() - part.size();
    for (std::size_t at = 0; at <= last; ++at) {
        std::size_t k = 0;
        while (k < part.size() && FoldAscii(name[at + k]) == static_cast<unsigned char>(part[k]))
            ++k;
        if (k == part.size())
            return true;
    }
    return false;
}

} // namespace dirwise
