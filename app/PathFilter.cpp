#include "PathFilter.h"

#include "Ascii.h"
#include "CaseFold.h"

namespace dirwise {

void PathFilter::fold(std::string_view text, std::string &out) {
    if (HasNonAscii(text)) {
        out = FoldCaseUtf8(text);
        return;
    }
    out.resize(text.size());
    for (std::size_t k = 0; k < text.size(); ++k)
        out[k] = static_cast<char>(FoldAscii(text[k]));
}

void PathFilter::setText(std::string_view text) {
    fold(text, m_needle);
    m_needleHasSlash = m_needle.find('/') != std::string::npos;
    forget();
}

void PathFilter::forget() {
    m_dirState.clear();
    m_dirFolded.clear();
}

bool PathFilter::matches(const ResultsList &list, std::size_t i) {
    if (m_needle.empty())
        return true;
    const std::uint32_t dir = list.DirIndex(i);
    if (dir >= m_dirState.size()) {
        m_dirState.resize(dir + 1, 0);
        if (m_needleHasSlash)
            m_dirFolded.resize(dir + 1);
    }
    std::uint8_t &state = m_dirState[dir];
    if (state == 0) {
        std::string folded;
        fold(list.RelativeDir(i), folded);
        state = folded.find(m_needle) != std::string::npos ? 2 : 1;
        if (m_needleHasSlash)
            m_dirFolded[dir] = std::move(folded);
    }
    if (state == 2)
        return true;
    // The list folds every name once and keeps it, so a keystroke folds nothing.
    const std::string_view name = list.FoldedName(i);
    if (!m_needleHasSlash) {
        // The directory ends in "/", so a text without one cannot reach across into the name.
        return name.find(m_needle) != std::string_view::npos;
    }
    m_name = m_dirFolded[dir];
    m_name += name;
    return m_name.find(m_needle) != std::string::npos;
}

} // namespace dirwise
