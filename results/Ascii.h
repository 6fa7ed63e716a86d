#pragma once

namespace dirwise {

// Folds an ASCII capital to its small letter and leaves every other byte alone: the fast
// path for text that is all ASCII. Letters of other languages fold by CaseFold.h.
[[nodiscard]] inline unsigned char FoldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

} // namespace dirwise
