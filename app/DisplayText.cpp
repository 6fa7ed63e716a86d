#include "DisplayText.h"

#include "TextForms.h"

#include <cstdint>
#include <string>

namespace dirwise {

namespace {

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
        const std::size_t len = Utf8SequenceLength(bytes, i);
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
        const std::size_t len = Utf8SequenceLength(bytes, i);
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
