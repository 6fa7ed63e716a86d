#include "MtreeReader.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <unistd.h>

namespace dirwise {
namespace {

constexpr std::size_t ReadSize = 64 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Keywords that take a value this reader has no use for.
bool isIgnoredKeyword(std::string_view name) {
    static constexpr std::string_view Names[] = {
        "uid",          "gid",        "uname",           "gname",        "mode",
        "nlink",        "flags",      "cksum",           "md5",          "md5digest",
        "sha1",         "sha1digest", "sha384",          "sha384digest", "sha512",
        "sha512digest", "rmd160",     "rmd160digest",    "device",       "resdevice",
        "inode",        "tags",       "ripemd160digest", "contents"};
    for (const std::string_view n : Names)
        if (n == name)
            return true;
    return false;
}

bool parseType(std::string_view word, EntryType &type) {
    for (const EntryType t : {EntryType::File, EntryType::Dir, EntryType::Link, EntryType::Block,
                              EntryType::Char, EntryType::Fifo, EntryType::Socket})
        if (EntryTypeName(t) == word) {
            type = t;
            return true;
        }
    return false;
}

// A size: digits only, within range.
bool parseSize(std::string_view value, std::int64_t &size) {
    const char *end = value.data() + value.size();
    const auto [at, ec] = std::from_chars(value.data(), end, size);
    return !value.empty() && value[0] != '-' && ec == std::errc() && at == end;
}

// A name or link target decoded into `scratch` when it holds escapes; false when the escapes
// are broken, or it is empty or holds a NUL byte.
bool decodedName(std::string_view text, bool escaped, std::string &scratch, std::string_view &out) {
    if (escaped) {
        if (!DecodeMtreeName(text, scratch) || scratch.find('\0') != std::string::npos)
            return false;
        text = scratch;
    }
    out = text;
    return !text.empty();
}

bool isOctalDigit(char c) { return c >= '0' && c <= '7'; }

// Whether the escape at p (a backslash) is "\\ooo", the only one our writer uses.
bool octalEscape(const char *p) {
    return isOctalDigit(p[1]) && isOctalDigit(p[2]) && isOctalDigit(p[3]);
}

// Whether every component of `path` is neither empty, "." nor "..".
bool soundComponents(std::string_view path) {
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t slash = path.find('/', at);
        if (slash == std::string_view::npos)
            slash = path.size();
        const std::string_view part = path.substr(at, slash - at);
        if (part.empty() || part == "." || part == "..")
            return false;
        at = slash + 1;
    }
    return true;
}

// What a byte is to the reading of a plain line.
enum class PlainByte : std::uint8_t { Plain, Other, Blank, Backslash, Equals, Slash };
constexpr auto PlainBytes = [] {
    std::array<PlainByte, 256> kinds{};
    for (int c = 0; c < 0x20; ++c)
        kinds[c] = PlainByte::Other; // control bytes, the newline among them
    kinds[0x7f] = kinds['#'] = PlainByte::Other;
    kinds[' '] = PlainByte::Blank;
    kinds['\\'] = PlainByte::Backslash;
    kinds['='] = PlainByte::Equals;
    kinds['/'] = PlainByte::Slash;
    return kinds;
}();

// The four bytes at p as one number (in the machine's order: only compared with another).
std::uint32_t fourBytes(const char *p) {
    std::uint32_t n = 0;
    std::memcpy(&n, p, 4);
    return n;
}

// The decimal digits at p (at least one, at most `most`) as a number; p left after them.
bool plainDigits(const char *&p, int most, std::int64_t &out) {
    std::int64_t value = 0;
    const char *const first = p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (p - first == most)
            return false;
        value = value * 10 + (*p - '0');
    }
    out = value;
    return p != first;
}

// The words of a logical line: runs of bytes between blanks, an escaped blank kept.
void splitWords(std::string_view line, std::vector<std::string_view> &words) {
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            i += line[i] == '\\' ? MtreeEscapeLength(line, i) : 1;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
}

