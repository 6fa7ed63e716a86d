// A compare run from the window: the buttons, the throttled host, Stop, the summary, the
// status bar, the mended checks, and the list's behaviour around a run.
#include "AppTestSupport.h"
#include "ResultsModel.h"
#include "TempTree.h"
#include "WindowHost.h"
#include "frmDw.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class CompareRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveUserSettings();
        tree.file("m/a.txt", 10, 1000000000);
        tree.file("m/b.txt", 20, 1000000000);
        tree.file("m/sub/c.txt", 5, 1000000000);
        tree.file("c/a.txt", 10, 1000000000);
        tree.file("c/b.txt", 21, 1000000000);
        t = MakeWindow(true);
        w().findChild<QLineEdit *>(QStringLiteral("txtMasterDir"))
            ->setText(QString::fromStdString(tree.path("m")));
        w().findChild<QLineEdit *>(QStringLiteral("txtCompareDir"))
            ->setText(QString::fromStdString(tree.path("c")));
        w().UpdateBeginEnabled();
    }
    void TearDown() override { RemoveUserSettings(); }

    frmDw &w() { return *t->window; }
    template <typename T> T *child(const char *name) {
        return w().findChild<T *>(QString::fromLatin1(name));
    }
    QStringList column(int c) {
        QStringList out;
        QAbstractItemModel *m = child<QTreeView>("lvDw")->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, c).data().toString();
        return out;
    }

    ScopedPrompts prompts;
    TempTree tree;
    std::unique_ptr<TestWindow> t;
};

} // namespace

