// The results list's commands: sorting, the context menu, removal and Save List.
#include "AppTestSupport.h"
#include "FilePropertiesDialog.h"
#include "Report.h"
#include "ResultsModel.h"
#include "TempTree.h"
#include "frmDw.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class ListCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveUserSettings();
        t = MakeWindow(true);
        // Five files: b, d and e match; a differs in size; c is missing.
        for (const char *n : {"a", "b", "c", "d", "e"})
            tree.file(std::string("m/") + n + ".txt", 100);
        for (const char *n : {"b", "d", "e"})
            tree.file(std::string("c/") + n + ".txt", 100);
        tree.file("c/a.txt", 7);
        w().findChild<QLineEdit *>(QStringLiteral("txtMasterDir"))
            ->setText(QString::fromStdString(tree.path("m")));
        w().findChild<QLineEdit *>(QStringLiteral("txtCompareDir"))
            ->setText(QString::fromStdString(tree.path("c")));
    }
    void TearDown() override { RemoveUserSettings(); }

    frmDw &w() { return *t->window; }
    QTreeView *lv() { return w().findChild<QTreeView *>(QStringLiteral("lvDw")); }
    QPushButton *save() { return w().findChild<QPushButton *>(QStringLiteral("cmdSave")); }
    QMenu *menu() { return w().findChild<QMenu *>(QStringLiteral("mnuPopupMenu")); }
    void fill() {
        w().RunCompare();
        prompts.fake.messages.clear();
    }
    QStringList names() {
        QStringList out;
        for (int r = 0; r < w().Model().rowCount(); ++r)
            out << w().Model().index(r, 2).data().toString();
        return out;
    }
    void select(std::initializer_list<int> rows) {
        lv()->selectionModel()->clearSelection();
        for (int r : rows)
            lv()->selectionModel()->select(w().Model().index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void clickHeader(int column) {
        QHeaderView *h = lv()->header();
        const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(x, h->height() / 2));
    }

    ScopedPrompts prompts;
    TempTree tree;
    std::unique_ptr<TestWindow> t;
};

} // namespace

TEST_F(ListCommandsTest, HeaderClicksAlternateAcrossColumns) {
    clickHeader(2);
    EXPECT_FALSE(w().SortDescending()) << "an empty list ignores the click";
    fill();
    clickHeader(2);
    EXPECT_TRUE(w().SortDescending()) << "the first click sorts descending";
    EXPECT_EQ(names(), (QStringList{QStringLiteral("e.txt"), QStringLiteral("d.txt"),
                                    QStringLiteral("c.txt"), QStringLiteral("b.txt"),
                                    QStringLiteral("a.txt")}));
    clickHeader(0); // another column continues the alternation: ascending by Result
    EXPECT_FALSE(w().SortDescending());
    EXPECT_EQ(w().Model().index(0, 0).data().toString(), QStringLiteral("Match"));
    EXPECT_EQ(w().Model().index(4, 0).data().toString(), QStringLiteral("Size"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ListCommandsTest, ContextMenuOnAnyButtonButTheLeftWithAFilledList) {
    QWidget *vp = lv()->viewport();
    QTest::mouseRelease(vp, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(menu()->isVisible()) << "no menu over an empty list";
    fill();
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(menu()->isVisible());
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseRelease(vp, b, Qt::NoModifier, QPoint(5, 5));
        EXPECT_TRUE(WaitFor([&] { return menu()->isVisible(); })) << b;
        menu()->hide();
    }
    // Cancel only closes the menu.
    w().ShowListMenu(QPoint(10, 10));
    ASSERT_TRUE(menu()->isVisible());
    menu()->findChild<QAction *>(QStringLiteral("mnuCancel"))->trigger();
    menu()->hide();
    EXPECT_EQ(w().Results().Count(), 5u);
}

TEST_F(ListCommandsTest, RemovalTakesEverySelectedRowAndSaveFollowsTheCount) {
    fill();
    select({});
    menu()->findChild<QAction *>(QStringLiteral("mnuRemove"))->trigger();
    EXPECT_EQ(w().Results().Count(), 5u) << "nothing selected: nothing removed";
    EXPECT_TRUE(save()->isEnabled());

    select({0, 2, 3}); // a, c and d: non-adjacent and adjacent together
    menu()->findChild<QAction *>(QStringLiteral("mnuRemove"))->trigger();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("b.txt"), QStringLiteral("e.txt")}));
    EXPECT_TRUE(save()->isEnabled());

    select({0, 1});
    lv()->setFocus();
    QTest::keyClick(lv(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(w().Results().Count(), 0u);
    EXPECT_FALSE(save()->isEnabled());
    QTest::keyClick(lv(), Qt::Key_Delete);
    EXPECT_FALSE(save()->isEnabled());
}

TEST_F(ListCommandsTest, SortedSelectionSurvivesAndRemovalFollowsIt) {
    fill();
    select({1});         // b
    w().SortByColumn(2); // descending: e d c b a
    w().RemoveSelectedRows();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("e.txt"), QStringLiteral("d.txt"),
                                    QStringLiteral("c.txt"), QStringLiteral("a.txt")}));
}