std::string parentOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

MtreeReader::MtreeReader(int fd) : m_fd(fd) {}

MtreeReader::MtreeReader(std::string_view bytes, std::int64_t firstLine)
    : m_fd(-1), m_buffer(bytes), m_eof(true), m_line(firstLine - 1) {}

bool MtreeReader::fail(std::string message) {
    if (m_error.empty()) {
        m_error = std::move(message);
        m_errorLine = m_lineStart;
    }
    m_done = true;
    return false;
}

bool MtreeReader::fill() {
    if (m_fd < 0) {
        m_eof = true;
        return true;
    }
    m_consumed += m_at;
    m_buffer.erase(0, m_at);
    m_at = 0;
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + ReadSize);
    if (m_beforeRead)
        m_beforeRead();
    ssize_t n;
    do
        n = ::read(m_fd, m_buffer.data() + had, ReadSize);
    while (n < 0 && errno == EINTR);
    m_buffer.resize(had + static_cast<std::size_t>(n < 0 ? 0 : n));
    if (n < 0) {
        m_lineStart = 0;
        return fail(std::strerror(errno));
    }
    m_eof = n == 0;
    return true;
}

bool MtreeReader::readLine(std::string &line) {
    line.clear();
    m_lineStart = m_line + 1;
    m_lineOffset = m_consumed + m_at;
    bool continued = false;
    for (;;) {
        const std::size_t newline = m_buffer.find('\n', m_at);
        if (newline == std::string::npos) {
            if (m_buffer.size() - m_at + line.size() > MaxLine)
                return fail("a line longer than " + std::to_string(MaxLine) + " bytes");
            if (m_eof) {
                if (m_at == m_buffer.size() && !continued)
                    return false;
                return fail("the file ends in the middle of a line (cut off?)");
            }
            if (!fill())
                return false;
            continue;
        }
        std::string_view physical(m_buffer.data() + m_at, newline - m_at);
        m_at = newline + 1;
        ++m_line;
        std::size_t end = physical.size();
        continued = false;
        for (std::size_t i = 0; i < end;) {
            const auto c = static_cast<unsigned char>(physical[i]);
            if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7f) {
                m_lineStart = m_line;
                return fail("a byte no manifest holds (binary data?)");
            }
            if (c == '#') {
                end = i; // the rest is a comment
            } else if (c == '\\') {
                const std::size_t length = MtreeEscapeLength(physical, i);
                continued = length == 1;
                i += length;
            } else {
                ++i;
            }
        }
        line.append(physical.substr(0, continued ? end - 1 : end));
        if (line.size() > MaxLine)
            return fail("a line longer than " + std::to_string(MaxLine) + " bytes");
        if (!continued)
            return true;
        line += ' ';
    }
}

bool MtreeReader::keyword(std::string_view name, std::string_view value, SnapshotEntry &entry) {
    const auto quoted = [&] { return "\"" + std::string(name) + "=" + std::string(value) + "\""; };
    if (name == "type") {
        if (!parseType(value, entry.type))
            return fail("an unknown type in " + quoted());
    } else if (name == "size") {
        if (!parseSize(value, entry.size))
            return fail("a size that is no number of bytes in " + quoted());
    } else if (name == "time") {
        if (!ParseSnapshotTime(value, entry.time))
            return fail("a time that is not SECONDS.NANOSECONDS in " + quoted());
        entry.hasTime = true;
    } else if (name == "link") {
        if (!DecodeMtreeName(value, entry.link) || entry.link.empty() ||
            entry.link.find('\0') != std::string::npos)
            return fail("a link target that cannot be decoded in " + quoted());
    } else if (name == "sha256digest" || name == "sha256") {
        if (!ParseDigestHex(value, entry.digest))
            return fail("a digest that is not 64 hexadecimal digits in " + quoted());
        entry.hasDigest = true;
    } else if (!isIgnoredKeyword(name)) {
        return fail("an unknown keyword \"" + std::string(name) + "\"");
    }
    return true;
}

