// A compare run from the window and the results list's commands: the buttons, the throttled
// host, Stop, the summary, the status bar, the checks before a run, the list's behaviour
// during a run, sorting, the context menu, removal, properties and Save List.
#include "AppTestSupport.h"
#include "FilePropertiesDialog.h"
#include "Report.h"
#include "WindowHost.h"

using namespace dirwise;
using namespace dirwise::test;

namespace {

class RunFixture : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        // b, d and e match; a differs in size; sub/c is missing from the compare tree.
        for (const char *n : {"m/a", "m/b", "m/d", "m/e", "m/sub/c", "c/b", "c/d", "c/e"})
            tree.file(std::string(n) + ".txt", 100);
        tree.file("c/a.txt", 7);
        open();
        child<QLineEdit>("txtMasterDir")->setText(QString::fromStdString(tree.path("m")));
        child<QLineEdit>("txtCompareDir")->setText(QString::fromStdString(tree.path("c")));
        w->UpdateBeginEnabled();
    }
    QTreeView *lv() { return child<QTreeView>("lvDw"); }
    QMenu *menu() { return child<QMenu>("mnuPopupMenu"); }
    void fill() {
        w->RunCompare();
        prompts.said.clear();
    }
    void select(std::initializer_list<int> rows) {
        lv()->selectionModel()->clearSelection();
        for (int r : rows)
            lv()->selectionModel()->select(w->Model().index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void clickHeader(int c) {
        QHeaderView *h = lv()->header();
        const int x = h->sectionViewportPosition(c) + h->sectionSize(c) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, {x, h->height() / 2});
    }
};
using CompareRunTest = RunFixture;
using ListCommandsTest = RunFixture;

} // namespace

