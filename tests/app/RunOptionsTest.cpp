// What a run from the window takes from the controls and the Options menu, what it refuses
// before it starts, what the status bar tells, and a run that runs out of memory.
#include "AppTestSupport.h"

#include <new>

using namespace dirwise;
using namespace dirwise::test;

namespace {

using RunOptionsTest = RunFixture;

constexpr std::int64_t T0 = 1700000000;

} // namespace

TEST_F(RunOptionsTest, GrayedBoxesCountAsTheRunRulesSay) {
    const struct {
        const char *name;
        const char *grayed;
        const char *results; // the Result column, top to bottom
    } rows[] = {
        // a.txt differs only in size; every file has the same time.
        {.name = "a grayed size box with date: sizes are not matched",
         .grayed = "chkSize",
         .results = "Match,Match,Match,Match,Not Found"},
        {.name = "grayed subdirectories: sub/c.txt is looked for",
         .grayed = "chkSubDir",
         .results = "Size,Match,Match,Match,Not Found"},
    };
    for (const auto &row : rows) {
        openOnTrees();
        child<QCheckBox>("chkDate")->setChecked(true);
        child<QCheckBox>(row.grayed)->setCheckState(Qt::PartiallyChecked);
        w->beginCompare();
        EXPECT_EQ(column(0), row.results) << row.name;
    }
}

TEST_F(RunOptionsTest, TheOptionsMenuReachesTheRun) {
    // One file per choice, whose result that choice decides.
    tree.file("m/t1.txt", 5, T0);
    tree.file("c/t1.txt", 5, T0 + 1); // a second apart
    tree.file("m/t2.txt", 5, T0);
    tree.file("c/t2.txt", 5, T0 + 2); // two seconds apart, as FAT keeps times
    tree.file("m/hour.txt", 5, T0);
    tree.file("c/hour.txt", 5, T0 + 3600); // a daylight saving shift
    tree.file("c/extra.txt", 5, T0);       // only in the compare tree
    WriteFile(tree.path("m/bytes.txt"), "aaaa");
    WriteFile(tree.path("c/bytes.txt"), "aaab");
    tree.setTime("m/bytes.txt", T0);
    tree.setTime("c/bytes.txt", T0);
    tree.file("elsewhere/linked/l.txt", 5, T0);
    tree.symlink("m/link", tree.path("elsewhere/linked"));
    const struct {
        const char *name;
        std::vector<const char *> actions; // triggered in turn
        bool date;                         // Match File Date checked
        const char *file;
        const char *result; // "": no row
    } rows[] = {
        {.name = "exact times", .actions = {}, .date = true, .file = "t1.txt", .result = "Date"},
        {.name = "1 second",
         .actions = {"mnuTime1"},
         .date = true,
         .file = "t1.txt",
         .result = "Match"},
        {.name = "1 second is not 2",
         .actions = {"mnuTime1"},
         .date = true,
         .file = "t2.txt",
         .result = "Date"},
        {.name = "2 seconds",
         .actions = {"mnuTime2"},
         .date = true,
         .file = "t2.txt",
         .result = "Match"},
        {.name = "exact again",
         .actions = {"mnuTime2", "mnuTimeExact"},
         .date = true,
         .file = "t1.txt",
         .result = "Date"},
        {.name = "an hour's shift",
         .actions = {},
         .date = true,
         .file = "hour.txt",
         .result = "Date"},
        {.name = "an hour's shift ignored",
         .actions = {"mnuHourShifts"},
         .date = true,
         .file = "hour.txt",
         .result = "Match"},
        {.name = "no extras", .actions = {}, .date = false, .file = "extra.txt", .result = ""},
        {.name = "extras listed",
         .actions = {"mnuShowExtra"},
         .date = false,
         .file = "extra.txt",
         .result = "Extra"},
        {.name = "contents unread",
         .actions = {},
         .date = false,
         .file = "bytes.txt",
         .result = "Match"},
        {.name = "contents verified",
         .actions = {"mnuVerify"},
         .date = false,
         .file = "bytes.txt",
         .result = "Content"},
        {.name = "a link followed",
         .actions = {},
         .date = false,
         .file = "l.txt",
         .result = "Not Found"},
        {.name = "links not followed",
         .actions = {"mnuFollowLinks"},
         .date = false,
         .file = "l.txt",
         .result = ""},
    };
    for (const auto &row : rows) {
        openOnTrees();
        child<QCheckBox>("chkDate")->setChecked(row.date);
        for (const char *action : row.actions)
            child<QAction>(action)->trigger();
        w->beginCompare();
        const int at = static_cast<int>(column(2).split(u',').indexOf(row.file));
        EXPECT_EQ(at < 0 ? QString() : w->model().index(at, 0).data().toString(), row.result)
            << row.name;
    }
}