bool MtreeReader::keywords(const std::vector<std::string_view> &words, std::size_t first,
                           SnapshotEntry &entry) {
    for (std::size_t i = first; i < words.size(); ++i) {
        const std::string_view word = words[i];
        const std::size_t eq = word.find('=');
        if (eq == std::string_view::npos) {
            if (word != "ignore" && word != "nochange" && word != "optional")
                return fail("an unknown keyword \"" + std::string(word) + "\"");
            continue;
        }
        if (!keyword(word.substr(0, eq), word.substr(eq + 1), entry))
            return false;
    }
    return true;
}

bool MtreeReader::unset(const std::vector<std::string_view> &words) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string_view w = words[i];
        const bool all = w == "all";
        if (all || w == "type")
            m_defaults.type = EntryType::File;
        if (all || w == "size")
            m_defaults.size = -1;
        if (all || w == "time")
            m_defaults.hasTime = false;
        if (all || w == "link")
            m_defaults.link.clear();
        if (all || w == "sha256digest" || w == "sha256")
            m_defaults.hasDigest = false;
        if (!all && w != "type" && w != "size" && w != "time" && w != "link" &&
            w != "sha256digest" && w != "sha256" && !isIgnoredKeyword(w) && w != "ignore" &&
            w != "nochange" && w != "optional")
            return fail("an unknown keyword \"" + std::string(w) + "\"");
    }
    return true;
}

bool MtreeReader::entryPath(std::string_view word, std::string &path) {
    std::string &name = m_name;
    if (!DecodeMtreeName(word, name))
        return fail("a name with a broken escape");
    if (name.empty() || name.find('\0') != std::string::npos)
        return fail("a name that is empty or holds a NUL byte");
    if (name[0] == '/')
        return fail("an absolute path, which leaves the root");
    if (name.find('/') == std::string::npos) { // relative to the directory last entered
        m_standAlone = m_standAlone && name == ".";
        if (name == "..")
            return fail("a \"..\" name, which leaves the root");
        // "." is the root wherever it comes (libarchive writes it so after full paths).
        if (name == ".")
            path.clear();
        else
            path = m_cwd.empty() ? name : m_cwd + "/" + name;
        return true;
    }
    std::string_view rest(name);
    if (rest.starts_with("./"))
        rest.remove_prefix(2);
    for (std::size_t at = 0; at <= rest.size() && !rest.empty();) {
        std::size_t slash = rest.find('/', at);
        if (slash == std::string_view::npos)
            slash = rest.size();
        const std::string_view part = rest.substr(at, slash - at);
        if (part == "..")
            return fail("a \"..\" component, which leaves the root");
        if (part.empty() || part == ".")
            return fail("a path with an empty or \".\" component");
        at = slash + 1;
    }
    path.assign(rest);
    return true;
}

bool MtreeReader::entry(const std::vector<std::string_view> &words, SnapshotEntry &out) {
    if (!entryPath(words[0], m_path))
        return false;
    out = m_defaults; // copied into the buffers `out` has already
    out.path.assign(m_path);
    if (!keywords(words, 1, out))
        return false;
    if (out.type != EntryType::Link)
        out.link.clear();
    if (out.type == EntryType::Dir)
        m_cwd = out.path;
    else if (words[0].find('/') != std::string_view::npos)
        m_cwd.assign(out.path, 0,
                     out.path.rfind('/') == std::string::npos ? 0 : out.path.rfind('/'));
    return true;
}

