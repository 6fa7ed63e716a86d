// A compare run from the window: the window's host, Begin and Stop, the summary and the
// status bar, what a run takes from the controls and the Options menu, what it refuses
// before it starts, the list during a run, and a run that runs out of memory.
#include "AppTestSupport.h"

#include <new>

using namespace dirwise;
using namespace dirwise::test;

namespace {

using RunTest = RunFixture;

constexpr std::int64_t T0 = 1700000000;

} // namespace

// A host whose clock the test sets, a run begun.
class WindowHostClock : public ::testing::Test {
protected:
    void SetUp() override {
        host.setClock([&] { return clock; });
        host.beginRun();
    }
    // Yields with the clock at `nanoseconds`; says whether the host asks to stop.
    bool yieldAt(std::int64_t nanoseconds) {
        clock = nanoseconds;
        return host.yield(Progress{});
    }
    std::int64_t clock = 0;
    WindowHost host{[] {}};
};

TEST_F(WindowHostClock, TurnsFirstThenAfter10ms) {
    EXPECT_FALSE(yieldAt(0));
    EXPECT_FALSE(yieldAt(9'999'999)); // under 10 ms since the last turn: no turn
    EXPECT_EQ(host.turns(), 1);
    EXPECT_FALSE(yieldAt(10'000'000));
    EXPECT_EQ(host.turns(), 2);
}

TEST_F(WindowHostClock, AStopIsAnsweredUntilTheNextRun) {
    EXPECT_FALSE(yieldAt(0));
    QTimer::singleShot(0, [&] {
        (void)yieldAt(50'000'000);
        host.requestStop(); // as a click on Stop arrives
    });
    EXPECT_TRUE(yieldAt(10'000'000)) << "asked during a turn, answered by that yield";
    EXPECT_EQ(host.turns(), 2) << "the yield inside the turn turned no more";
    EXPECT_TRUE(yieldAt(10'000'001)) << "no turn is due, the stop is still answered";
    host.beginRun();
    EXPECT_FALSE(yieldAt(10'000'002));
}

TEST_F(RunTest, BeginRunsACompareIntoTheList) {
    tree.symlink("m/looping.txt", "looping.txt"); // a loop of links: not compared
    // A control and a byte that is no UTF-8 show escaped (every form: the results tests).
    tree.file("m/tab\t\xff.txt", 1);
    QString duringRun; // Begin and Stop visible, Save List enabled
    w->host().setYieldHook([&](std::int64_t) {
        duringRun = props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"});
    });
    QTest::mouseClick(child("cmdBegin"), Qt::LeftButton);
    EXPECT_EQ(duringRun, "0|10");
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"}), "1|01");
    EXPECT_TRUE(child("lvDw")->hasFocus());
    EXPECT_TRUE(prompts.said.join(u'#').startsWith("! Complete: Dirwise complete.\n\nTotal "
                                                   "Files: 6\nMatching Files: 3\nDifferent "
                                                   "Files: 3\nNot Compared: 1\n"));
    EXPECT_EQ(column(0), "Size,Match,Match,Match,Not Found,Not Found,Not Compared");
    EXPECT_TRUE(column(2).split(u',').contains("tab\\t\\xff.txt")) << column(2);
    EXPECT_TRUE(column(1).contains(QString::fromStdString(tree.path("c") + "/sub/")));
    QSet<qint64> icons; // the three results show three different pictures
    for (int r = 0; r < 6; ++r)
        icons << w->model().index(r, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    EXPECT_EQ(icons.size(), 3);
    EXPECT_EQ(w->statusText(), "Total Files: 6    Matching Files: 3    Different Files: 3    "
                               "Not Compared: 1");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy pointer restored";
}

TEST_F(RunTest, AStopOrRunningOutOfMemoryEndsOnlyThatRunWithAnEmptyList) {
    for (int i = 0; i < 40; ++i) // many files: many yields
        tree.file("m/many/f" + std::to_string(i), 1);
    w->stopCompare(); // outside a run: ignored
    // Stop is clicked through the event queue at the 5th yield, as a person's click would
    // arrive; memory runs out once the run has listed rows. Each time a whole run fills the list
    // before.
    turnAtEveryYield();
    const std::pair<QString, QString> endings[] = {
        {"i Stopped: Dirwise stopped.", "Stopped"},
        {"x Out of Memory: There was not enough memory to finish the compare. The list has "
         "been cleared.",
         "Out of memory"},
    };
    for (const auto &[said, status] : endings) {
        w->host().setYieldHook(nullptr);
        w->beginCompare();
        EXPECT_EQ(w->results().Count(), 45u);
        prompts.said.clear();
        w->host().setYieldHook([&](std::int64_t n) {
            if (n == 5 && status == "Stopped")
                QMetaObject::invokeMethod(child<QAbstractButton>("cmdStop"),
                                          &QAbstractButton::click, Qt::QueuedConnection);
            if (status != "Stopped" && w->results().Count() > 0) // rows for it to clear
                throw std::bad_alloc();
        });
        w->beginCompare();
        EXPECT_EQ(prompts.said, QStringList{said});
        EXPECT_EQ(w->results().Count(), 0u);
        EXPECT_EQ(w->model().rowCount(), 0);
        EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"}),
                  "1|00");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(w->statusText(), status);
        EXPECT_TRUE(status != "Stopped" || w->host().yields() == 5) << "the stop seen at once";
    }
    w->host().setYieldHook(nullptr);
    w->beginCompare();
    EXPECT_EQ(w->results().Count(), 45u) << "the next run works";
}

