// Times the window's filter on 1,000,000 rows (goal: under 100 ms each): a kind switched
// off, a path text, a text with a "/" that reaches into the names, and all filters off again.
// The model is the window's own, without a view.
//   build/bin/dw_filter_bench [ROWS]

#include "BenchRows.h"
#include "ResultsModel.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace dirwise;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    ResultsList list;
    bench::FillBenchRows(list, rows);
    ResultsModel model(list);
    ResultsModel::KindSwitches all;
    all.fill(true);
    ResultsModel::KindSwitches noMatch = all;
    noMatch[static_cast<std::size_t>(Result::Match)] = false;
    const struct {
        const char *what;
        ResultsModel::KindSwitches kinds;
        QString text;
    } cases[] = {
        {"Match switched off", noMatch, QString()},
        {"text \"module12\"", all, QStringLiteral("module12")},
        {"text \"überblick\"", all, QStringLiteral("überblick")},
        {"text \"7/file12\"", all, QStringLiteral("7/file12")},
        {"everything shown", all, QString()},
    };
    double worst = 0;
    for (const auto &c : cases) {
        const auto t0 = std::chrono::steady_clock::now();
        model.setFilter(c.kinds, c.text);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        worst = std::max(worst, s);
        std::printf("%-22s %9d rows shown  %6.1f ms\n", c.what, model.rowCount(), s * 1000);
    }
    std::printf("slowest filter of %zu rows: %.1f ms (goal: under 100 ms)\n", rows, worst * 1000);
    return 0;
}
