#include "NotCompared.h"

#include "ResultsList.h"

#include <string_view>

namespace dirwise {

void AppendNotComparedRows(const CompareSummary &summary, ResultsList &list) {
    for (const Diagnostic &d : summary.notCompared) {
        std::string_view relative = d.relative;
        while (!relative.empty() && relative.back() == '/')
            relative.remove_suffix(1);
        const std::size_t slash = relative.rfind('/');
        const std::string_view name =
            slash == std::string_view::npos ? relative : relative.substr(slash + 1);
        std::string dir = "/";
        if (slash != std::string_view::npos) {
            dir.append(relative.substr(0, slash));
            dir.push_back('/');
        }
        ResultRow row;
        row.name = std::string(name);
        row.dir = list.InternDirectory(dir);
        row.result = Result::NotCompared;
        const bool folder = d.Folder();
        const bool compare = d.side == Side::Compare;
        row.contentOffset = d.error;
        if (d.problem == Problem::RootGone) {
            row.detail = compare ? Detail::CompareGone : Detail::MasterGone;
        } else if (d.problem == Problem::WalkedAlready) {
            row.detail = compare ? Detail::CompareWalkedAlready : Detail::MasterWalkedAlready;
            row.contentOffset = list.InternDirectory("/" + d.walkedAs);
        } else {
            row.detail = compare ? (folder ? Detail::CompareFolder : Detail::CompareFile)
                                 : (folder ? Detail::MasterFolder : Detail::MasterFile);
        }
        list.Append(std::move(row));
    }
}

} // namespace dirwise