// Adds a thousand small files and one of 3 MiB to both trees.
void AddMany(TempTree &tree) {
    for (int i = 0; i < 1000; ++i) {
        tree.file("m/many/f" + std::to_string(i), 1);
        tree.file("c/many/f" + std::to_string(i), 1);
    }
    tree.file("m/big.bin", 3 << 20);
    tree.file("c/big.bin", 3 << 20);
}

TEST_F(RunTest, TheStatusBarMovesOnlyOnTurns) {
    AddMany(tree);
    QStringList statuses;
    w->host().setYieldHook([&](std::int64_t) { statuses << w->statusText(); });
    w->host().setClock([] { return std::int64_t{5}; }); // never moves: one turn, at the start
    w->beginCompare();
    EXPECT_EQ(w->host().turns(), 1);
    statuses.removeDuplicates();
    EXPECT_EQ(statuses, (QStringList{"Starting...", "Listing: 0 files found"}));
}

TEST_F(RunTest, TheStatusBarCountsBytesOnlyWhenVerifying) {
    AddMany(tree);
    QStringList statuses;
    // Counts are grouped as the locale groups them, during the run and after.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    const QRegularExpression verifying(
        "^Comparing: [\\d.]+ of 1.006 files, \\d+ ([Bb]ytes|KiB|MiB) verified$");
    for (const bool verify : {false, true}) {
        openOnTrees();
        child<QAction>("mnuVerify")->setChecked(verify);
        child<QCheckBox>("chkHide")->setChecked(true); // a short list
        statuses.clear();
        w->host().setYieldHook([&](std::int64_t) { statuses << w->statusText(); });
        turnAtEveryYield();
        w->beginCompare();
        EXPECT_EQ(w->host().turns(), w->host().yields());
        const QStringList comparing = statuses.filter("Comparing: ");
        ASSERT_FALSE(comparing.isEmpty());
        EXPECT_EQ(comparing.filter(verifying).size(), verify ? comparing.size() : 0)
            << comparing.join('#');
        EXPECT_EQ(w->statusText(),
                  "Total Files: 1.006    Matching Files: 1.004    Different Files: 2");
        if (verify) {
            EXPECT_TRUE(comparing.last().endsWith(" MiB verified")) << comparing.last();
        } else {
            EXPECT_TRUE(statuses.contains("Listing: 1.000 files found")) << statuses.join('#');
            EXPECT_TRUE(statuses.contains("Comparing: 1.000 of 1.006 files")) << statuses.join('#');
        }
    }
}