bool MtreeReader::readEntry(SnapshotEntry &out) {
    // The line and its words are kept from call to call, so reading costs no allocations.
    std::string &line = m_text;
    std::vector<std::string_view> &words = m_words;
    while (!m_done && readLine(line)) {
        splitWords(line, words);
        if (words.empty())
            continue;
        if (words[0] == "/set" || words[0] == "/unset" || words[0] == "..")
            m_standAlone = false;
        if (words[0] == "/set") {
            if (!keywords(words, 1, m_defaults))
                return false;
        } else if (words[0] == "/unset") {
            if (!unset(words))
                return false;
        } else if (words[0] == "..") {
            if (words.size() > 1)
                return fail("words after \"..\"");
            if (m_cwd.empty())
                return fail("a \"..\" line above the root");
            m_cwd = parentOf(m_cwd);
        } else if (words[0].starts_with("/") && words[0].find('/', 1) != std::string_view::npos) {
            return fail("an absolute path, which leaves the root");
        } else if (words[0].starts_with("/")) {
            return fail("an unknown command \"" + std::string(words[0]) + "\"");
        } else {
            m_entryOffset = m_lineOffset;
            return entry(words, out);
        }
    }
    m_done = true;
    return false;
}

bool MtreeReader::Next(SnapshotEntry &out) {
    SnapshotEntryView e;
    if (!NextView(e))
        return false;
    out.path.assign(e.path);
    out.type = e.type;
    out.size = e.size;
    out.hasTime = e.hasTime;
    out.time = e.time;
    out.link.assign(e.link);
    out.hasDigest = e.hasDigest;
    out.digest = e.digest;
    return true;
}

bool MtreeReader::NextView(SnapshotEntryView &out) {
    if (m_done)
        return false;
    // Lines that stand alone (no /set before them) may be in the plain form.
    if (m_standAlone && plainLine(out))
        return true;
    if (!readEntry(m_entry))
        return false;
    out.path = m_entry.path;
    out.name = out.path.substr(out.path.rfind('/') + 1);
    out.type = m_entry.type;
    out.size = m_entry.size;
    out.hasTime = m_entry.hasTime;
    out.time = m_entry.time;
    out.link = m_entry.link;
    out.hasDigest = m_entry.hasDigest;
    out.digest = m_entry.digest;
    return true;
}