TEST_F(CompareRunTest, BeginFillsTheListAndShowsTheSummaryWithLineBreaks) {
    QString duringRun; // Begin and Stop visible, Save List enabled
    w->Host().SetYieldHook([&](std::int64_t) {
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
        icons << w->Model().index(r, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    EXPECT_EQ(icons.size(), 3);
    EXPECT_EQ(w->StatusText(), "Total Files: 5    Matching Files: 3    Different Files: 2");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy pointer restored";
}

TEST_F(CompareRunTest, MissingDirectoriesAreRefusedBeforeARun) {
    const QString missing = QString::fromStdString(tree.path("nowhere"));
    const QString file = QString::fromStdString(tree.path("m/a.txt"));
    child<QLineEdit>("txtCompareDir")->setText(missing);
    w->RunCompare();
    child<QLineEdit>("txtMasterDir")->setText(file);
    w->RunCompare();
    EXPECT_EQ(prompts.said, (QStringList{"! Invalid Path: Compare directory not found: " + missing,
                                         "! Invalid Path: Master directory not found: " + file}));
    EXPECT_EQ(w->Host().Yields(), 0) << "no run started";
    EXPECT_EQ(w->StatusText(), "Ready");
}

TEST_F(CompareRunTest, StopAtAChosenYieldGivesAnEmptyListAndTheStoppedMessage) {
    for (int i = 0; i < 40; ++i) // many files: many yields
        tree.file("m/many/f" + std::to_string(i), 1);
    // Every yield is a real turn; Stop is clicked through the event queue at the 5th yield,
    // as a person's click would arrive.
    std::int64_t clock = 0;
    w->Host().SetClock([&] { return clock += 20'000'000; });
    w->Host().SetYieldHook([&](std::int64_t n) {
        if (n == 5)
            QMetaObject::invokeMethod(child<QAbstractButton>("cmdStop"), &QAbstractButton::click,
                                      Qt::QueuedConnection);
    });
    w->RunCompare();
    EXPECT_EQ(prompts.said, QStringList{"i Stopped: Dirwise stopped."});
    EXPECT_EQ(w->Results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled());
    EXPECT_EQ(w->StatusText(), "Stopped");
    EXPECT_LT(w->Host().Yields(), 20) << "the stop was seen at once";
    w->Host().SetYieldHook(nullptr);
    w->RunCompare();
    EXPECT_TRUE(prompts.said.last().startsWith("i Complete: ")) << "the stop cleared";
}

TEST_F(CompareRunTest, StatusBarMovesOnlyOnRealTurns) {
    for (int i = 0; i < 30; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    QStringList statuses;
    w->Host().SetYieldHook([&](std::int64_t) { statuses << w->StatusText(); });
    w->Host().SetClock([] { return std::int64_t{5}; }); // never moves: one turn, at the start
    w->RunCompare();
    EXPECT_EQ(w->Host().Turns(), 1);
    statuses.removeDuplicates();
    EXPECT_EQ(statuses, (QStringList{"Starting...", "Listing: 0 files found"}));
    std::int64_t clock = 0;
    w->Host().SetClock([&] { return clock += 11'000'000; }); // 11 ms a reading: every yield
    w->RunCompare();
    EXPECT_EQ(w->Host().Turns(), w->Host().Yields());
    EXPECT_TRUE(statuses.contains("Listing: 20 files found") &&
                statuses.contains("Comparing: 20 of 35 files"));
}

TEST_F(CompareRunTest, ListEditsAreIgnoredDuringARun) {
    w->RunCompare(); // a filled list to begin with
    bool tried = false;
    w->Host().SetYieldHook([&](std::int64_t) {
        if (tried || w->Model().rowCount() == 0)
            return;
        tried = true;
        const bool descending = w->SortDescending();
        select({0});
        const QString names = column(2);
        w->SortByColumn(2);
        EXPECT_EQ(w->SortDescending(), descending) << "a header click does not flip the flag";
        w->RemoveSelectedRows();
        QTest::keyClick(lv(), Qt::Key_Delete);
        w->ShowRowProperties();
        w->RunCompare(); // a second Begin inside the run is ignored
        EXPECT_EQ(column(2), names) << "neither sorted nor removed";
    });
    std::int64_t clock = 0;
    w->Host().SetClock([&] { return clock += 20'000'000; });
    w->RunCompare();
    EXPECT_TRUE(tried);
    EXPECT_EQ(w->Results().Count(), 5u);
    EXPECT_EQ(prompts.said.size(), 2) << "one summary per run";
}

TEST_F(CompareRunTest, NotComparedPlacesAndOddNames) {
    tree.symlink("m/dangling.txt", "/nonexistent/target");
    // Controls, a Latin-1 byte, a lone continuation byte, an overlong "/", a surrogate and a
    // cut sequence show escaped as in the report; valid characters around them stay.
    tree.file("m/\t\n\\\x07\xe9\x80\xc0\xaf\xed\xa0\x80\xff\xc3\xa9\xe2\x82\xac\xe2\x82", 1);
    w->RunCompare();
    EXPECT_TRUE(column(2).contains(QString::fromUtf8(
        "\\t\\n\\\\\\x07\\xE9\\x80\\xC0\\xAF\\xED\\xA0\\x80\\xFF\xc3\xa9\xe2\x82\xac\\xE2\\x82")))
        << column(2).toStdString();
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].startsWith("! Complete: ") &&
                prompts.said[0].endsWith("\nNot Compared: 1"))
        << prompts.said[0].toStdString();
    EXPECT_TRUE(prompts.details[0].contains("dangling.txt"));
    EXPECT_TRUE(w->StatusText().contains("Not Compared: 1"));
}

TEST_F(ListCommandsTest, HeaderClicksAlternateAcrossColumnsAndRuns) {
    clickHeader(2);
    EXPECT_FALSE(w->SortDescending()) << "an empty list ignores the click";
    fill();
    clickHeader(2);
    EXPECT_TRUE(w->SortDescending()) << "the first click sorts descending";
    EXPECT_EQ(column(2), "e.txt,d.txt,c.txt,b.txt,a.txt");
    clickHeader(0);
    EXPECT_FALSE(w->SortDescending()) << "another column goes on alternating";
    EXPECT_EQ(column(0), "Match,Match,Match,Not Found,Size");
    clickHeader(2);
    tree.file("m/f.txt", 1);
    w->RunCompare(); // a sorted list is sorted again by the remembered key and order
    EXPECT_EQ(column(2), "f.txt,e.txt,d.txt,c.txt,b.txt,a.txt");
    clickHeader(1);
    EXPECT_FALSE(w->SortDescending()) << "the alternation goes on across runs";
}

TEST_F(ListCommandsTest, ContextMenuOnAnyButtonButTheLeftWithAFilledList) {
    QWidget *vp = lv()->viewport();
    QTest::mouseRelease(vp, Qt::RightButton, Qt::NoModifier, {5, 5});
    EXPECT_FALSE(menu()->isVisible()) << "no menu over an empty list";
    fill();
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, {5, 5});
    EXPECT_FALSE(menu()->isVisible());
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseRelease(vp, b, Qt::NoModifier, {5, 5});
        EXPECT_TRUE(QTest::qWaitFor([&] { return menu()->isVisible(); })) << b;
        menu()->hide();
    }
}

