#include "MtreeReader.h"

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
        const char *end = value.data() + value.size();
        auto [at, ec] = std::from_chars(value.data(), end, entry.size);
        if (value.empty() || value[0] == '-' || ec != std::errc() || at != end)
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

bool MtreeReader::Next(SnapshotEntry &out) {
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

} // namespace dirwise
