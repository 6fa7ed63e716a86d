#include "SkipRules.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

namespace {

// Drops the trailing spaces no backslash protects: "a \ " keeps "a \ ", "a  " gives "a".
std::string_view TrimTrailingSpaces(std::string_view line) {
    std::size_t keep = line.size();
    bool inRun = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            if (!inRun)
                keep = i;
            inRun = true;
        } else {
            if (line[i] == '\\' && ++i == line.size())
                return line; // a lone backslash at the end protects nothing and is kept
            inRun = false;
        }
    }
    return inRun ? line.substr(0, keep) : line;
}

// Where the first wildcard or backslash stands, or the whole length.
std::size_t LiteralPrefix(std::string_view glob) {
    const std::size_t at = glob.find_first_of("*?[\\");
    return at == std::string_view::npos ? glob.size() : at;
}

} // namespace

IgnoreList::IgnoreList(std::string base) : m_base(std::move(base)) {}

void IgnoreList::AddLines(std::string_view bytes, bool dropBom) {
    if (dropBom && bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        line = line.substr(0, line.find('\0'));
        addRule(TrimTrailingSpaces(line));
    }
}

void IgnoreList::addRule(std::string_view line) {
    Rule rule{.glob = IgnoreGlob({}, 0), .lastBytes = {}};
    if (line.starts_with('!')) {
        rule.negated = true;
        line.remove_prefix(1);
    }
    if (line.ends_with('/')) {
        rule.dirOnly = true;
        line.remove_suffix(1);
    }
    if (line.empty())
        return; // "", "!", "/" and "!/" match nothing: no rule
    rule.nameOnly = line.find('/') == std::string_view::npos;
    if (rule.nameOnly) {
        rule.glob = IgnoreGlob(line, 0);
    } else {
        if (line.starts_with('/'))
            line.remove_prefix(1); // anchors the rule to base(), which it always is
        rule.glob = IgnoreGlob(line, LiteralPrefix(line));
    }
    if (rule.glob.Never())
        return;
    rule.lastBytes = rule.glob.LastBytes();
    m_folderLastBytes |= rule.lastBytes;
    if (!rule.dirOnly)
        m_otherLastBytes |= rule.lastBytes;
    m_rules.push_back(std::move(rule));
}

IgnoreList::Verdict IgnoreList::Decide(std::string_view path, std::size_t nameAt,
                                       bool isDir) const {
    if (m_rules.empty() || path.size() <= nameAt)
        return Verdict::None;
    const auto last = static_cast<unsigned char>(path.back());
    if (!(isDir ? m_folderLastBytes : m_otherLastBytes).test(last))
        return Verdict::None; // the common case: no rule can end where this name ends
    const std::string_view name = path.substr(nameAt);
    const std::string_view below = path.substr(std::min(m_base.size(), path.size()));
    for (auto rule = m_rules.rbegin(); rule != m_rules.rend(); ++rule) {
        if ((rule->dirOnly && !isDir) || !rule->lastBytes.test(last))
            continue;
        if (rule->glob.Matches(rule->nameOnly ? name : below))
            return rule->negated ? Verdict::Keep : Verdict::Skip;
    }
    return Verdict::None;
}

SkipScope::SkipScope(std::shared_ptr<const SkipScope> parent, IgnoreList list)
    : m_parent(std::move(parent)), m_list(std::move(list)) {}

bool SkipScope::Skips(std::string_view path, bool isDir) const {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
    for (const SkipScope *scope = this; scope != nullptr; scope = scope->m_parent.get()) {
        const IgnoreList::Verdict verdict = scope->m_list.Decide(path, nameAt, isDir);
        if (verdict != IgnoreList::Verdict::None)
            return verdict == IgnoreList::Verdict::Skip;
    }
    return false;
}

std::shared_ptr<const SkipScope> SkipScope::Enter(const std::shared_ptr<const SkipScope> &scope,
                                                  IgnoreList list) {
    if (list.empty())
        return scope;
    return std::make_shared<const SkipScope>(scope, std::move(list));
}

std::string LiteralRule(std::string_view path, bool folder) {
    std::string rule = "/";
    const std::size_t lastKept = path.find_last_not_of(' ');
    const std::size_t trailing = lastKept == std::string_view::npos ? 0 : lastKept + 1;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '\n' || c == '\r') {
            rule += '?';
            continue;
        }
        if (c == '*' || c == '?' || c == '[' || c == '\\' || (c == ' ' && i >= trailing))
            rule += '\\';
        rule += c;
    }
    if (folder)
        rule += '/';
    return rule;
}

int ReadIgnoreFile(int dirFd, std::string &bytes) {
    bytes.clear();
    // Non-blocking, so a FIFO by that name cannot hold the walk; it is turned away below.
    const int fd = openat(dirFd, std::string(IgnoreFileName).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT || errno == ELOOP || errno == ENOTDIR ? 0 : errno;
    struct stat st {};
    int error = fstat(fd, &st) != 0 ? errno : 0;
    if (error == 0 && S_ISREG(st.st_mode)) {
        char buffer[16384];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0) {
                bytes.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0) {
                break;
            } else if (errno != EINTR) {
                error = errno;
                bytes.clear();
                break;
            }
        }
    }
    close(fd);
    return error;
}

} // namespace dirwise