TEST_F(ListCommandsTest, RemovalTakesEverySelectedRowAndSaveFollowsTheCount) {
    fill();
    QAction *remove = menu()->findChild<QAction *>("mnuRemove");
    select({0, 2, 3}); // a, d and e: non-adjacent and adjacent together
    remove->trigger();
    EXPECT_EQ(column(2), "b.txt,c.txt");
    EXPECT_TRUE(child("cmdSave")->isEnabled());
    select({});
    remove->trigger();
    EXPECT_EQ(w->Results().Count(), 2u) << "nothing selected: nothing removed";
    select({0, 1});
    QTest::keyClick(lv(), Qt::Key_Delete);
    EXPECT_EQ(w->Results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled());
}

TEST_F(ListCommandsTest, ReportFollowsTheSortAndTheRemovals) {
    fill();
    select({1});        // b, still selected after the sort
    w->SortByColumn(2); // descending: e d c b a
    w->RemoveSelectedRows();
    EXPECT_EQ(column(2), "e.txt,d.txt,c.txt,a.txt");
    tree.dir("out");
    const std::string path = tree.path("out/report.txt");
    WriteFile(path, std::string(10000, 'x')); // a longer old file is replaced whole
    prompts.answers = {QString::fromStdString(path)};
    QTest::mouseClick(child("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(prompts.asked, QStringList{"Save Results As...|dw.txt|Text File (*.txt)"});
    EXPECT_EQ(prompts.said, QStringList{"i Complete: File save complete"});
    std::string expected; // the core's report lines of the rows as displayed
    for (std::size_t i = 0; i < 4; ++i)
        AppendReportLine(expected, w->Results(), i);
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(ListCommandsTest, CancelledAndFailingSaves) {
    fill();
    w->SaveList(); // cancelled: no message, nothing written
    EXPECT_TRUE(prompts.said.isEmpty());
    // A file that cannot be opened, and a write that fails after the open (a full device).
    prompts.answers = {QString::fromStdString(tree.path("no/such/dir/r.txt")), "/dev/full"};
    const bool full = QFile::exists("/dev/full");
    for (int i = 0; i < 1 + full; ++i)
        w->SaveList();
    ASSERT_EQ(prompts.said.size(), 1 + full);
    for (const QString &message : prompts.said) // with the error's description
        EXPECT_TRUE(message.startsWith("x Cannot Save File: ") && message.size() > 20)
            << message.toStdString();
}

TEST_F(ListCommandsTest, PropertiesShowTheRowsOwnFiles) {
    fill();
    auto paths = [&] { // of the properties window that shows up, which is then closed
        FilePropertiesDialog *d = nullptr;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (d = w->findChild<FilePropertiesDialog *>()) != nullptr; }, 8000));
        QStringList out;
        for (int i = 0; d && i < d->fileCount(); ++i)
            out << d->fieldText(i, FilePropertiesDialog::Field::Path);
        delete d;
        return out;
    };
    // Row 0 is a.txt, which differs in size: both files exist. No file manager answers
    // here, so Dirwise's own window shows them.
    const QRect cell = lv()->visualRect(w->Model().index(0, 2));
    QTest::mouseDClick(lv()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    const QString root = QString::fromStdString(tree.root());
    EXPECT_EQ(paths(), (QStringList{root + "/m/a.txt", root + "/c/a.txt"}));
    lv()->setCurrentIndex(w->Model().index(4, 0));
    w->ShowRowProperties(); // a Not Found row has only its master file
    EXPECT_EQ(paths(), QStringList{root + "/m/sub/c.txt"});
}