bool MtreeReader::plainLine(SnapshotEntryView &out) {
    const char *newline = static_cast<const char *>(
        std::memchr(m_buffer.data() + m_at, '\n', m_buffer.size() - m_at));
    if (newline == nullptr) {
        const std::size_t had = m_buffer.size() - m_at;
        if (m_eof || m_fd < 0 || had > MaxLine || !fill())
            return false;
        newline = static_cast<const char *>(
            std::memchr(m_buffer.data() + m_at + had, '\n', m_buffer.size() - m_at - had));
        if (newline == nullptr)
            return false;
    }
    const char *const begin = m_buffer.data() + m_at;
    const auto length = static_cast<std::size_t>(newline - begin);
    if (length > MaxLine || length < 1 || begin[0] != '.')
        return false;
    // The path: "." or "./" and components that are neither empty, "." nor "..". The line
    // ends at its newline, which no plain byte is, so the scans need no other bound. The
    // entry is made in `out` itself (the full reading makes it anew where this one gives
    // up), its digest left as it was unless the line has one.
    SnapshotEntryView &e = out;
    e.path = e.name = {}, e.type = EntryType::File, e.size = -1, e.hasTime = false, e.time = {};
    e.link = {}, e.hasDigest = false;
    const char *p = begin + 1;
    bool escaped = false;
    if (*p == '/') {
        ++p;
        // The folder part the last plain line without escapes had was checked then: the
        // same bytes again need no second look.
        const std::size_t known = m_plainFolder.size();
        if (known != 0 && length > known + 2 && std::memcmp(p, m_plainFolder.data(), known) == 0)
            p += known;
        const char *part = p;
        const char *lastSlash = p - 1;
        for (;; ++p) {
            const PlainByte kind = PlainBytes[static_cast<unsigned char>(*p)];
            if (kind == PlainByte::Plain || kind == PlainByte::Equals)
                continue;
            if (kind == PlainByte::Backslash) {
                if (!octalEscape(p))
                    return false;
                escaped = true;
                p += 3;
                continue;
            }
            const auto size = static_cast<std::size_t>(p - part);
            if (size == 0 || (part[0] == '.' && (size == 1 || (size == 2 && part[1] == '.'))))
                return false; // "", "." or "..": the full reading says what is wrong
            if (kind != PlainByte::Slash)
                break;
            lastSlash = p;
            part = p + 1;
        }
        const std::string_view word(begin + 2, static_cast<std::size_t>(p - begin) - 2);
        if (escaped) {
            if (!decodedName(word, true, m_name, e.path) || !soundComponents(e.path))
                return false;
            e.name = e.path.substr(e.path.rfind('/') + 1);
        } else {
            e.path = word;
            e.name = {lastSlash + 1, static_cast<std::size_t>(p - lastSlash - 1)};
            const std::string_view folder(begin + 2,
                                          static_cast<std::size_t>(lastSlash + 1 - begin) - 2);
            if (folder != m_plainFolder)
                m_plainFolder.assign(folder);
        }
    } else if (*p != ' ' && p != newline) {
        return false; // a relative name
    }
    // The keywords, one blank before each, their values read as they are met.
    while (p != newline) {
        if (*p != ' ')
            return false;
        ++p;
        const auto left = static_cast<std::size_t>(newline - p);
        // The four letters before a "=" as one number: one compare a keyword.
        const std::uint32_t key = left > 5 && p[4] == '=' ? fourBytes(p) : 0;
        if (key == fourBytes("size")) {
            p += 5;
            if (!plainDigits(p, 18, e.size))
                return false;
        } else if (key == fourBytes("time")) {
            p += 5;
            const bool negative = *p == '-';
            p += negative;
            std::int64_t seconds = 0, nanoseconds = 0;
            if (!plainDigits(p, 18, seconds) || *p++ != '.' || !plainDigits(p, 9, nanoseconds))
                return false;
            e.time = {negative ? -seconds : seconds, static_cast<std::int32_t>(nanoseconds)};
            e.hasTime = true;
        } else if (key == fourBytes("type")) {
            const char *const value = p += 5;
            while (*p >= 'a' && *p <= 'z')
                ++p;
            const std::string_view type(value, static_cast<std::size_t>(p - value));
            if (type == "file")
                e.type = EntryType::File;
            else if (type == "dir")
                e.type = EntryType::Dir;
            else if (!parseType(type, e.type))
                return false;
        } else if (key == fourBytes("link")) {
            const char *const value = p += 5;
            escaped = false;
            for (;; ++p) {
                const PlainByte kind = PlainBytes[static_cast<unsigned char>(*p)];
                if (kind == PlainByte::Plain || kind == PlainByte::Slash ||
                    kind == PlainByte::Equals)
                    continue;
                if (kind != PlainByte::Backslash)
                    break;
                if (!octalEscape(p))
                    return false;
                escaped = true;
                p += 3;
            }
            if (!decodedName({value, static_cast<std::size_t>(p - value)}, escaped, m_link, e.link))
                return false;
        } else if (left >= 13 + 64 && std::memcmp(p, "sha256digest=", 13) == 0) {
            p += 13;
            if (!ParseDigestHex({p, 64}, e.digest))
                return false;
            p += 64;
            e.hasDigest = true;
        } else {
            return false; // another keyword: the full reading knows it or says it is unknown
        }
        if (p != newline && *p != ' ')
            return false; // a value that goes on, a control byte or a comment
    }
    if (e.type != EntryType::Link)
        e.link = {};
    // The folder relative names would be in, as the full reading keeps it.
    if (e.type == EntryType::Dir) {
        m_cwd.assign(e.path);
    } else if (!e.path.empty()) {
        const std::string_view parent =
            e.path.substr(0, e.path.size() - e.name.size() - (e.name.size() < e.path.size()));
        if (parent != m_cwd)
            m_cwd.assign(parent);
    }
    m_lineStart = m_line + 1;
    m_lineOffset = m_consumed + m_at;
    m_entryOffset = m_lineOffset;
    ++m_line;
    m_at += length + 1;
    return true;
}

} // namespace dirwise
