#pragma once

// What a compare leaves out: the skip rules of one run, asked by a walk of either tree by
// relative path. The rules come from the run's own lines (read as a .gitignore at the root,
// before the tree's own) and, when asked for, from the .gitignore files of the master tree,
// each for the folder it lies in. Used on the walk's thread only.

#include "SkipRules.h"
#include "TreeSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dirwise {

class SkipFilter final : public WalkFilter {
public:
    // `lines`: rules in .gitignore syntax (a leading byte order mark is not dropped: the
    // caller reads files). `masterRoot`: the master tree's root, with or without a trailing
    // "/"; its .gitignore files count with `useGitignore`, which also passes over every
    // folder named ".git". `extras`: the filter serves the walk of the compare tree, so a
    // rule ending in "/" asks the master entry's type where the master has the entry, and
    // nothing is counted.
    SkipFilter(std::string_view lines, bool useGitignore, std::string masterRoot, bool extras);
    ~SkipFilter() override;
    SkipFilter(const SkipFilter &) = delete;
    SkipFilter &operator=(const SkipFilter &) = delete;

    // Whether a rule is in force: `useGitignore`, or a line of `lines` that is a rule (not
    // blank, not a comment). When not, nothing is skipped.
    [[nodiscard]] bool InForce() const { return m_inForce; }

    // Whether the walk passes over the folder `relative` ("a/b/") instead of entering it.
    // `viaLink`: the folder is reached through a link, which rules ending in "/" do not
    // take for a folder. Counts the folder when it is skipped by a rule.
    [[nodiscard]] bool SkipFolder(std::string_view relative, bool viaLink) override;
    // Whether the walk leaves out file `name` of the entered folder `relativeDir` ("" or
    // "a/b/"). Counts the file when it is skipped.
    [[nodiscard]] bool SkipFile(std::string_view relativeDir, std::string_view name) override;

    [[nodiscard]] std::int64_t SkippedFolders() const { return m_skippedFolders; }
    [[nodiscard]] std::int64_t SkippedFiles() const { return m_skippedFiles; }

    // The master .gitignore files that were there but could not be read: path relative to
    // the master root, and the errno. They gave no rules.
    [[nodiscard]] const std::vector<std::pair<std::string, int>> &Unreadable() const {
        return m_unreadable;
    }

private:
    struct Level {
        std::string relative; // "" or "a/b/"
        std::shared_ptr<const SkipScope> scope;
    };
    const std::shared_ptr<const SkipScope> &scopeOf(std::string_view relativeDir);
    [[nodiscard]] bool skips(std::string_view relativeDir, std::string_view path, bool isDir);
    [[nodiscard]] int masterType(std::string_view path) const; // 1 folder, 0 other, -1 none

    bool m_inForce = false;
    bool m_useGitignore = false;
    bool m_extras = false;
    int m_masterFd = -1;
    std::string m_path;          // scratch for the entry's relative path
    std::vector<Level> m_levels; // the scopes of the folders from the root to the current one
    std::int64_t m_skippedFolders = 0;
    std::int64_t m_skippedFiles = 0;
    std::vector<std::pair<std::string, int>> m_unreadable;
};

} // namespace dirwise
