// Drives Dirwise's main window without a person: Begin on a tree pair (the summary is
// answered through the Prompts interface), or a list filled with synthetic rows. Reports
// the wall time, the longest time between two event-loop turns, and the peak memory.
//
//   dw_bench_window [--date] [--dwc PATH] [--repeat N] [--sort] [--hold S] [--boxes]
//                   [--point-size P] MASTER COMPARE
//   dw_bench_window --rows N
//
// --hold S keeps the window on screen for S seconds after the run (for a look or a
// screenshot under xvfb-run with QT_QPA_PLATFORM=xcb); --boxes shows the real message
// boxes instead of answering them (someone must close them). --point-size P gives the
// application font that size, as a desktop with a larger font would.
//
// With --dwc the command-line twin is timed on the same trees (dwc -q --date -o /dev/null)
// and the ratio window/dwc is printed. Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise; the settings go to a temporary directory.
#include "MainWindow.h"
#include "Prompts.h"
#include "ResultsModel.h"
#include "WindowHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace dirwise;

namespace {

class BenchPrompts final : public Prompts {
public:
    QString browseForFolder(QWidget *, const QString &, const QString &) override { return {}; }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &,
                         QString *) override {
        return {};
    }
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return {};
    }
    void message(QWidget *, Icon, const QString &title, const QString &text,
                 const QString &) override {
        lastTitle = title;
        lastText = text;
    }
    QString lastTitle;
    QString lastText;
};

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A line of /proc/self/status in kB ("VmHWM", "VmRSS"); -1 when it cannot be read.
long statusKb(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return -1;
}

double timeDwc(const std::string &dwc, const std::string &master, const std::string &compare,
               bool date) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<const char *> argv = {dwc.c_str(), "-q", "-o", "/dev/null"};
        if (date)
            argv.push_back("--date");
        argv.push_back(master.c_str());
        argv.push_back(compare.c_str());
        argv.push_back(nullptr);
        ::execv(dwc.c_str(), const_cast<char *const *>(argv.data()));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return seconds(std::chrono::steady_clock::now() - start);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int usage() {
    std::fprintf(stderr,
                 "usage: dw_bench_window [--date] [--dwc PATH] [--repeat N] MASTER COMPARE\n"
                 "       dw_bench_window --rows N\n");
    return 2;
}

