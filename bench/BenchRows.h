#pragma once

// The synthetic rows the list benchmarks sort and filter: 2,000 folders under 20 projects,
// names "File<number>" with ".txt", ".DAT" or "-Überblick.DAT" (a third each, so a third of
// the names are not ASCII), sizes and dates spread widely, and a mix of results near a real
// compare's (88 % Match). The same seed gives the same rows.

#include "ResultsList.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace dirwise::bench {

// Appends `rows` rows to `list` (its roots set to /master and /compare).
inline void FillBenchRows(ResultsList &list, std::size_t rows) {
    std::mt19937_64 rng(7);
    list.SetRoots("/master", "/compare");
    std::vector<std::uint32_t> dirs;
    for (int d = 0; d < 2000; ++d)
        dirs.push_back(list.InternDirectory("/proj" + std::to_string(d % 20) + "/Module" +
                                            std::to_string(d) + "/"));
    const Result results[] = {Result::Match, Result::Size, Result::Date, Result::SizeAndDate,
                              Result::NotFound};
    const char *const endings[] = {".txt", ".DAT",
                                   "-\xc3\x9c"
                                   "berblick.DAT"};
    for (std::size_t i = 0; i < rows; ++i) {
        const Result r = results[rng() % 50 < 44 ? 0 : 1 + rng() % 4];
        const std::uint32_t dir = dirs[rng() % dirs.size()];
        std::string name = "File" + std::to_string(rng() % 10000000) + endings[rng() % 3];
        const auto masterSize = static_cast<std::int64_t>(rng() % 5000000);
        const auto masterTime = static_cast<std::int64_t>(1600000000 + rng() % 100000000);
        const auto compareSize = static_cast<std::int64_t>(rng() % 5000000);
        const auto compareTime = static_cast<std::int64_t>(1600000000 + rng() % 100000000);
        list.Append(ResultRow{.name = std::move(name),
                              .masterSize = masterSize,
                              .masterTime = masterTime,
                              .compareSize = compareSize,
                              .compareTime = compareTime,
                              .dir = dir,
                              .result = r});
    }
}

} // namespace dirwise::bench
