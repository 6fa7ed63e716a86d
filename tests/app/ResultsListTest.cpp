// A compare run from the window and the results list's commands: the window's host, the
// buttons, Stop, the summary, the status bar, the checks before a run, the list's behaviour
// during a run, sorting, the context menu, removal, properties and Save List.
#include "AppTestSupport.h"
#include "FilePropertiesDialog.h"
#include "Report.h"
#include "TextForms.h"
#include "WindowHost.h"

using namespace dirwise;
using namespace dirwise::test;

namespace {

// A host whose clock moves only when the test says so, and which records each turn.
class HostTest : public ::testing::Test {
protected:
    HostTest() : host([this] { ++beforeTurns; }) {
        host.setClock([this] { return clock; });
        host.beginRun();
    }
    bool yieldAt(std::int64_t nanoseconds, Phase phase = Phase::Listing) {
        clock = nanoseconds;
        return host.yield(Progress{.phase = phase, .listed = 3, .compared = 1});
    }
    std::int64_t clock = 0;
    int beforeTurns = 0;
    WindowHost host;
};

} // namespace

TEST_F(HostTest, FirstYieldOfARunAlwaysTurns) {
    EXPECT_FALSE(yieldAt(0));
    EXPECT_EQ(host.turns(), 1);
    EXPECT_EQ(beforeTurns, 1);
}

TEST_F(HostTest, LaterYieldsTurnOnlyAfterTheInterval) {
    (void)yieldAt(0);
    (void)yieldAt(9'999'999); // under 10 ms since the last turn: no turn
    EXPECT_EQ(host.turns(), 1);
    (void)yieldAt(10'000'000);
    EXPECT_EQ(host.turns(), 2);
    EXPECT_EQ(host.yields(), 3);
}

TEST_F(HostTest, KeepsTheLatestProgress) {
    (void)yieldAt(0, Phase::Comparing);
    EXPECT_EQ(host.progress().phase, Phase::Comparing);
    EXPECT_EQ(host.progress().compared, 1);
}

TEST_F(HostTest, AStopAnswersTrueEvenBetweenTurnsAndBeginRunClearsIt) {
    (void)yieldAt(0);
    host.requestStop();
    EXPECT_TRUE(yieldAt(1)) << "no turn is due, the stop is still answered";
    host.beginRun();
    EXPECT_FALSE(yieldAt(2));
}

TEST_F(HostTest, AStopAskedDuringATurnIsAnsweredByThatYield) {
    QTimer::singleShot(0, [this] { host.requestStop(); }); // as a click on Stop arrives
    EXPECT_TRUE(yieldAt(0));
}

TEST_F(HostTest, AYieldInsideATurnDoesNotNestAnotherTurn) {
    QTimer::singleShot(0, [this] { (void)yieldAt(50'000'000); });
    (void)yieldAt(0);
    EXPECT_EQ(host.yields(), 2);
    EXPECT_EQ(host.turns(), 1);
}

using CompareRunTest = RunFixture;
using ListCommandsTest = RunFixture;

