#pragma once

namespace dirwise {

// Folds an ASCII capital to its small letter and leaves every other byte alone: the fast
// path for text that is all ASCII. Letters of other languages fold by CaseFold.h.
[[nodiscard]] inline unsigned char FoldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// The value of a hexadecimal digit of either case, or -1 for any other byte.
[[nodiscard]] constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace dirwise
