// A compare run from the window: the buttons, the throttled host, Stop, the summary, the
// status bar, the checks before a run, and the list's behaviour during a run.
#include "AppTestSupport.h"
#include "ResultsModel.h"
#include "WindowHost.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLineEdit>
#include <QSet>
#include <QTest>
#include <QTreeView>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class CompareRunTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        tree.file("m/a.txt", 10);
        tree.file("m/b.txt", 20);
        tree.file("m/sub/c.txt", 5);
        tree.file("c/a.txt", 10);
        tree.file("c/b.txt", 21);
        open();
        setDirs();
    }
    // More master files, so that a run yields many times.
    void addMany(int n) {
        for (int i = 0; i < n; ++i)
            tree.file("m/many/f" + std::to_string(i), 1);
    }
};

} // namespace

TEST_F(CompareRunTest, BeginFillsTheListAndShowsTheSummaryWithLineBreaks) {
    QString duringRun; // Begin and Stop visible, Save List enabled
    w->Host().SetYieldHook([&](std::int64_t) {
        duringRun = props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"});
    });
    QTest::mouseClick(child("cmdBegin"), Qt::LeftButton);
    EXPECT_EQ(duringRun, QStringLiteral("0|10"));
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}) + props("enabled", {"cmdSave"}),
              QStringLiteral("1|01"));
    EXPECT_EQ(said(), QStringList{QStringLiteral("i Complete: Dirwise complete.\n\nTotal Files: "
                                                 "3\nMatching Files: 1\nDifferent Files: 2")});
    EXPECT_EQ(column(0), (QStringList{QStringLiteral("Match"), QStringLiteral("Size"),
                                      QStringLiteral("Not Found")}));
    EXPECT_EQ(column(1)[2], QString::fromStdString(tree.path("c") + "/sub/"));
    QSet<qint64> icons; // the three results show three different pictures
    for (int r = 0; r < 3; ++r)
        icons << w->Model().index(r, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    EXPECT_EQ(icons.size(), 3);
    EXPECT_TRUE(child("lvDw")->hasFocus());
    EXPECT_EQ(w->StatusText(),
              QStringLiteral("Total Files: 3    Matching Files: 1    Different Files: 2"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy pointer restored";
}

TEST_F(CompareRunTest, MissingDirectoriesAreRefusedBeforeARun) {
    const QString missing = QString::fromStdString(tree.path("nowhere"));
    const QString file = QString::fromStdString(tree.path("m/a.txt"));
    child<QLineEdit>("txtCompareDir")->setText(missing);
    w->RunCompare();
    child<QLineEdit>("txtMasterDir")->setText(file);
    w->RunCompare();
    EXPECT_EQ(said(), (QStringList{"! Invalid Path: Compare directory not found: " + missing,
                                   "! Invalid Path: Master directory not found: " + file}));
    EXPECT_EQ(w->Host().Yields(), 0) << "no run started";
    EXPECT_EQ(w->StatusText(), QStringLiteral("Ready"));
}

TEST_F(CompareRunTest, StopAtAChosenYieldGivesAnEmptyListAndTheStoppedMessage) {
    addMany(40);
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
    EXPECT_EQ(said(), QStringList{QStringLiteral("i Stopped: Dirwise stopped.")});
    EXPECT_EQ(w->Results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled());
    EXPECT_EQ(w->StatusText(), QStringLiteral("Stopped"));
    EXPECT_LT(w->Host().Yields(), 20) << "the stop was seen at once";
    w->Host().SetYieldHook(nullptr);
    w->RunCompare();
    EXPECT_TRUE(said().last().startsWith(QStringLiteral("i Complete: "))) << "the stop cleared";
}

TEST_F(CompareRunTest, StatusBarMovesOnlyOnRealTurns) {
    addMany(30);
    QStringList statuses;
    w->Host().SetYieldHook([&](std::int64_t) { statuses << w->StatusText(); });
    w->Host().SetClock([] { return std::int64_t{5}; }); // never moves: one turn, at the start
    w->RunCompare();
    EXPECT_EQ(w->Host().Turns(), 1);
    statuses.removeDuplicates();
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Starting..."),
                                     QStringLiteral("Listing: 0 files found")}));
    std::int64_t clock = 0;
    w->Host().SetClock([&] { return clock += 11'000'000; }); // 11 ms a reading: every yield
    w->RunCompare();
    EXPECT_EQ(w->Host().Turns(), w->Host().Yields());
    EXPECT_TRUE(statuses.contains(QStringLiteral("Listing: 20 files found")));
    EXPECT_TRUE(statuses.contains(QStringLiteral("Comparing: 20 of 33 files")))
        << statuses.join(QLatin1Char(',')).toStdString();
}

TEST_F(CompareRunTest, ListEditsAreIgnoredDuringARun) {
    w->RunCompare(); // a filled list to begin with
    ASSERT_EQ(w->Results().Count(), 3u);
    bool tried = false;
    w->Host().SetYieldHook([&](std::int64_t) {
        if (tried || w->Model().rowCount() == 0)
            return;
        tried = true;
        const bool descending = w->SortDescending();
        auto *lv = child<QTreeView>("lvDw");
        lv->selectionModel()->select(w->Model().index(0, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QStringList names = column(2);
        w->SortByColumn(2);
        EXPECT_EQ(w->SortDescending(), descending) << "a header click does not flip the flag";
        w->RemoveSelectedRows();
        QTest::keyClick(lv, Qt::Key_Delete);
        w->ShowRowProperties();
        w->RunCompare(); // a second Begin inside the run is ignored
        EXPECT_EQ(column(2), names) << "neither sorted nor removed";
    });
    std::int64_t clock = 0;
    w->Host().SetClock([&] { return clock += 20'000'000; });
    w->RunCompare();
    EXPECT_TRUE(tried);
    EXPECT_EQ(w->Results().Count(), 3u);
    EXPECT_EQ(prompts.messages.size(), 2u) << "one summary per run";
}

TEST_F(CompareRunTest, NotComparedPlacesAndOddNames) {
    tree.symlink("m/dangling.txt", "/nonexistent/target");
    // Controls, a Latin-1 byte, a lone continuation byte, an overlong "/", a surrogate and a
    // cut sequence show escaped as in the report; valid characters around them stay.
    tree.file("m/\t\n\\\x07\xe9\x80\xc0\xaf\xed\xa0\x80\xff\xc3\xa9\xe2\x82\xac\xe2\x82", 1);
    w->RunCompare();
    EXPECT_TRUE(column(2).contains(QString::fromUtf8(
        "\\t\\n\\\\\\x07\\xE9\\x80\\xC0\\xAF\\xED\\xA0\\x80\\xFF\xc3\xa9\xe2\x82\xac\\xE2\\x82")))
        << column(2).join(QLatin1Char(',')).toStdString();
    ASSERT_EQ(prompts.messages.size(), 1u);
    const auto &m = prompts.messages[0];
    EXPECT_EQ(m.icon, Prompts::Icon::Exclamation);
    EXPECT_TRUE(m.text.endsWith(QStringLiteral("\nNot Compared: 1"))) << m.text.toStdString();
    EXPECT_TRUE(m.details.contains(QStringLiteral("dangling.txt"))) << m.details.toStdString();
    EXPECT_TRUE(w->StatusText().contains(QStringLiteral("Not Compared: 1")));
}