TEST_F(RunTest, EachRunChoiceDecidesItsFilesResult) {
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
    // The Options menu's entries triggered in turn (or a check box grayed: "~"), whether
    // Match File Date is checked, a file and its result ("": no row). a.txt differs only in
    // size: a grayed size box is off; a grayed subdirectories box is on.
    const struct {
        QStringList actions;
        bool date;
        const char *file, *result;
    } rows[] = {
        {{}, true, "t1.txt", "Date"},
        {{"mnuTime1"}, true, "t1.txt", "Match"},
        {{"mnuTime1"}, true, "t2.txt", "Date"},
        {{"mnuTime2"}, true, "t2.txt", "Match"},
        {{"mnuTime2", "mnuTimeExact"}, true, "t1.txt", "Date"},
        {{}, true, "hour.txt", "Date"},
        {{"mnuHourShifts"}, true, "hour.txt", "Match"},
        {{}, false, "extra.txt", ""},
        {{"mnuShowExtra"}, false, "extra.txt", "Extra"},
        {{}, false, "bytes.txt", "Match"},
        {{"mnuVerify"}, false, "bytes.txt", "Content"},
        {{}, false, "l.txt", "Not Found"},
        {{"mnuFollowLinks"}, false, "l.txt", ""},
        {{"chkSize~"}, true, "a.txt", "Match"},
        {{"chkSubDir~"}, true, "c.txt", "Not Found"},
    };
    for (const auto &row : rows) {
        openOnTrees();
        child<QCheckBox>("chkDate")->setChecked(row.date);
        for (const QString &action : row.actions) {
            if (action.endsWith(u'~'))
                w->findChild<QCheckBox *>(action.chopped(1))->setCheckState(Qt::PartiallyChecked);
            else
                w->findChild<QAction *>(action)->trigger();
        }
        w->beginCompare();
        const int at = static_cast<int>(column(2).split(u',').indexOf(row.file));
        EXPECT_EQ(at < 0 ? QString() : w->model().index(at, 0).data().toString(), row.result)
            << row.file << " after " << row.actions.join(' ');
    }
}

TEST_F(RunTest, RootsThatCannotBeComparedAreRefusedBeforeARun) {
    // Which directories cannot be compared (an unreadable one too) is the engine's CheckRoot.
    // A file that is there but is no snapshot says so.
    const std::tuple<const char *, std::string, const char *> rows[] = {
        {"txtCompareDir", tree.path("nowhere"), "not found"},
        {"txtMasterDir", tree.path("c/a.txt"), "is neither a folder nor a snapshot"},
    };
    for (const auto &[box, path, why] : rows) {
        openOnTrees();
        prompts.said.clear();
        child<QLineEdit>(box)->setText(QString::fromStdString(path));
        w->beginCompare();
        EXPECT_EQ(
            prompts.said.join('#') + "|" + w->statusText(),
            QString("! Invalid Path: %1 directory %2: %3|Ready")
                .arg(box[3] == 'M' ? "Master" : "Compare", why, QString::fromStdString(path)));
        EXPECT_EQ(w->host().yields(), 0) << path << ": a run started";
    }
}

TEST_F(RunTest, ListEditsAreIgnoredDuringARun) {
    w->beginCompare(); // a filled list to begin with
    bool tried = false;
    w->host().setYieldHook([&](std::int64_t) {
        if (tried || w->model().rowCount() == 0)
            return;
        tried = true;
        const bool descending = w->sortDescending();
        select({0});
        const QString names = column(2);
        w->sortByColumn(2);
        EXPECT_EQ(w->sortDescending(), descending) << "a header click does not flip the flag";
        w->removeSelectedRows();
        QTest::keyClick(lv(), Qt::Key_Delete);
        w->showRowProperties();
        w->beginCompare(); // a second Begin inside the run is ignored
        EXPECT_EQ(column(2), names) << "neither sorted nor removed";
    });
    turnAtEveryYield();
    w->beginCompare();
    EXPECT_TRUE(tried);
    EXPECT_EQ(w->results().Count(), 5u);
    EXPECT_EQ(prompts.said.size(), 2) << "one summary per run";
}
