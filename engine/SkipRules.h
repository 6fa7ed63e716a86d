#pragma once

// Skip rules: lines in .gitignore syntax and meaning, kept per folder as a walk goes down.
// The rules of one ignore file form an IgnoreList; the lists in force inside a folder form
// a SkipScope, the folder's own list over those of the folders around it. Compiled once,
// shared read-only between threads. Needs nothing else of the engine.

#include "IgnoreGlob.h"

#include <bitset>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// The rules of one ignore file (or of lines given on a command line), for the paths below
// one folder.
class IgnoreList {
public:
    // `base` is the folder relative to the root with a trailing "/", or "" for the root.
    explicit IgnoreList(std::string base = {});

    // Adds the rules in `bytes`, read as git reads a .gitignore file: lines end at LF (the
    // last one need not), a CR before the LF is dropped, blank lines and lines starting
    // with "#" are no rules, unescaped trailing spaces are dropped, a NUL ends its line.
    // With `dropBom`, a UTF-8 byte order mark at the very start is dropped. Any bytes are
    // taken as they are (no encoding is assumed). Lines added later take precedence.
    void AddLines(std::string_view bytes, bool dropBom = true);

    // How many rules the list holds (lines that were no rules are not counted).
    [[nodiscard]] std::size_t size() const { return m_rules.size(); }
    [[nodiscard]] bool empty() const { return m_rules.empty(); }
    [[nodiscard]] const std::string &base() const { return m_base; }

    enum class Verdict : unsigned char { None, Skip, Keep };
    // What the last rule that matches says of `path` (relative to the root, "/" between
    // names, below base()): Skip, Keep for a "!" rule, None when no rule matches. `nameAt`
    // is where the last name of `path` starts. `isDir` is the entry's own type (as lstat
    // gives it: a link to a folder is no folder); rules ending in "/" ask for a folder.
    [[nodiscard]] Verdict Decide(std::string_view path, std::size_t nameAt, bool isDir) const;

private:
    struct Rule {
        IgnoreGlob glob;
        bool negated = false;
        bool dirOnly = false;
        bool nameOnly = false;      // no "/" in the rule: it matches the last name at any depth
        std::bitset<256> lastBytes; // what a path this rule matches can end with
    };
    void addRule(std::string_view line);

    std::string m_base;
    std::vector<Rule> m_rules;
    // What a path must end with for some rule to match it: any rule for a folder, the
    // rules not only for folders for anything else.
    std::bitset<256> m_folderLastBytes, m_otherLastBytes;
};

// The rules in force inside one folder: its own list above the lists of the folders around
// it, up to the root's. Immutable once made; children hold their parent.
class SkipScope {
public:
    // A scope with `list` on top of `parent` (null at the root).
    SkipScope(std::shared_ptr<const SkipScope> parent, IgnoreList list);

    // Whether the entry `path` (relative to the root) of this scope's folder is skipped:
    // the deepest list holding a rule that matches it decides, as in IgnoreList::Decide.
    [[nodiscard]] bool Skips(std::string_view path, bool isDir) const;

    // The scope for a subfolder whose ignore file holds `list`: this scope itself when the
    // list is empty.
    [[nodiscard]] static std::shared_ptr<const SkipScope>
    Enter(const std::shared_ptr<const SkipScope> &scope, IgnoreList list);

private:
    std::shared_ptr<const SkipScope> m_parent;
    IgnoreList m_list;
};

// The rule that skips exactly the entry at `path` (relative to the root, "/" between names,
// no leading "/"): anchored to the root, wildcards, backslashes and trailing spaces escaped,
// with a trailing "/" for a folder. A CR or LF in a name, which no line can hold, is "?".
[[nodiscard]] std::string LiteralRule(std::string_view path, bool folder);

// The name git gives the per-folder ignore file.
inline constexpr std::string_view IgnoreFileName = ".gitignore";

// Reads the ignore file of the open folder `dirFd` into `bytes`. Links are not followed
// and only a regular file is read, as git does (a link, a folder or a FIFO by that name
// gives no rules). Returns 0 (also when there is no such file: `bytes` is then empty) or
// the errno of a file that is there but could not be read.
[[nodiscard]] int ReadIgnoreFile(int dirFd, std::string &bytes);

} // namespace dirwise
