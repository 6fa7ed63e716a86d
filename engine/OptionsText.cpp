#include "OptionsText.h"

#include <vector>

namespace dirwise {

std::string OptionsText(const CompareOptions &o) {
    std::vector<std::string> parts;
    if (o.matchSize)
        parts.emplace_back("sizes");
    if (o.matchDate)
        parts.emplace_back("dates");
    if (o.subDirs)
        parts.emplace_back("subdirectories");
    if (o.hideMatches)
        parts.emplace_back("matches hidden");
    std::string extensions;
    for (const std::string &e : o.extensions) {
        const std::string trimmed = TrimBlanks(e);
        if (trimmed.empty())
            continue;
        extensions += extensions.empty() ? " " : " and ";
        extensions += trimmed;
    }
    if (!extensions.empty())
        parts.push_back((o.excludeMode ? "excluding extensions" : "only extensions") + extensions);
    if (o.timeTolerance > 0)
        parts.push_back("time tolerance " + std::to_string(o.timeTolerance) + " s");
    if (o.hourShifts > 0)
        parts.push_back(std::to_string(o.hourShifts) + "-hour shifts ignored");
    if (o.listExtras)
        parts.emplace_back("extra files listed");
    if (o.verifyContents)
        parts.emplace_back("contents verified");
    if (!o.followLinks)
        parts.emplace_back("links to directories not followed");
    std::string out;
    for (const std::string &p : parts)
        out += (out.empty() ? "" : ", ") + p;
    return out;
}

} // namespace dirwise
