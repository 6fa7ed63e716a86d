#include "IgnoreGlob.h"

#include <algorithm>
#include <cstring>

namespace dirwise {

namespace {

// The [:classes:] a bracket may name, over ASCII only: a byte from 0x80 up is in none.
bool InClass(std::string_view name, unsigned c) {
    const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9';
    const bool graph = c >= 0x21 && c <= 0x7e;
    if (name == "alnum")
        return upper || lower || digit;
    if (name == "alpha")
        return upper || lower;
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "cntrl")
        return c < 0x20 || c == 0x7f;
    if (name == "digit")
        return digit;
    if (name == "graph")
        return graph;
    if (name == "lower")
        return lower;
    if (name == "print")
        return graph || c == ' ';
    if (name == "punct")
        return graph && !upper && !lower && !digit;
    if (name == "space") // git's own table: no vertical tab, no form feed
        return c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (name == "upper")
        return upper;
    return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); // xdigit
}

bool KnownClass(std::string_view name) {
    static constexpr std::string_view names[] = {"alnum", "alpha", "blank", "cntrl",
                                                 "digit", "graph", "lower", "print",
                                                 "punct", "space", "upper", "xdigit"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

constexpr std::size_t Failed = std::string_view::npos;

} // namespace

IgnoreGlob::IgnoreGlob(std::string_view glob, std::size_t literalPrefix) {
    compile(glob, literalPrefix);
    if (glob.empty())
        m_never = true;
    if (m_never) {
        m_tokens.clear();
        m_shape = Shape::Never;
        return;
    }
    if (m_tokens.size() == 1 && m_tokens[0].op == Op::Literal)
        m_shape = Shape::Exact;
    else if (m_tokens.size() == 2 && m_tokens[0].op == Op::Star && m_tokens[1].op == Op::Literal)
        m_shape = Shape::Suffix;
    const Token &last = m_tokens.back();
    if (last.op == Op::Literal)
        m_lastBytes.set(static_cast<unsigned char>(m_bytes[last.a + last.b - 1]));
    else if (last.op == Op::Set)
        m_lastBytes = m_sets[last.a];
    else
        m_lastBytes.set().reset('/');
}

void IgnoreGlob::addLiteral(char c) {
    if (m_tokens.empty() || m_tokens.back().op != Op::Literal)
        m_tokens.push_back({Op::Literal, static_cast<std::uint32_t>(m_bytes.size()), 0});
    m_bytes.push_back(c);
    ++m_tokens.back().b;
}

void IgnoreGlob::compile(std::string_view glob, std::size_t literalPrefix) {
    const std::size_t n = glob.size();
    std::size_t i = 0;
    while (i < n && !m_never) {
        const char c = glob[i];
        if (c == '\\') {
            if (i + 1 == n) // nothing left to escape: no text can match
                m_never = true;
            else
                addLiteral(glob[i + 1]);
            i += 2;
        } else if (c == '?') {
            m_tokens.push_back({Op::AnyByte});
            ++i;
        } else if (c == '[') {
            i = compileSet(glob, i);
            if (i == Failed)
                m_never = true;
        } else if (c != '*') {
            addLiteral(c);
            ++i;
        } else {
            const std::size_t run = i;
            while (i < n && glob[i] == '*')
                ++i;
            // Two or more stars reach through folders only where they stand as a whole
            // name: after the start (or a slash) and before the end (or a slash).
            const bool before = run == literalPrefix || (run > 0 && glob[run - 1] == '/');
            const bool afterSlash = i < n && glob[i] == '/';
            const bool after =
                i == n || afterSlash || (glob[i] == '\\' && i + 1 < n && glob[i + 1] == '/');
            if (i - run < 2 || !before || !after) {
                m_tokens.push_back({Op::Star});
            } else if (afterSlash) {
                m_tokens.push_back({Op::AnyDirs});
                ++i; // the slash belongs to the token
            } else {
                m_tokens.push_back({Op::StarStar});
            }
        }
    }
}

// Reads the bracket expression that starts at glob[at] ("["), as git reads one: "!" or "^"
// first negates, a "]" right after that is an ordinary member, "a-z" is a range of bytes,
// "\" takes the next byte as it is, "[:name:]" is a class, and "[:" without a closing ":]"
// is an ordinary "[". Returns the index after the closing "]", or Failed.
std::size_t IgnoreGlob::compileSet(std::string_view glob, std::size_t at) {
    const std::size_t n = glob.size();
    std::bitset<256> set;
    std::size_t i = at + 1;
    const bool negated = i < n && (glob[i] == '!' || glob[i] == '^');
    if (negated)
        ++i;
    unsigned previous = 0; // the last single member, 0 after a range or a class
    do {
        if (i >= n)
            return Failed;
        const auto c = static_cast<unsigned char>(glob[i]);
        if (c == '\\') {
            if (++i >= n)
                return Failed;
            previous = static_cast<unsigned char>(glob[i]);
            set.set(previous);
        } else if (c == '-' && previous != 0 && i + 1 < n && glob[i + 1] != ']') {
            unsigned last = static_cast<unsigned char>(glob[++i]);
            if (last == '\\') {
                if (++i >= n)
                    return Failed;
                last = static_cast<unsigned char>(glob[i]);
            }
            for (unsigned b = previous; b <= last; ++b)
                set.set(b);
            previous = 0;
        } else if (c == '[' && i + 1 < n && glob[i + 1] == ':') {
            const std::size_t close = glob.find(']', i + 2);
            if (close == std::string_view::npos)
                return Failed;
            if (close < i + 3 || glob[close - 1] != ':') {
                set.set('['); // not a class after all: "[" is a member, go on after it
                previous = '[';
            } else {
                const std::string_view name = glob.substr(i + 2, close - i - 3);
                if (!KnownClass(name))
                    return Failed;
                for (unsigned b = 0; b < 256; ++b)
                    if (InClass(name, b))
                        set.set(b);
                previous = 0;
                i = close;
            }
        } else {
            set.set(c);
            previous = c;
        }
        ++i;
    } while (i >= n || glob[i] != ']');
    if (negated)
        set.flip();
    set.reset('/');
    m_tokens.push_back({Op::Set, static_cast<std::uint32_t>(m_sets.size())});
    m_sets.push_back(set);
    return i + 1;
}

bool IgnoreGlob::Matches(std::string_view text) const {
    switch (m_shape) {
    case Shape::Never:
        return false;
    case Shape::Exact:
        return text == std::string_view(m_bytes);
    case Shape::Suffix: {
        const std::string_view tail(m_bytes);
        return text.size() >= tail.size() && text.ends_with(tail) &&
               text.substr(0, text.size() - tail.size()).find('/') == std::string_view::npos;
    }
    case Shape::General:
        break;
    }
    return matchFrom(0, text.data(), text.data() + text.size()) == Outcome::Match;
}

// Outcomes beyond NoMatch cut the search short: GiveUp when the text ran out while the
// glob still wanted bytes (no other split can do better), GiveUpToStarStar when a "*"
// could not get past a "/" (only a "**" further out may still try other splits).
IgnoreGlob::Outcome IgnoreGlob::matchFrom(std::size_t token, const char *text,
                                          const char *end) const {
    for (; token < m_tokens.size(); ++token) {
        const Token &t = m_tokens[token];
        switch (t.op) {
        case Op::Literal: {
            const auto have = static_cast<std::size_t>(end - text);
            if (std::memcmp(text, m_bytes.data() + t.a, std::min<std::size_t>(have, t.b)) != 0)
                return have == 0 ? Outcome::GiveUp : Outcome::NoMatch;
            if (have < t.b)
                return Outcome::GiveUp;
            text += t.b;
            break;
        }
        case Op::AnyByte:
        case Op::Set:
            if (text == end)
                return Outcome::GiveUp;
            if (t.op == Op::AnyByte ? *text == '/'
                                    : !m_sets[t.a].test(static_cast<unsigned char>(*text)))
                return Outcome::NoMatch;
            ++text;
            break;
        case Op::Star:
        case Op::StarStar:
            return matchStar(token, text, end);
        case Op::AnyDirs:
            return matchDirs(token, text, end);
        }
    }
    return text == end ? Outcome::Match : Outcome::NoMatch;
}

IgnoreGlob::Outcome IgnoreGlob::matchStar(std::size_t token, const char *text,
                                          const char *end) const {
    const bool crossSlash = m_tokens[token].op == Op::StarStar;
    if (token + 1 == m_tokens.size())
        return crossSlash || std::memchr(text, '/', end - text) == nullptr ? Outcome::Match
                                                                           : Outcome::NoMatch;
    const Token &next = m_tokens[token + 1];
    for (; text < end; ++text) {
        if (next.op == Op::Literal) { // skip ahead to where the literal can begin
            const char first = m_bytes[next.a];
            while (text < end && *text != first && (crossSlash || *text != '/'))
                ++text;
            if (text == end || *text != first)
                return Outcome::NoMatch;
        }
        const Outcome rest = matchFrom(token + 1, text, end);
        if (rest != Outcome::NoMatch) {
            if (!crossSlash || rest != Outcome::GiveUpToStarStar)
                return rest;
        } else if (!crossSlash && *text == '/') {
            return Outcome::GiveUpToStarStar;
        }
    }
    return Outcome::GiveUp;
}

IgnoreGlob::Outcome IgnoreGlob::matchDirs(std::size_t token, const char *text,
                                          const char *end) const {
    if (matchFrom(token + 1, text, end) == Outcome::Match)
        return Outcome::Match; // no folder at all
    for (; text < end; ++text) {
        text = static_cast<const char *>(std::memchr(text, '/', end - text));
        if (text == nullptr)
            return Outcome::NoMatch;
        const Outcome rest = matchFrom(token + 1, text + 1, end);
        if (rest != Outcome::NoMatch && rest != Outcome::GiveUpToStarStar)
            return rest;
    }
    return Outcome::GiveUp;
}

} // namespace dirwise
