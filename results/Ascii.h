#pragma once

namespace dirwise {

// Folds an ASCII capital to its small letter and leaves every other byte alone. Names are
// byte strings in no particular encoding, so only ASCII letters compare without case.
[[nodiscard]] inline unsigned char FoldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

} // namespace dirwise
