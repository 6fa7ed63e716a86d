#pragma once

#include "Compare.h"

#include <string>

namespace dirwise {

// The options of a compare in a few words, for a report's reader: what was matched, then
// the switches that were on, joined by ", ": "sizes, dates, subdirectories, excluding
// extensions tmp and bak, time tolerance 2 s, 1-hour shifts ignored, extra files listed,
// contents verified, links to directories not followed". Extension texts are as given.
[[nodiscard]] std::string OptionsText(const CompareOptions &options);

} // namespace dirwise
