#pragma once

// The glob of one ignore rule, compiled once and matched many times: the forms a .gitignore
// line may hold (*, ?, [...] with ranges, negation and [:classes:], ** in its three forms,
// \ escapes), matched on bytes and case-sensitive. Needs nothing else of the engine.

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

class IgnoreGlob {
public:
    // Compiles `glob`: a rule's text without its leading "!", its anchoring "/" and its
    // trailing "/". `literalPrefix` is how many leading bytes hold no wildcard and no
    // backslash; a run of stars right after them counts as standing at the start of the
    // glob, as the stars after a "/" do (so "a**/b" reaches through folders like "a/**/b").
    // Pass 0 for a glob matched against single names. A glob that can never match (an
    // unclosed "[", an unknown [:class:], a lone trailing "\") compiles to one that says no
    // to every text.
    IgnoreGlob(std::string_view glob, std::size_t literalPrefix);

    // True when the whole of `text` matches. `text` is a single name or a relative path
    // with "/" between names (no leading, trailing or doubled "/"): "*", "?" and "[...]"
    // never match a "/", "**" between slashes or at an end does.
    [[nodiscard]] bool Matches(std::string_view text) const;

    // The bytes a matching text can end with: one byte after a literal, a bracket's set,
    // every byte after a star; none for a glob that never matches. Lets a list of rules
    // turn most names away with one test.
    [[nodiscard]] const std::bitset<256> &LastBytes() const { return m_lastBytes; }
    // True when the glob matches no text at all.
    [[nodiscard]] bool Never() const { return m_never; }

private:
    enum class Op : std::uint8_t {
        Literal,  // bytes [a, a + b) of m_bytes
        AnyByte,  // "?": one byte but "/"
        Set,      // "[...]": one byte of m_sets[a] ("/" never in it)
        Star,     // "*": a run of bytes without "/"
        StarStar, // "**" at an end: any run of bytes, "/" included
        AnyDirs,  // "**/": nothing, or any run of bytes that ends with "/"
    };
    struct Token {
        Op op;
        std::uint32_t a = 0, b = 0;
    };
    enum class Outcome : std::uint8_t { Match, NoMatch, GiveUp, GiveUpToStarStar };
    enum class Shape : std::uint8_t { Never, Exact, Suffix, General };

    void compile(std::string_view glob, std::size_t literalPrefix);
    std::size_t compileSet(std::string_view glob, std::size_t at);
    void addLiteral(char c);
    [[nodiscard]] Outcome matchFrom(std::size_t token, const char *text, const char *end) const;
    [[nodiscard]] Outcome matchStar(std::size_t token, const char *text, const char *end) const;
    [[nodiscard]] Outcome matchDirs(std::size_t token, const char *text, const char *end) const;

    std::vector<Token> m_tokens;
    std::string m_bytes;
    std::vector<std::bitset<256>> m_sets;
    Shape m_shape = Shape::General;
    bool m_never = false;
    std::bitset<256> m_lastBytes;
};

} // namespace dirwise