TEST_F(CompareRunTest, BeginFillsTheListAndShowsTheSummaryWithLineBreaks) {
    bool stopShownDuringRun = false;
    bool saveDisabledDuringRun = false;
    w().Host().SetYieldHook([&](std::int64_t) {
        stopShownDuringRun = child<QPushButton>("cmdStop")->isVisible() &&
                             !child<QPushButton>("cmdBegin")->isVisible();
        saveDisabledDuringRun = !child<QPushButton>("cmdSave")->isEnabled();
    });
    QTest::mouseClick(child<QPushButton>("cmdBegin"), Qt::LeftButton);
    EXPECT_TRUE(stopShownDuringRun);
    EXPECT_TRUE(saveDisabledDuringRun);

    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    const auto &m = prompts.fake.messages[0];
    EXPECT_EQ(m.title, QStringLiteral("Complete"));
    EXPECT_EQ(m.icon, Prompts::Icon::Information);
    EXPECT_EQ(m.text, QStringLiteral("Dirwise complete.\n\nTotal Files: 3\nMatching Files: 1\n"
                                     "Different Files: 2"));
    EXPECT_TRUE(m.details.isEmpty());

    EXPECT_EQ(column(0), (QStringList{QStringLiteral("Match"), QStringLiteral("Size"),
                                      QStringLiteral("Not Found")}));
    EXPECT_EQ(column(2), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                                      QStringLiteral("c.txt")}));
    EXPECT_EQ(column(1)[2], QString::fromStdString(tree.path("c") + "/sub/"));
    EXPECT_TRUE(column(4)[2].isEmpty());
    EXPECT_TRUE(child<QPushButton>("cmdBegin")->isVisible());
    EXPECT_FALSE(child<QPushButton>("cmdStop")->isVisible());
    EXPECT_TRUE(child<QPushButton>("cmdSave")->isEnabled());
    EXPECT_TRUE(child<QTreeView>("lvDw")->hasFocus());
    EXPECT_FALSE(w().IsRunning());
    EXPECT_EQ(w().StatusText(),
              QStringLiteral("Total Files: 3    Matching Files: 1    Different Files: 2"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy pointer restored";
}

TEST_F(CompareRunTest, ExtensionBoxesAreRewrittenAndIncludeModeUsesThem) {
    child<QRadioButton>("optIN")->setChecked(true);
    child<QLineEdit>("txtEXT0")->setText(QStringLiteral("*.txt"));
    child<QLineEdit>("txtEXT1")->setText(QStringLiteral("tar.gz"));
    child<QLineEdit>("txtEXT2")->setText(QStringLiteral("."));
    w().RunCompare();
    EXPECT_EQ(child<QLineEdit>("txtEXT0")->text(), QStringLiteral("txt"));
    EXPECT_EQ(child<QLineEdit>("txtEXT1")->text(), QStringLiteral("gz"));
    EXPECT_EQ(child<QLineEdit>("txtEXT2")->text(), QString());
    EXPECT_EQ(column(2).size(), 3);
}

TEST_F(CompareRunTest, MissingDirectoriesAreRefusedBeforeARun) {
    const QString missing = QString::fromStdString(tree.path("nowhere"));
    child<QLineEdit>("txtCompareDir")->setText(missing);
    w().RunCompare();
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_EQ(prompts.fake.messages[0].title, QStringLiteral("Invalid Path"));
    EXPECT_EQ(prompts.fake.messages[0].icon, Prompts::Icon::Exclamation);
    EXPECT_EQ(prompts.fake.messages[0].text,
              QStringLiteral("Compare directory not found: ") + missing);
    EXPECT_EQ(w().Host().Yields(), 0) << "no run started";
    EXPECT_EQ(w().StatusText(), QStringLiteral("Ready"));

    child<QLineEdit>("txtMasterDir")->setText(QString::fromStdString(tree.path("m/a.txt")));
    w().RunCompare();
    ASSERT_EQ(prompts.fake.messages.size(), 2u);
    EXPECT_TRUE(
        prompts.fake.messages[1].text.startsWith(QStringLiteral("Master directory not found: ")))
        << "a file is not a directory";
}

TEST_F(CompareRunTest, StopAtAChosenYieldGivesAnEmptyListAndTheStoppedMessage) {
    for (int i = 0; i < 40; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    // Every yield is a real turn of the event loop; Stop is clicked through the event
    // queue at the 5th yield, as a person's click would arrive.
    std::int64_t clock = 0;
    w().Host().SetClock([&] { return clock += 20'000'000; });
    w().Host().SetYieldHook([&](std::int64_t n) {
        if (n == 5)
            QMetaObject::invokeMethod(child<QPushButton>("cmdStop"), &QPushButton::click,
                                      Qt::QueuedConnection);
    });
    w().RunCompare();
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_EQ(prompts.fake.messages[0].title, QStringLiteral("Stopped"));
    EXPECT_EQ(prompts.fake.messages[0].text, QStringLiteral("Dirwise stopped."));
    EXPECT_EQ(prompts.fake.messages[0].icon, Prompts::Icon::Information);
    EXPECT_EQ(w().Results().Count(), 0u);
    EXPECT_FALSE(child<QPushButton>("cmdSave")->isEnabled());
    EXPECT_EQ(w().StatusText(), QStringLiteral("Stopped"));
    EXPECT_LT(w().Host().Yields(), 20) << "the stop was seen at once";

    // The next run starts with the stop request clear.
    w().Host().SetYieldHook(nullptr);
    w().RunCompare();
    ASSERT_EQ(prompts.fake.messages.size(), 2u);
    EXPECT_EQ(prompts.fake.messages[1].title, QStringLiteral("Complete"));
}

TEST_F(CompareRunTest, EventsAreProcessedOnlyWhenTheIntervalHasPassed) {
    for (int i = 0; i < 30; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    // A clock that never moves: only the first yield of the run lets events through.
    w().Host().SetClock([] { return std::int64_t{5}; });
    QStringList statuses;
    w().Host().SetYieldHook([&](std::int64_t) { statuses << w().StatusText(); });
    w().RunCompare();
    EXPECT_EQ(w().Host().Turns(), 1);
    EXPECT_GT(w().Host().Yields(), 30);
    statuses.removeDuplicates();
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Starting..."),
                                     QStringLiteral("Listing: 0 files found")}))
        << "the status bar moves only on real turns";

    // A clock that moves 11 ms per reading: every yield is a turn, and the status follows.
    std::int64_t clock = 0;
    w().Host().SetClock([&] { return clock += 11'000'000; });
    statuses.clear();
    w().RunCompare();
    EXPECT_EQ(w().Host().Turns(), w().Host().Yields());
    bool listed = false, compared = false;
    for (const QString &s : statuses) {
        listed |= s.startsWith(QStringLiteral("Listing: ")) && !s.contains(QStringLiteral(" 0 "));
        compared |= s.startsWith(QStringLiteral("Comparing: ")) &&
                    s.endsWith(QStringLiteral(" of 33 files"));
    }
    EXPECT_TRUE(listed);
    EXPECT_TRUE(compared);
}

