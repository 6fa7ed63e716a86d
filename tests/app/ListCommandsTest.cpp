// The results list's commands: sorting, the context menu, removal, properties, Save List.
#include "AppTestSupport.h"
#include "FilePropertiesDialog.h"
#include "Report.h"
#include "ResultsModel.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class ListCommandsTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        // Five files: b, d and e match; a differs in size; c is missing.
        for (const char *n : {"a", "b", "c", "d", "e"})
            tree.file(std::string("m/") + n + ".txt", 100);
        for (const char *n : {"b", "d", "e"})
            tree.file(std::string("c/") + n + ".txt", 100);
        tree.file("c/a.txt", 7);
        open();
        setDirs();
    }
    QTreeView *lv() { return child<QTreeView>("lvDw"); }
    QMenu *menu() { return child<QMenu>("mnuPopupMenu"); }
    void fill() {
        w->RunCompare();
        prompts.messages.clear();
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
    static QStringList txt(const char *texts) {
        return QString::fromLatin1(texts).split(QLatin1Char(','));
    }
};

} // namespace

TEST_F(ListCommandsTest, HeaderClicksAlternateAcrossColumnsAndRuns) {
    clickHeader(2);
    EXPECT_FALSE(w->SortDescending()) << "an empty list ignores the click";
    fill();
    clickHeader(2);
    EXPECT_TRUE(w->SortDescending()) << "the first click sorts descending";
    EXPECT_EQ(column(2), txt("e.txt,d.txt,c.txt,b.txt,a.txt"));
    clickHeader(0);
    EXPECT_FALSE(w->SortDescending()) << "another column goes on alternating";
    EXPECT_EQ(column(0), txt("Match,Match,Match,Not Found,Size"));
    clickHeader(2);
    tree.file("m/f.txt", 1);
    w->RunCompare(); // a sorted list is sorted again by the remembered key and order
    EXPECT_EQ(column(2), txt("f.txt,e.txt,d.txt,c.txt,b.txt,a.txt"));
    clickHeader(1);
    EXPECT_FALSE(w->SortDescending()) << "the alternation goes on across runs";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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
    QAction *remove = menu()->findChild<QAction *>(QStringLiteral("mnuRemove"));
    select({0, 2, 3}); // a, c and d: non-adjacent and adjacent together
    remove->trigger();
    EXPECT_EQ(column(2), txt("b.txt,e.txt"));
    EXPECT_TRUE(child("cmdSave")->isEnabled());
    select({});
    remove->trigger();
    EXPECT_EQ(w->Results().Count(), 2u) << "nothing selected: nothing removed";
    select({0, 1});
    lv()->setFocus();
    QTest::keyClick(lv(), Qt::Key_Delete);
    EXPECT_EQ(w->Results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled());
}

TEST_F(ListCommandsTest, ReportFollowsTheSortAndTheRemovals) {
    fill();
    select({1});        // b, still selected after the sort
    w->SortByColumn(2); // descending: e d c b a
    w->RemoveSelectedRows();
    EXPECT_EQ(column(2), txt("e.txt,d.txt,c.txt,a.txt"));
    tree.dir("out");
    const std::string path = tree.path("out/report.txt");
    WriteFile(path, std::string(10000, 'x')); // a longer old file is replaced whole
    prompts.answers = {QString::fromStdString(path)};
    QTest::mouseClick(child("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(prompts.asked,
              QStringList{QStringLiteral("Save Results As...|dw.txt|Text File (*.txt)")});
    EXPECT_EQ(said(), QStringList{QStringLiteral("i Complete: File save complete")});
    std::string expected; // the core's report lines of the rows as displayed
    for (std::size_t i = 0; i < 4; ++i)
        AppendReportLine(expected, w->Results(), i);
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(ListCommandsTest, CancelledAndFailingSaves) {
    fill();
    w->SaveList(); // cancelled: no message, nothing written
    EXPECT_TRUE(prompts.messages.empty());
    // A file that cannot be opened, and a write that fails after the open (a full device).
    prompts.answers = {QString::fromStdString(tree.path("no/such/dir/r.txt")),
                       QStringLiteral("/dev/full")};
    const bool full = QFile::exists(QStringLiteral("/dev/full"));
    for (int i = 0; i < 1 + full; ++i)
        w->SaveList();
    ASSERT_EQ(said().size(), 1 + full);
    for (const QString &message : said()) // with the error's description
        EXPECT_TRUE(message.startsWith(QStringLiteral("x Cannot Save File: ")) &&
                    message.size() > 20)
            << message.toStdString();
}

TEST_F(ListCommandsTest, PropertiesShowTheRowsOwnFiles) {
    fill();
    auto dialog = [] {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<FilePropertiesDialog *>(top); d && d->isVisible())
                return d;
        return static_cast<FilePropertiesDialog *>(nullptr);
    };
    auto paths = [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog() != nullptr; }, 8000));
        QStringList out;
        std::unique_ptr<FilePropertiesDialog> d(dialog());
        for (int i = 0; d && i < d->fileCount(); ++i)
            out << d->fieldText(i, FilePropertiesDialog::Field::Path);
        return out;
    };
    // Row 0 is a.txt, which differs in size: both files exist. No file manager answers
    // here, so Dirwise's own window shows them.
    const QRect cell = lv()->visualRect(w->Model().index(0, 2));
    QTest::mouseDClick(lv()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(paths(), (QStringList{QString::fromStdString(tree.path("m/a.txt")),
                                    QString::fromStdString(tree.path("c/a.txt"))}));
    lv()->setCurrentIndex(w->Model().index(column(0).indexOf(QStringLiteral("Not Found")), 0));
    w->ShowRowProperties(); // a Not Found row has only its master file
    EXPECT_EQ(paths(), QStringList{QString::fromStdString(tree.path("m/c.txt"))});
}
