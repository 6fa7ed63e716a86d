// Times ResultsList::Sort on 1,000,000 rows, every column both ways (goal: under 1 s each).
//   build/bin/dw_sort_bench [ROWS]

#include "BenchRows.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace dirwise;

int main(int argc, char **argv) {
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    ResultsList list;
    bench::FillBenchRows(list, rows);
    double worst = 0;
    for (int c = 0; c < ColumnCount; ++c) {
        for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
            const auto t0 = std::chrono::steady_clock::now();
            list.Sort(static_cast<Column>(c), order);
            const double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            worst = std::max(worst, s);
            std::printf("%-13s %-10s %.3f s\n", ColumnHeader(static_cast<Column>(c)),
                        order == SortOrder::Ascending ? "ascending" : "descending", s);
        }
    }
    std::printf("slowest sort of %zu rows: %.3f s (goal: under 1 s)\n", rows, worst);
    return 0;
}