int benchRows(MainWindow &w, long rows) {
    ResultsList &list = w.results();
    list.SetRoots("/bench/master", "/bench/compare");
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint32_t> dirs;
    for (int d = 0; d < 1000; ++d)
        dirs.push_back(list.InternDirectory("/dir" + std::to_string(d) + "/sub/"));
    std::chrono::steady_clock::duration longestAdd{};
    long longestAddAt = 0;
    for (long i = 0; i < rows; ++i) {
        const auto result = static_cast<Result>(i % 5);
        ResultRow row{.name = "file-" + std::to_string(i) + ".dat",
                      .masterSize = i * 37 % 100000,
                      .masterTime = 1600000000 + i,
                      .dir = dirs[static_cast<std::size_t>(i % 1000)],
                      .result = result};
        if (row.hasCompare()) {
            row.compareSize = i * 41 % 100000;
            row.compareTime = 1600000000 + i / 2;
        }
        const auto before = std::chrono::steady_clock::now();
        list.Append(std::move(row));
        const auto took = std::chrono::steady_clock::now() - before;
        if (took > longestAdd) {
            longestAdd = took;
            longestAddAt = i;
        }
    }
    const auto filled = std::chrono::steady_clock::now();
    w.model().sync();
    auto *lv = w.findChild<QTableView *>(QStringLiteral("lvDw"));
    lv->scrollToBottom();
    QCoreApplication::processEvents();
    const auto shown = std::chrono::steady_clock::now();
    w.sortByColumn(2);
    QCoreApplication::processEvents();
    const auto sorted = std::chrono::steady_clock::now();
    std::printf("rows: %ld\n", rows);
    std::printf("fill list: %.3f s (longest single append %.1f ms, at row %ld)\n",
                seconds(filled - start), seconds(longestAdd) * 1000, longestAddAt);
    std::printf("show in view: %.3f s\n", seconds(shown - filled));
    std::printf("sort by File Name: %.3f s\n", seconds(sorted - shown));
    std::printf("resident now: %.1f MB\n", statusKb("VmRSS") / 1024.0);
    std::printf("peak resident (whole process): %.1f MB\n", statusKb("VmHWM") / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    char pattern[] = "/tmp/dw-bench-window-XXXXXX";
    if (const char *dir = ::mkdtemp(pattern))
        qputenv("XDG_CONFIG_HOME", dir);

    QApplication app(argc, argv);
    bool date = false;
    std::string dwc;
    int repeat = 3;
    long rows = -1;
    int hold = 0;
    bool sortOnce = false; // after the last run, sort the list once by File Name
    bool boxes = false;
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--date")
            date = true;
        else if (a == "--dwc" && i + 1 < argc)
            dwc = argv[++i];
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--hold" && i + 1 < argc)
            hold = std::max(0, std::atoi(argv[++i]));
        else if (a == "--sort")
            sortOnce = true;
        else if (a == "--boxes")
            boxes = true;
        else if (a == "--point-size" && i + 1 < argc) {
            QFont font = QApplication::font();
            font.setPointSizeF(std::atof(argv[++i]));
            QApplication::setFont(font);
        } else if (a == "--rows" && i + 1 < argc)
            rows = std::atol(argv[++i]);
        else if (!a.empty() && a[0] == '-')
            return usage();
        else
            roots.push_back(a);
    }

    BenchPrompts prompts;
    if (!boxes)
        setPrompts(&prompts);
    MainWindow w;
    w.setProgramEnd([] {});
    w.load();
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);

    if (rows >= 0)
        return benchRows(w, rows);
    if (roots.size() != 2)
        return usage();

    w.findChild<QLineEdit *>(QStringLiteral("txtMasterDir"))
        ->setText(QString::fromLocal8Bit(roots[0].c_str()));
    w.findChild<QLineEdit *>(QStringLiteral("txtCompareDir"))
        ->setText(QString::fromLocal8Bit(roots[1].c_str()));
    w.findChild<QCheckBox *>(QStringLiteral("chkDate"))->setChecked(date);

    // The engine's own longest stretch without a yield, and where the run was at its end.
    std::int64_t lastYield = 0;
    std::int64_t longestYieldGap = 0;
    std::string longestYieldWhere;
    w.host().setYieldHook([&](std::int64_t n) {
        const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count();
        if (n > 1 && now - lastYield > longestYieldGap) {
            longestYieldGap = now - lastYield;
            const Progress &p = w.host().progress();
            longestYieldWhere = "yield " + std::to_string(n) + ", listed " +
                                std::to_string(p.listed) + ", compared " +
                                std::to_string(p.compared);
        }
        lastYield = now;
    });

    std::vector<double> windowTimes;
    std::int64_t longestGap = 0;
    std::int64_t turns = 0;
    std::int64_t yields = 0;
    for (int r = 0; r < repeat; ++r) {
        const auto start = std::chrono::steady_clock::now();
        w.beginCompare();
        windowTimes.push_back(seconds(std::chrono::steady_clock::now() - start));
        longestGap = std::max(longestGap, w.host().longestGap());
        turns = w.host().turns();
        yields = w.host().yields();
    }
    const double windowTime = median(windowTimes);
    std::printf("rows in list: %zu\n", w.results().Count());
    std::printf("summary: %s\n", prompts.lastText.replace(QLatin1Char('\n'), QStringLiteral(" | "))
                                     .toLocal8Bit()
                                     .constData());
    std::printf("window wall time (median of %d): %.3f s\n", repeat, windowTime);
    std::printf("yields: %lld, event-loop turns: %lld\n", static_cast<long long>(yields),
                static_cast<long long>(turns));
    std::printf("longest gap between event-loop turns: %.1f ms\n", longestGap / 1e6);
    std::printf("longest stretch between two yields: %.1f ms (ending at %s)\n",
                longestYieldGap / 1e6, longestYieldWhere.c_str());
    if (!dwc.empty()) {
        std::vector<double> dwcTimes;
        for (int r = 0; r < repeat; ++r)
            dwcTimes.push_back(timeDwc(dwc, roots[0], roots[1], date));
        const double dwcTime = median(dwcTimes);
        std::printf("dwc wall time (median of %d): %.3f s\n", repeat, dwcTime);
        std::printf("window / dwc: %.2f\n", windowTime / dwcTime);
    }
    if (sortOnce) {
        const auto before = std::chrono::steady_clock::now();
        w.sortByColumn(2);
        QCoreApplication::processEvents();
        std::printf("sort by File Name: %.3f s\n",
                    seconds(std::chrono::steady_clock::now() - before));
    }
    std::printf("peak resident (whole process): %.1f MB\n", statusKb("VmHWM") / 1024.0);
    std::fflush(stdout);
    if (hold > 0)
        QTest::qWait(hold * 1000);
    setPrompts(nullptr);
    return 0;
}
