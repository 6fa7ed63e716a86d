// The small texts of a manifest: names with their escapes, times, and how a manifest starts.

#include "MtreeReader.h"
#include "SnapshotFolder.h"

#include <charconv>
#include <limits>

namespace dirwise {

std::string_view EntryTypeName(EntryType type) {
    switch (type) {
    case EntryType::File:
        return "file";
    case EntryType::Dir:
        return "dir";
    case EntryType::Link:
        return "link";
    case EntryType::Block:
        return "block";
    case EntryType::Char:
        return "char";
    case EntryType::Fifo:
        return "fifo";
    case EntryType::Socket:
        return "socket";
    }
    return "file";
}

void AppendSnapshotTime(std::string &out, SnapshotTime time) {
    char text[24]; // an int64's digits and sign
    out.append(text, std::to_chars(text, text + sizeof text, time.seconds).ptr);
    out += '.';
    out.append(text, std::to_chars(text, text + sizeof text, time.nanoseconds).ptr);
}

bool ParseSnapshotTime(std::string_view text, SnapshotTime &out) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    if (whole.empty() || whole == "-")
        return false;
    const char *end = whole.data() + whole.size();
    auto [at, ec] = std::from_chars(whole.data(), end, out.seconds);
    if (ec != std::errc() || at != end)
        return false;
    out.nanoseconds = 0;
    if (dot == std::string_view::npos)
        return true;
    const std::string_view part = text.substr(dot + 1);
    if (part.empty() || part.size() > 9 || part.front() == '-' || part.front() == '+')
        return false;
    end = part.data() + part.size();
    auto [at2, ec2] = std::from_chars(part.data(), end, out.nanoseconds);
    return ec2 == std::errc() && at2 == end;
}

namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }

// The bytes one escape starting at text[i] ("\") takes, counting what is cut off by the
// end of the text as missing: "\M-x" and "\M^x" four, "\^x" three, "\ooo" up to four.
std::size_t escapeLength(std::string_view text, std::size_t i) {
    const std::size_t left = text.size() - i;
    if (left < 2)
        return left;
    const char c = text[i + 1];
    if (c == 'M' && left >= 3 && (text[i + 2] == '-' || text[i + 2] == '^'))
        return std::min<std::size_t>(4, left);
    if (c == '^')
        return std::min<std::size_t>(3, left);
    if (isOctal(c)) {
        std::size_t k = 2;
        while (k < 4 && k < left && isOctal(text[i + k]))
            ++k;
        return k;
    }
    return 2;
}

// The byte a one-letter escape stands for, or -1.
int letterEscape(char c) {
    switch (c) {
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 'b':
        return '\b';
    case 'a':
        return '\a';
    case 'v':
        return '\v';
    case 't':
        return '\t';
    case 'f':
        return '\f';
    case 's':
        return ' ';
    case 'E':
        return 033;
    default:
        // vis puts a backslash before any other printable byte it wants read literally.
        return c >= 0x20 && c < 0x7f ? c : -1;
    }
}

int control(char c) { return c == '?' ? 0177 : (static_cast<unsigned char>(c) & 037); }

// Decodes the escape at text[i], of `length` bytes, onto `out`. False when it is not one.
bool decodeEscape(std::string_view text, std::size_t i, std::size_t length, std::string &out) {
    if (length < 2)
        return false;
    const char c = text[i + 1];
    if (isOctal(c)) {
        int value = 0;
        for (std::size_t k = 1; k < length; ++k)
            value = value * 8 + (text[i + k] - '0');
        if (value > 0377)
            return false;
        out += static_cast<char>(value);
        return true;
    }
    if (c == 'M' && length == 4) {
        const int low =
            text[i + 2] == '-' ? static_cast<unsigned char>(text[i + 3]) : control(text[i + 3]);
        out += static_cast<char>(low | 0200);
        return true;
    }
    if (c == '^') {
        if (length != 3)
            return false;
        out += static_cast<char>(control(text[i + 2]));
        return true;
    }
    if (c == '$' || c == '\n') // vis's hidden markers stand for nothing
        return true;
    const int byte = c == 'M' ? -1 : letterEscape(c);
    if (byte < 0)
        return false;
    out += static_cast<char>(byte);
    return true;
}

} // namespace

std::size_t MtreeEscapeLength(std::string_view text, std::size_t i) {
    return escapeLength(text, i);
}

bool DecodeMtreeName(std::string_view text, std::string &out) {
    if (text.find('\\') == std::string_view::npos) { // most names hold no escape
        out.assign(text);
        return true;
    }
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '\\') {
            out += text[i++];
            continue;
        }
        const std::size_t length = escapeLength(text, i);
        if (!decodeEscape(text, i, length, out))
            return false;
        i += length;
    }
    return true;
}

std::string EncodeMtreeName(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 8);
    AppendMtreeName(out, name); // the writer's own, so the two never differ
    return out;
}

bool LooksLikeManifest(std::string_view head) {
    if (head.starts_with("#mtree") &&
        (head.size() == 6 || head[6] == '\n' || head[6] == ' ' || head[6] == '\t'))
        return true;
    if (!head.starts_with("#"))
        return false;
    std::size_t at = 0;
    while (at < head.size()) {
        std::size_t end = head.find('\n', at);
        if (end == std::string_view::npos)
            return false; // the first entry line is not within the head
        std::string_view line = head.substr(at, end - at);
        at = end + 1;
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        line.remove_prefix(first);
        return line.starts_with("/set ") || line.starts_with("/set\t") ||
               line.starts_with("/unset ") || line.starts_with("/unset\t") ||
               line.starts_with(". ") || line.starts_with(".\t");
    }
    return false;
}

} // namespace dirwise