TEST_F(ListCommandsTest, ReportFollowsTheDisplayedOrderWithoutRemovedRows) {
    fill();
    w().SortByColumn(2); // e d c b a
    select({1});         // d
    w().RemoveSelectedRows();
    const std::string path = tree.path("out/report.txt");
    tree.dir("out");
    WriteFile(path, std::string(10000, 'x')); // a longer old file is replaced whole
    prompts.fake.saveAnswers = {QString::fromStdString(path)};
    QTest::mouseClick(save(), Qt::LeftButton);
    ASSERT_EQ(prompts.fake.saveTitles.size(), 1u);
    EXPECT_EQ(prompts.fake.saveTitles[0], QStringLiteral("Save Results As..."));
    EXPECT_EQ(prompts.fake.saveInitialNames[0], QStringLiteral("dw.txt"));
    EXPECT_EQ(prompts.fake.saveFilters[0], QStringLiteral("Text File (*.txt)"));
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_EQ(prompts.fake.messages[0].title, QStringLiteral("Complete"));
    EXPECT_EQ(prompts.fake.messages[0].text, QStringLiteral("File save complete"));
    EXPECT_EQ(prompts.fake.messages[0].icon, Prompts::Icon::Information);

    std::string expected;
    for (std::size_t i = 0; i < w().Results().Count(); ++i)
        AppendReportLine(expected, w().Results(), i);
    const std::string written = ReadFile(path);
    EXPECT_EQ(written, expected);
    const QStringList lines = QString::fromStdString(written).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5) << "four lines and the end after the last";
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Match\t")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\te.txt\t")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Not Found\t")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\t\t"))) << "empty compare size";
    EXPECT_EQ(lines[0].count(QLatin1Char('\t')), 5);
}

TEST_F(ListCommandsTest, CancelledSaveWritesNothing) {
    fill();
    w().SaveList();
    EXPECT_EQ(prompts.fake.saveTitles.size(), 1u);
    EXPECT_TRUE(prompts.fake.messages.empty());
}

TEST_F(ListCommandsTest, FailedSaveShowsCannotSaveFile) {
    fill();
    prompts.fake.saveAnswers = {QString::fromStdString(tree.path("no/such/dir/r.txt"))};
    w().SaveList();
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_EQ(prompts.fake.messages[0].title, QStringLiteral("Cannot Save File"));
    EXPECT_EQ(prompts.fake.messages[0].icon, Prompts::Icon::Critical);
    EXPECT_FALSE(prompts.fake.messages[0].text.isEmpty()) << "the error's description";

    // A write that fails after the open (a full device) is reported, never "complete".
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        prompts.fake.saveAnswers = {QStringLiteral("/dev/full")};
        w().SaveList();
        ASSERT_EQ(prompts.fake.messages.size(), 2u);
        EXPECT_EQ(prompts.fake.messages[1].title, QStringLiteral("Cannot Save File"));
    }
}

TEST_F(ListCommandsTest, EmptyListCommandsDoNothing) {
    w().ShowRowProperties();
    w().RemoveSelectedRows();
    w().SortByColumn(3);
    EXPECT_FALSE(w().SortDescending());
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(prompts.fake.messages.empty());
}

TEST_F(ListCommandsTest, DoubleClickShowsTheRowsOwnFiles) {
    fill();
    auto dialogs = [] {
        std::vector<FilePropertiesDialog *> found;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<FilePropertiesDialog *>(top); d && d->isVisible())
                found.push_back(d);
        return found;
    };
    // Row 0 is a.txt, which differs in size: both files exist.
    const QRect cell = lv()->visualRect(w().Model().index(0, 2));
    QTest::mouseDClick(lv()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    // No file manager answers here, so Dirwise's own window shows the files.
    ASSERT_TRUE(WaitFor([&] { return !dialogs().empty(); }, 8000));
    FilePropertiesDialog *d = dialogs().front();
    ASSERT_EQ(d->fileCount(), 2);
    EXPECT_EQ(d->fieldText(0, FilePropertiesDialog::Field::Path),
              QString::fromStdString(tree.path("m/a.txt")));
    EXPECT_EQ(d->fieldText(1, FilePropertiesDialog::Field::Path),
              QString::fromStdString(tree.path("c/a.txt")));
    EXPECT_EQ(dialogs().size(), 1u) << "one double-click, one window";
    for (FilePropertiesDialog *open : dialogs())
        delete open;

    // A Not Found row has only its master file.
    const int notFound = static_cast<int>(
        w().Model()
            .match(w().Model().index(0, 0), Qt::DisplayRole, QStringLiteral("Not Found"))
            .value(0)
            .row());
    lv()->setCurrentIndex(w().Model().index(notFound, 0));
    w().ShowRowProperties();
    ASSERT_TRUE(WaitFor([&] { return !dialogs().empty(); }, 8000));
    EXPECT_EQ(dialogs().front()->fileCount(), 1);
    EXPECT_EQ(dialogs().front()->fieldText(0, FilePropertiesDialog::Field::Path),
              QString::fromStdString(tree.path("m/c.txt")));
    delete dialogs().front();
}