TEST_F(CompareRunTest, BeginFillsTheListAndShowsTheSummaryWithLineBreaks) {
    QString duringRun; // Begin and Stop visible, Save List enabled
    w->host().setYieldHook([&](std::int64_t) {
        duringRun = props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"});
    });
    QTest::mouseClick(child("cmdBegin"), Qt::LeftButton);
    EXPECT_EQ(duringRun, "0|10");
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"}), "1|01");
    EXPECT_TRUE(child("lvDw")->hasFocus());
    EXPECT_EQ(prompts.said.join(u'#'), "i Complete: Dirwise complete.\n\nTotal Files: 5\n"
                                       "Matching Files: 3\nDifferent Files: 2");
    EXPECT_EQ(column(0), "Size,Match,Match,Match,Not Found");
    EXPECT_TRUE(column(1).endsWith(QString::fromStdString(tree.path("c") + "/sub/")));
    QSet<qint64> icons; // the three results show three different pictures
    for (int r = 0; r < 5; ++r)
        icons << w->model().index(r, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    EXPECT_EQ(icons.size(), 3);
    EXPECT_EQ(w->statusText(), "Total Files: 5    Matching Files: 3    Different Files: 2");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy pointer restored";
}

TEST_F(CompareRunTest, StopAtAChosenYieldGivesAnEmptyListAndTheStoppedMessage) {
    for (int i = 0; i < 40; ++i) // many files: many yields
        tree.file("m/many/f" + std::to_string(i), 1);
    // Stop is clicked through the event queue at the 5th yield, as a person's click would
    // arrive.
    turnAtEveryYield();
    w->host().setYieldHook([&](std::int64_t n) {
        if (n == 5)
            QMetaObject::invokeMethod(child<QAbstractButton>("cmdStop"), &QAbstractButton::click,
                                      Qt::QueuedConnection);
    });
    w->beginCompare();
    EXPECT_EQ(prompts.said, QStringList{"i Stopped: Dirwise stopped."});
    EXPECT_EQ(w->results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled());
    EXPECT_EQ(w->statusText(), "Stopped");
    EXPECT_EQ(w->host().yields(), 5) << "the stop was seen at once";
}

TEST_F(CompareRunTest, TheNextRunAfterAStopRunsToTheEnd) {
    turnAtEveryYield();
    w->host().setYieldHook([&](std::int64_t n) {
        if (n == 2)
            w->stopCompare();
    });
    w->beginCompare();
    w->host().setYieldHook(nullptr);
    w->beginCompare();
    EXPECT_TRUE(prompts.said.last().startsWith("i Complete: ")) << "the stop cleared";
}

TEST_F(CompareRunTest, StopOutsideARunIsIgnored) {
    w->stopCompare();
    w->beginCompare();
    EXPECT_TRUE(prompts.said.last().startsWith("i Complete: "));
}

TEST_F(CompareRunTest, StatusBarMovesOnlyOnRealTurns) {
    for (int i = 0; i < 30; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    QStringList statuses;
    w->host().setYieldHook([&](std::int64_t) { statuses << w->statusText(); });
    w->host().setClock([] { return std::int64_t{5}; }); // never moves: one turn, at the start
    w->beginCompare();
    EXPECT_EQ(w->host().turns(), 1);
    statuses.removeDuplicates();
    EXPECT_EQ(statuses, (QStringList{"Starting...", "Listing: 0 files found"}));
}

TEST_F(CompareRunTest, StatusBarShowsTheListingAndTheCompareProgress) {
    for (int i = 0; i < 30; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    QStringList statuses;
    w->host().setYieldHook([&](std::int64_t) { statuses << w->statusText(); });
    w->host().setClock([&] { return clock += 11'000'000; }); // 11 ms a reading: every yield
    w->beginCompare();
    EXPECT_EQ(w->host().turns(), w->host().yields());
    EXPECT_TRUE(statuses.contains("Listing: 20 files found"));
    EXPECT_TRUE(statuses.contains("Comparing: 20 of 35 files"));
}

TEST_F(CompareRunTest, ListEditsAreIgnoredDuringARun) {
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

TEST_F(CompareRunTest, NotComparedPlacesGoToTheSummaryAndItsDetails) {
    tree.symlink("m/dangling.txt", "/nonexistent/target");
    w->beginCompare();
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].startsWith("! Complete: ") &&
                prompts.said[0].endsWith("\nNot Compared: 1"))
        << prompts.said[0].toStdString();
    EXPECT_TRUE(prompts.details[0].contains("dangling.txt"));
    EXPECT_TRUE(w->statusText().contains("Not Compared: 1"));
}

TEST_F(CompareRunTest, OddNamesShowEscapedAsDwcShowsThem) {
    // Controls, a Latin-1 byte, a lone continuation byte, an overlong "/", a surrogate, a
    // C1 control and a cut sequence show escaped; valid characters around them stay, and a
    // backslash stays one backslash.
    const std::string name = "\t\n\\\x07\xe9\x80\xc0\xaf\xed\xa0\x80\xff\xc3\xa9\xc2\x85\xe2\x82"
                             "\xac\xe2\x82";
    tree.file("m/" + name, 1);
    w->beginCompare();
    const QString shown = QString::fromUtf8("\\t\\n\\\\x07\\xe9\\x80\\xc0\\xaf\\xed\\xa0\\x80\\xff"
                                            "\xc3\xa9\\u0085\xe2\x82\xac\\xe2\\x82");
    EXPECT_TRUE(column(2).split(u',').contains(shown)) << column(2).toStdString();
    EXPECT_TRUE(column(2).split(u',').contains(QString::fromStdString(EscapeForDisplay(name))));
}

TEST_F(ListCommandsTest, AnEmptyListIgnoresAHeaderClick) {
    clickHeader(2);
    EXPECT_FALSE(w->sortDescending());
}

TEST_F(ListCommandsTest, TheFirstHeaderClickSortsDescending) {
    fill();
    clickHeader(2);
    EXPECT_TRUE(w->sortDescending());
    EXPECT_EQ(column(2), "e.txt,d.txt,c.txt,b.txt,a.txt");
}

TEST_F(ListCommandsTest, AnotherColumnGoesOnAlternating) {
    fill();
    clickHeader(2);
    clickHeader(0);
    EXPECT_FALSE(w->sortDescending());
    EXPECT_EQ(column(0), "Match,Match,Match,Not Found,Size");
}

TEST_F(ListCommandsTest, ASortedListIsSortedAgainAfterTheNextRun) {
    fill();
    clickHeader(2);
    tree.file("m/f.txt", 1);
    w->beginCompare(); // by the remembered key and order
    EXPECT_EQ(column(2), "f.txt,e.txt,d.txt,c.txt,b.txt,a.txt");
    clickHeader(1);
    EXPECT_FALSE(w->sortDescending()) << "the alternation goes on across runs";
}

TEST_F(ListCommandsTest, ContextMenuRoutes) {
    // The key routes open it below the current row, the third.
    const struct {
        const char *name;
        bool filled;            // the list holds rows
        Qt::MouseButton button; // Qt::NoButton: the key
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool shows;
    } routes[] = {
        {.name = "right button over an empty list",
         .filled = false,
         .button = Qt::RightButton,
         .key = Qt::Key_unknown,
         .modifiers = Qt::NoModifier,
         .shows = false},
        {.name = "left button",
         .filled = true,
         .button = Qt::LeftButton,
         .key = Qt::Key_unknown,
         .modifiers = Qt::NoModifier,
         .shows = false},
        {.name = "right button",
         .filled = true,
         .button = Qt::RightButton,
         .key = Qt::Key_unknown,
         .modifiers = Qt::NoModifier,
         .shows = true},
        {.name = "middle button",
         .filled = true,
         .button = Qt::MiddleButton,
         .key = Qt::Key_unknown,
         .modifiers = Qt::NoModifier,
         .shows = true},
        {.name = "Shift+F10",
         .filled = true,
         .button = Qt::NoButton,
         .key = Qt::Key_F10,
         .modifiers = Qt::ShiftModifier,
         .shows = true},
        {.name = "Menu key",
         .filled = true,
         .button = Qt::NoButton,
         .key = Qt::Key_Menu,
         .modifiers = Qt::NoModifier,
         .shows = true},
        {.name = "Menu key over an empty list",
         .filled = false,
         .button = Qt::NoButton,
         .key = Qt::Key_Menu,
         .modifiers = Qt::NoModifier,
         .shows = false},
    };
    for (const auto &route : routes) {
        openOnTrees();
        if (route.filled) {
            fill();
            lv()->setCurrentIndex(w->model().index(2, 0));
        }
        if (route.button != Qt::NoButton) {
            QTest::mouseRelease(lv()->viewport(), route.button, Qt::NoModifier, {5, 5});
        } else {
            lv()->setFocus();
            QTest::keyClick(lv(), route.key, route.modifiers);
        }
        if (!route.shows) {
            QCoreApplication::processEvents();
            EXPECT_FALSE(menu()->isVisible()) << route.name;
            continue;
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return menu()->isVisible(); })) << route.name;
        if (route.button == Qt::NoButton) {
            const QRect row = lv()->visualRect(w->model().index(2, 0));
            EXPECT_EQ(menu()->pos(), lv()->viewport()->mapToGlobal(row.bottomLeft())) << route.name;
        }
        menu()->hide();
    }
}