TEST_F(RunOptionsTest, RootsThatCannotBeComparedAreRefusedBeforeARun) {
    ::chmod(tree.root().c_str(), 0755);
    ::chmod(tree.path("m").c_str(), 0300); // enterable, not listable
    const QString master = QString::fromStdString(tree.path("m"));
    const struct {
        const char *name;
        const char *box;
        std::string path;
        bool dropRoot; // as a user whom the modes bind
        QString said;
    } rows[] = {
        {.name = "a compare directory that does not exist",
         .box = "txtCompareDir",
         .path = tree.path("nowhere"),
         .dropRoot = false,
         .said = "! Invalid Path: Compare directory not found: " +
                 QString::fromStdString(tree.path("nowhere"))},
        {.name = "a master that is a file",
         .box = "txtMasterDir",
         .path = tree.path("c/a.txt"),
         .dropRoot = false,
         .said = "! Invalid Path: Master directory not found: " +
                 QString::fromStdString(tree.path("c/a.txt"))},
        {.name = "a master this user may not read",
         .box = "txtMasterDir",
         .path = tree.path("m"),
         .dropRoot = true,
         .said = "! Invalid Path: Master directory not found: " + master},
    };
    bool skipped = false;
    for (const auto &row : rows) {
        openOnTrees();
        child<QLineEdit>(row.box)->setText(QString::fromStdString(row.path));
        // In a child, which may give up root for good.
        const ChildResult r = RunInChild([&](std::string &out) {
            if (row.dropRoot && (!DropRootInChild() || ::access(row.path.c_str(), R_OK) == 0))
                return 77;
            w->beginCompare();
            out = (prompts.said.join('#') + "|" + w->statusText()).toStdString();
            return w->host().yields() == 0 ? 0 : 1;
        });
        if (r.status == 77) {
            skipped = true;
            continue;
        }
        EXPECT_EQ(r.status, 0) << row.name << ": a run started";
        EXPECT_EQ(r.out, (row.said + "|Ready").toStdString()) << row.name;
    }
    ::chmod(tree.path("m").c_str(), 0755);
    if (skipped)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
}

TEST_F(RunOptionsTest, TheStatusBarCountsTheBytesVerifiedOnlyWhenVerifying) {
    tree.file("m/big.bin", 3 << 20);
    tree.file("c/big.bin", 3 << 20);
    const QRegularExpression verifying("^Comparing: \\d+ of 6 files, \\d+(\\.\\d)? (bytes|KiB|MiB) "
                                       "verified$");
    for (const bool verify : {false, true}) {
        openOnTrees();
        child<QAction>("mnuVerify")->setChecked(verify);
        QStringList statuses;
        w->host().setYieldHook([&](std::int64_t) { statuses << w->statusText(); });
        turnAtEveryYield();
        w->beginCompare();
        const QStringList comparing = statuses.filter("Comparing: ");
        ASSERT_FALSE(comparing.isEmpty());
        EXPECT_EQ(comparing.filter(verifying).size(), verify ? comparing.size() : 0)
            << comparing.join('#').toStdString();
        if (verify) {
            EXPECT_TRUE(comparing.last().endsWith(" MiB verified"))
                << comparing.last().toStdString();
        }
    }
}

TEST_F(RunOptionsTest, TotalsAreGroupedAsTheProgressIs) {
    for (int i = 0; i < 1000; ++i) {
        tree.file("m/many/f" + std::to_string(i), 1);
        tree.file("c/many/f" + std::to_string(i), 1);
    }
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    child<QCheckBox>("chkHide")->setChecked(true);
    w->beginCompare();
    QLocale::setDefault(before);
    EXPECT_EQ(w->statusText(), "Total Files: 1.005    Matching Files: 1.003    Different Files: 2");
}

TEST_F(RunOptionsTest, RunningOutOfMemoryClearsTheListAndSaysSo) {
    fill(); // rows from an earlier run
    w->host().setYieldHook([](std::int64_t n) {
        if (n == 3)
            throw std::bad_alloc();
    });
    w->beginCompare();
    EXPECT_EQ(prompts.said, QStringList{"x Out of Memory: There was not enough memory to finish "
                                        "the compare. The list has been cleared."});
    EXPECT_EQ(w->results().Count(), 0u);
    EXPECT_EQ(w->model().rowCount(), 0);
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"}), "1|00");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    w->host().setYieldHook(nullptr);
    w->beginCompare();
    EXPECT_EQ(w->results().Count(), 5u) << "the next run works";
}
