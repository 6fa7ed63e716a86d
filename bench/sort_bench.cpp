// Times ResultsList::Sort on 1,000,000 rows, every column both ways (goal: under 1 s each).
//   build/bin/dw_sort_bench [ROWS]

#include "ResultsList.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

using namespace dirwise;

int main(int argc, char **argv) {
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    std::mt19937_64 rng(7);
    ResultsList list;
    list.SetRoots("/master", "/compare");
    std::vector<std::uint32_t> dirs;
    for (int d = 0; d < 2000; ++d)
        dirs.push_back(list.InternDirectory("/proj" + std::to_string(d % 20) + "/module" +
                                            std::to_string(d) + "/"));
    const Result results[] = {Result::Match, Result::Size, Result::Date, Result::SizeAndDate,
                              Result::NotFound};
    for (std::size_t i = 0; i < rows; ++i) {
        const Result r = results[rng() % 50 < 44 ? 0 : 1 + rng() % 4];
        const std::uint32_t dir = dirs[rng() % dirs.size()];
        std::string name = "File" + std::to_string(rng() % 10000000) + (rng() % 2 ? ".txt" : ".DAT");
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
    double worst = 0;
    for (int c = 0; c < ColumnCount; ++c) {
        for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
            const auto t0 = std::chrono::steady_clock::now();
            list.Sort(static_cast<Column>(c), order);
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            worst = std::max(worst, s);
            std::printf("%-13s %-10s %.3f s\n", ColumnHeader(static_cast<Column>(c)),
                        order == SortOrder::Ascending ? "ascending" : "descending", s);
        }
    }
    std::printf("slowest sort of %zu rows: %.3f s (goal: under 1 s)\n", rows, worst);
    return 0;
}
