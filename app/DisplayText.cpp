#include "DisplayText.h"

#include <cstdint>
#include <string>

namespace dirwise {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the byte there does not start one.
std::size_t validSequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values beyond Unicode are not valid UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void appendHexByte(std::string &out, unsigned char b) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[b >> 4];
    out += digits[b & 0x0F];
}

} // namespace

QString DisplayText(std::string_view bytes) {
    // Most names need no escape at all: skip the copy for them.
    bool plain = true;
    for (std::size_t i = 0; i < bytes.size() && plain;) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x20 || b == 0x7F || b == '\\') {
            plain = false;
            break;
        }
        const std::size_t len = validSequenceLength(bytes, i);
        if (len == 0)
            plain = false;
        i += len == 0 ? 1 : len;
    }
    if (plain)
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));

    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        switch (b) {
        case '\t':
            out += "\\t";
            ++i;
            continue;
        case '\r':
            out += "\\r";
            ++i;
            continue;
        case '\n':
            out += "\\n";
            ++i;
            continue;
        case '\\':
            out += "\\\\";
            ++i;
            continue;
        default:
            break;
        }
        if (b < 0x20 || b == 0x7F) {
            appendHexByte(out, b);
            ++i;
            continue;
        }
        const std::size_t len = validSequenceLength(bytes, i);
        if (len == 0) {
            appendHexByte(out, b);
            ++i;
            continue;
        }
        out.append(bytes.substr(i, len));
        i += len;
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

} // namespace dirwise
