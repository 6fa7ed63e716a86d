#include "NotCompared.h"

#include "ResultsList.h"

#include <string_view>

namespace dirwise {

namespace {

// The part of `path` below `root` ("" for the root itself), or nothing when `path` lies
// elsewhere.
std::optional<std::string_view> below(std::string_view path, std::string_view root) {
    if (root.empty() || path.substr(0, root.size()) != root)
        return std::nullopt;
    std::string_view rest = path.substr(root.size());
    if (rest.empty())
        return rest;
    // The root "/" already ends in the separator; any other root must be followed by one.
    if (root.back() != '/') {
        if (rest.front() != '/')
            return std::nullopt;
        rest.remove_prefix(1);
    }
    return rest;
}

} // namespace

void AppendNotComparedRows(const CompareSummary &summary, ResultsList &list) {
    const std::string &masterRoot = list.MasterRoot();
    const std::string &compareRoot = list.CompareRoot();
    for (const Diagnostic &d : summary.notCompared) {
        const auto inMaster = below(d.path, masterRoot);
        const auto inCompare = below(d.path, compareRoot);
        const bool compare = inCompare && (!inMaster || compareRoot.size() >= masterRoot.size());
        // A place outside both roots (never made by a run) is named whole.
        std::string_view relative = compare    ? *inCompare
                                    : inMaster ? *inMaster
                                               : std::string_view(d.path);
        while (!relative.empty() && relative.back() == '/')
            relative.remove_suffix(1);
        const std::size_t slash = relative.rfind('/');
        const std::string_view name =
            slash == std::string_view::npos ? relative : relative.substr(slash + 1);
        std::string dir = "/";
        if (slash != std::string_view::npos && slash > 0) {
            dir.append(relative.substr(0, slash));
            dir.push_back('/');
        }
        ResultRow row;
        row.name = std::string(name);
        row.dir = list.InternDirectory(dir);
        row.result = Result::NotCompared;
        row.detail = compare ? (d.directory ? Detail::CompareFolder : Detail::CompareFile)
                             : (d.directory ? Detail::MasterFolder : Detail::MasterFile);
        row.contentOffset = d.error;
        list.Append(std::move(row));
    }
}

} // namespace dirwise