TEST_F(ListCommandsTest, RemovalTakesEverySelectedRow) {
    fill();
    select({0, 2, 3}); // a, d and e: non-adjacent and adjacent together
    menu()->findChild<QAction *>("mnuRemove")->trigger();
    EXPECT_EQ(column(2), "b.txt,c.txt");
    EXPECT_TRUE(child("cmdSave")->isEnabled());
}

TEST_F(ListCommandsTest, RemovalWithNothingSelectedRemovesNothing) {
    fill();
    select({});
    menu()->findChild<QAction *>("mnuRemove")->trigger();
    EXPECT_EQ(w->results().Count(), 5u);
}

TEST_F(ListCommandsTest, DeletingTheLastRowsDisablesSaveList) {
    fill();
    select({0, 1, 2, 3, 4});
    QTest::keyClick(lv(), Qt::Key_Delete);
    EXPECT_EQ(w->results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled());
}

TEST_F(ListCommandsTest, ReportFollowsTheSortAndTheRemovals) {
    fill();
    select({1});        // b, still selected after the sort
    w->sortByColumn(2); // descending: e d c b a
    w->removeSelectedRows();
    EXPECT_EQ(column(2), "e.txt,d.txt,c.txt,a.txt");
    tree.dir("out");
    const std::string path = tree.path("out/report.txt");
    WriteFile(path, std::string(10000, 'x')); // a longer old file is replaced whole
    prompts.answers = {QString::fromStdString(path)};
    QTest::mouseClick(child("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(prompts.asked, QStringList{"Save Results As...|dw.txt|Text File (*.txt);;CSV "
                                         "File, all columns (*.csv)"});
    EXPECT_EQ(prompts.said, QStringList{"i Complete: File save complete"});
    std::string expected; // the core's report lines of the rows as displayed
    for (std::size_t i = 0; i < 4; ++i)
        AppendReportLine(expected, w->results(), i);
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(ListCommandsTest, TheCsvFileTypeWritesEveryColumnWhateverTheName) {
    fill();
    tree.dir("out");
    const std::string path = tree.path("out/report.txt");
    prompts.answers = {QString::fromStdString(path)};
    prompts.fileType = "CSV File, all columns (*.csv)";
    w->saveList();
    EXPECT_EQ(prompts.said, QStringList{"i Complete: File save complete"});
    std::string expected = CsvHeader();
    for (std::size_t i = 0; i < w->results().Count(); ++i)
        AppendCsvLine(expected, w->results(), i);
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(ListCommandsTest, ACancelledSaveWritesAndSaysNothing) {
    fill();
    w->saveList();
    EXPECT_TRUE(prompts.said.isEmpty());
}

TEST_F(ListCommandsTest, ASaveThatFailsGivesCannotSaveFileWithTheReason) {
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "needs /dev/full, a device whose writes fail";
    fill();
    const struct {
        const char *name;
        std::string path;
    } rows[] = {{.name = "a folder that does not exist", .path = tree.path("no/such/dir/r.txt")},
                {.name = "a device whose writes fail", .path = "/dev/full"}};
    for (const auto &row : rows) {
        prompts.said.clear();
        prompts.answers = {QString::fromStdString(row.path)};
        w->saveList();
        ASSERT_EQ(prompts.said.size(), 1) << row.name;
        EXPECT_TRUE(prompts.said[0].startsWith("x Cannot Save File: ") &&
                    prompts.said[0].size() > 20)
            << row.name << ": " << prompts.said[0].toStdString(); // with the error's description
    }
}

namespace {

// The paths of the properties window that shows up (which is then closed).
QStringList propertiesShown(QWidget *owner) {
    FilePropertiesDialog *d = nullptr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (d = owner->findChild<FilePropertiesDialog *>()) != nullptr; }, 8000));
    QStringList out;
    for (int i = 0; d && i < d->fileCount(); ++i)
        out << d->fieldText(i, FilePropertiesDialog::Field::Path);
    delete d;
    return out;
}

} // namespace

TEST_F(ListCommandsTest, DoubleClickAndEnterShowBothFilesOfADifferingRow) {
    const QString root = QString::fromStdString(tree.root());
    for (const bool enter : {false, true}) {
        openOnTrees();
        fill();
        // Row 0 is a.txt, which differs in size: both files exist. No file manager answers
        // here, so Dirwise's own window shows them.
        const QRect cell = lv()->visualRect(w->model().index(0, 2));
        if (enter) {
            lv()->setCurrentIndex(w->model().index(0, 0));
            QTest::keyClick(lv(), Qt::Key_Return);
        } else {
            QTest::mouseDClick(lv()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        }
        EXPECT_EQ(propertiesShown(w.get()), (QStringList{root + "/m/a.txt", root + "/c/a.txt"}))
            << (enter ? "Enter" : "double click");
    }
}

TEST_F(ListCommandsTest, PropertiesOfANotFoundRowShowOnlyTheMasterFile) {
    fill();
    lv()->setCurrentIndex(w->model().index(4, 0));
    w->showRowProperties();
    const QString root = QString::fromStdString(tree.root());
    EXPECT_EQ(propertiesShown(w.get()), QStringList{root + "/m/sub/c.txt"});
}