TEST_F(CompareRunTest, TheViewGrowsInBatchesDuringTheRun) {
    for (int i = 0; i < 30; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    std::int64_t clock = 0;
    w().Host().SetClock([&] { return clock += 3'000'000; }); // a turn every 4th yield
    int shownWhileRunning = 0;
    w().Host().SetYieldHook([&](std::int64_t) {
        shownWhileRunning = std::max(shownWhileRunning, w().Model().rowCount());
        EXPECT_LE(static_cast<std::size_t>(w().Model().rowCount()), w().Results().Count());
    });
    w().RunCompare();
    EXPECT_GT(shownWhileRunning, 0) << "rows appear while the run goes on";
    EXPECT_EQ(w().Model().rowCount(), 33);
}

TEST_F(CompareRunTest, ListEditsAreIgnoredDuringARun) {
    w().RunCompare(); // a filled list to begin with
    ASSERT_EQ(w().Results().Count(), 3u);
    bool tried = false;
    w().Host().SetYieldHook([&](std::int64_t) {
        if (tried || w().Model().rowCount() == 0 || w().Results().Count() == 0)
            return;
        tried = true;
        const bool descending = w().SortDescending();
        auto *lv = child<QTreeView>("lvDw");
        lv->selectionModel()->select(w().Model().index(0, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const std::size_t count = w().Results().Count();
        w().SortByColumn(2);
        EXPECT_EQ(w().SortDescending(), descending) << "a header click does not flip the flag";
        w().RemoveSelectedRows();
        QTest::keyClick(lv, Qt::Key_Delete);
        EXPECT_EQ(w().Results().Count(), count) << "no row removed during a run";
        w().ShowRowProperties();
        w().RunCompare(); // a second Begin inside the run is ignored
    });
    std::int64_t clock = 0;
    w().Host().SetClock([&] { return clock += 20'000'000; });
    w().RunCompare();
    EXPECT_TRUE(tried);
    EXPECT_EQ(w().Results().Count(), 3u);
    EXPECT_EQ(prompts.fake.messages.size(), 2u) << "one summary per run";
}

TEST_F(CompareRunTest, ASortedListIsSortedAgainAfterARun) {
    w().RunCompare();
    w().SortByColumn(2); // first click: descending by File Name
    EXPECT_EQ(column(2), (QStringList{QStringLiteral("c.txt"), QStringLiteral("b.txt"),
                                      QStringLiteral("a.txt")}));
    tree.file("m/d.txt", 1);
    w().RunCompare();
    EXPECT_EQ(column(2), (QStringList{QStringLiteral("d.txt"), QStringLiteral("c.txt"),
                                      QStringLiteral("b.txt"), QStringLiteral("a.txt")}));
    EXPECT_TRUE(w().SortDescending()) << "a run leaves the flag alone";
    w().SortByColumn(0);
    EXPECT_FALSE(w().SortDescending()) << "the alternation goes on across runs";
}

TEST_F(CompareRunTest, HiddenMatchesLeaveNoRowsAndSaveDisabled) {
    tree.file("c/b.txt", 20, 1000000000);
    tree.file("c/sub/c.txt", 5, 1000000000);
    child<QCheckBox>("chkHide")->setChecked(true);
    w().RunCompare();
    EXPECT_EQ(w().Results().Count(), 0u);
    EXPECT_FALSE(child<QPushButton>("cmdSave")->isEnabled());
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_TRUE(prompts.fake.messages[0].text.contains(QStringLiteral("Matching Files: 3")));
}

TEST_F(CompareRunTest, PlacesNotComparedAreListedInTheDetails) {
    tree.symlink("m/dangling.txt", "/nonexistent/target");
    w().RunCompare();
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    const auto &m = prompts.fake.messages[0];
    if (!m.text.contains(QStringLiteral("Not Compared")))
        GTEST_SKIP() << "the engine compares a dangling link: " << m.text.toStdString();
    EXPECT_EQ(m.icon, Prompts::Icon::Exclamation);
    EXPECT_TRUE(m.text.endsWith(QStringLiteral("\nNot Compared: 1"))) << m.text.toStdString();
    EXPECT_TRUE(m.details.contains(QStringLiteral("dangling.txt"))) << m.details.toStdString();
    EXPECT_TRUE(w().StatusText().contains(QStringLiteral("Not Compared: 1")));
}

TEST_F(CompareRunTest, OddNamesShowEscaped) {
    tree.file("m/bad\xff\tname", 1);
    w().RunCompare();
    EXPECT_TRUE(column(2).contains(QStringLiteral("bad\\xFF\\tname")));
}
