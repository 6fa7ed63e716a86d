// The main window's layout: whole captions and no overlaps under every installed style and
// at a large font, the first opening's size on a 1600×1200 screen, ten rows in the list at
// every font, what a wider window gives to whom, and the results list's columns.
#include "AppTestSupport.h"
#include "LookCheck.h"
#include "ResultsColumns.h"
#include "WindowSettings.h"

#include <set>

using namespace dirwise;
using namespace dirwise::test;

namespace {

// The controls a person sees in the client area, the command panel's buttons included.
const QStringList kControls = {
    "lblDw0",     "chkSave",       "imgMaster",     "txtMasterDir", "cmdMasterDir", "lblDw1",
    "imgCompare", "txtCompareDir", "cmdCompareDir", "chkSubDir",    "chkSize",      "chkDate",
    "chkHide",    "optEX",         "optIN",         "txtEXT0",      "txtEXT1",      "txtEXT2",
    "txtEXT3",    "lvDw",          "cmdSave",       "cmdAbout",     "cmdHelp",      "cmdBegin"};

// What keeps the list from showing every column whole in its width: the columns needing
// the scroll bar sideways (unless `scrolls`), a header cut, or a result, size or date cut
// (the view's own measure of the rows it holds).
QStringList ColumnFaults(QTableView *lv, bool scrolls = false) {
    QStringList faults;
    QHeaderView *header = lv->horizontalHeader();
    int sum = 0;
    for (int c = 0; c < header->count(); ++c) {
        sum += header->sectionSize(c);
        if (header->sectionSize(c) < header->sectionSizeHint(c))
            faults << QString::fromLatin1(ColumnHeader(static_cast<Column>(c))) + " header cut";
    }
    if (sum > lv->viewport()->width() && !scrolls)
        faults << QStringLiteral("columns %1 wide in %2").arg(sum).arg(lv->viewport()->width());
    const QAbstractItemView *view = lv;
    for (Column c : {Column::Result, Column::MasterSize, Column::CompareSize, Column::MasterDate,
                     Column::CompareDate})
        if (lv->columnWidth(static_cast<int>(c)) < view->sizeHintForColumn(static_cast<int>(c)))
            faults << QString::fromLatin1(ColumnHeader(c)) + " cut";
    return faults;
}

class WindowLayout : public WindowFixture {
protected:
    void TearDown() override {
        tester.reset();
        w.reset(); // made in a look, it goes before that look
        UseLook();
        WindowFixture::TearDown();
    }
    // A control's rectangle in the window's coordinates.
    QRect place(const char *name) {
        QWidget *c = child(name);
        return {c->mapTo(w.get(), QPoint(0, 0)), c->size()};
    }
    // Opens the window with two rows of long values under a long compare root.
    QTableView *openWithLongRows() {
        open();
        ResultsList &list = w->results();
        list.SetRoots("/master", compareRoot);
        const std::uint32_t dir = list.InternDirectory("/one/two/three/four/");
        for (Result r : {Result::SizeAndDate, Result::NotFound})
            list.Append({"a-file-name.txt", 123456789, 1735426738, 987654321, 1735426739, 0, dir, r,
                         Detail::None});
        w->model().sync();
        QCoreApplication::sendPostedEvents();
        return child<QTableView>("lvDw");
    }
    const std::string compareRoot = "/a/rather/long/compare/root/that/needs/room";
    // Resizes the shown window and waits until its layout has followed.
    void resizeBy(int dx, int dy) {
        const QSize target = w->size() + QSize(dx, dy);
        w->resize(target);
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->size() == target; }));
        QCoreApplication::sendPostedEvents();
    }
};

} // namespace

TEST_F(WindowLayout, EveryLookFitsWholeCaptionsToItsFont) {
    QSize small; // the minimum size of the style at the default font
    for (const Look &look : InstalledLooks()) {
        tester.reset();
        w.reset();
        UseLook(look);
        open();
        const QWidget *client = w->centralWidget();
        const QRect area(client->mapTo(w.get(), QPoint(0, 0)), client->size());
        // Three captions and fourteen buttons.
        EXPECT_EQ(LayoutFaults(w.get(), area, kControls, 17), QStringList()) << look.name();
        if (look.pointSize == 0) {
            small = w->minimumSize();
            continue;
        }
        EXPECT_GT(w->minimumSize().width(), small.width()) << look.name();
        EXPECT_GT(w->minimumSize().height(), small.height()) << look.name();
        EXPECT_EQ(w->size().expandedTo(w->minimumSize()), w->size()) << look.name();
    }
}

TEST_F(WindowLayout, ListShowsTenRowsAtEveryFont) {
    for (const Look &look : InstalledLooks()) {
        tester.reset();
        w.reset();
        UseLook(look);
        open();
        ResultsList &list = w->results();
        const std::uint32_t dir = list.InternDirectory("/");
        for (int i = 0; i < 30; ++i)
            list.Append({"f" + std::to_string(i), i, 0, i, 0, 0, dir, Result::Match, Detail::None});
        w->model().sync();
        QCoreApplication::sendPostedEvents();
        QTableView *lv = child<QTableView>("lvDw");
        const QRect tenth = lv->visualRect(w->model().index(9, 0));
        EXPECT_TRUE(lv->viewport()->rect().contains(tenth))
            << look.name() << " row 10 at " << tenth.y() << " in " << lv->viewport()->height();
        EXPECT_GE(tenth.height(), lv->fontMetrics().height()) << look.name() << ": rows cut";
    }
}

TEST_F(WindowLayout, ExtraRoomGoesToTheListWithTheBoxes) {
    open();
    const int dx = 150, dy = 90;
    // A control; 1 where it moves right, moves down, widens, heightens by the extra room.
    // The buttons keep to the bottom right.
    const struct {
        const char *name;
        int moveX, moveY, growX, growY;
    } rows[] = {
        {"lvDw", 0, 0, 1, 1},         {"txtMasterDir", 0, 0, 1, 0},  {"txtCompareDir", 0, 0, 1, 0},
        {"cmdMasterDir", 1, 0, 0, 0}, {"cmdCompareDir", 1, 0, 0, 0}, {"chkSave", 1, 0, 0, 0},
        {"picCommand", 0, 1, 1, 0},   {"cmdSave", 1, 1, 0, 0},       {"cmdAbout", 1, 1, 0, 0},
        {"cmdHelp", 1, 1, 0, 0},      {"cmdBegin", 1, 1, 0, 0},      {"txtEXT0", 0, 0, 0, 0},
        {"optIN", 0, 0, 0, 0},        {"lblDw1", 0, 0, 0, 0},
    };
    std::vector<QRect> before;
    for (const auto &row : rows)
        before.push_back(place(row.name));
    resizeBy(dx, dy);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto &row = rows[i];
        const QRect moved = before[i].translated(dx * row.moveX, dy * row.moveY);
        EXPECT_EQ(place(row.name), moved.adjusted(0, 0, dx * row.growX, dy * row.growY))
            << row.name;
    }
}

TEST_F(WindowLayout, StopShowsInBeginsPlace) {
    open();
    const QRect begin = place("cmdBegin");
    child("cmdBegin")->hide();
    child("cmdStop")->show();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(place("cmdStop"), begin);
}

TEST_F(WindowLayout, LongTextsAreElidedInTheMiddle) {
    QTableView *lv = openWithLongRows();
    const std::pair<Column, QString> cells[] = {
        {Column::ComparePath, QString::fromStdString(compareRoot + "/one/two/three/four/")},
        {Column::FileName, "a-file-name.txt"}};
    for (const auto &[column, whole] : cells) {
        const QModelIndex cell = w->model().index(0, static_cast<int>(column));
        auto *delegate = qobject_cast<MiddleElideDelegate *>(lv->itemDelegateForIndex(cell));
        ASSERT_NE(delegate, nullptr) << ColumnHeader(column);
        QStyleOptionViewItem option;
        option.textElideMode = Qt::ElideRight; // as the view hands it over
        delegate->initStyleOption(&option, cell);
        EXPECT_EQ(option.textElideMode, Qt::ElideMiddle) << ColumnHeader(column);
        EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), whole) << "the whole text in the tip";
    }
}

// Short of room, the path gives way first, then the name and the difference; results,
// sizes and dates stay whole, and so does every header even when the scroll bar must come.
TEST_F(WindowLayout, ShortOfRoomColumnsGiveWayPathFirst) {
    UseLook({QApplication::style()->name(), 14});
    QTableView *lv = openWithLongRows();
    QHeaderView *header = lv->horizontalHeader();
    const int path = static_cast<int>(Column::ComparePath);
    const std::set<int> giving = {path, static_cast<int>(Column::FileName),
                                  static_cast<int>(Column::Difference)};
    const auto widths = [&] {
        std::vector<int> all;
        for (int c = 0; c < header->count(); ++c)
            all.push_back(lv->columnWidth(c));
        return all;
    };
    // Wide enough for every column; then room for the others whole and the path's header
    // (with its sort arrow); then for a little more than the headers of all three.
    resizeBy(1000, 0);
    ASSERT_EQ(ColumnFaults(lv), QStringList());
    const std::vector<int> wide = widths();
    header->setSortIndicatorShown(true);
    int pathFirst = 10, allThree = 60;
    for (int c = 0; c < header->count(); ++c) {
        pathFirst += c == path ? header->sectionSizeHint(c) : wide[c];
        allThree += giving.contains(c) ? header->sectionSizeHint(c) : wide[c];
    }
    header->setSortIndicatorShown(false);
    resizeBy(pathFirst - lv->viewport()->width(), 0);
    EXPECT_EQ(ColumnFaults(lv), QStringList());
    for (int c = 0; c < header->count(); ++c)
        if (c != path) {
            EXPECT_EQ(lv->columnWidth(c), wide[c]) << c;
        }
    resizeBy(allThree - lv->viewport()->width(), 0);
    EXPECT_EQ(ColumnFaults(lv), QStringList());
    for (int c : giving)
        EXPECT_LT(lv->columnWidth(c), wide[c]) << c;
    // At the window's least width the scroll bar may come.
    w->resize(w->minimumSize());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->size() == w->minimumSize(); }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ColumnFaults(lv, true), QStringList());
}

TEST_F(WindowLayout, ThePathColumnTakesTheSpareWidth) {
    QTableView *lv = openWithLongRows();
    // Compare Path takes what the other columns leave, so the columns end at the view's
    // right edge, and follows the window's width; it never shrinks below its header.
    const int path = static_cast<int>(Column::ComparePath);
    QHeaderView *header = lv->horizontalHeader();
    auto rightEdge = [&] {
        const int last = header->logicalIndex(header->count() - 1);
        return header->sectionPosition(last) + header->sectionSize(last);
    };
    for (int c = 0; c < ColumnCount; ++c)
        if (c != path)
            lv->setColumnWidth(c, 20);
    EXPECT_EQ(rightEdge(), lv->viewport()->width());
    const int before = lv->columnWidth(path);
    resizeBy(300, 0);
    EXPECT_EQ(lv->columnWidth(path), before + 300);
    EXPECT_EQ(rightEdge(), lv->viewport()->width());
    for (int c = 0; c < ColumnCount; ++c)
        if (c != path)
            lv->setColumnWidth(c, 1000);
    EXPECT_GE(lv->columnWidth(path), header->sectionSizeHint(path)) << "the header cut";
}

// On a 1600×1200 screen (the test run gives the offscreen platform one; see
// tests/app/CMakeLists.txt).
class WideScreen : public RunFixture {
protected:
    void SetUp() override {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        if (area.width() != 1600 || area.height() != 1200)
            GTEST_SKIP() << "needs a 1600×1200 screen (run through ctest, which gives one)";
        RunFixture::SetUp();
    }
    void TearDown() override {
        tester.reset();
        w.reset();
        UseLook();
        RunFixture::TearDown();
    }
};

TEST_F(WideScreen, FirstOpeningTakesTwoThirdsOfTheScreenCentred) {
    const QRect area = w->screen()->availableGeometry();
    const QRect frame = w->frameGeometry();
    // Each side about the square root of two thirds of the screen's, so the area is about
    // two thirds; wider only where the list's columns need it.
    EXPECT_NEAR(double(w->height()) / area.height(), 0.816, 0.02);
    EXPECT_GE(double(w->width()) / area.width(), 0.80);
    if (w->width() > area.width() * 0.84) {
        EXPECT_EQ(ColumnFaults(lv()), QStringList()) << "wider than the columns need";
    }
    EXPECT_TRUE(area.contains(frame)) << "off the screen";
    // Centred before the window manager's frame is known: off by its margins at most.
    const QSize margins = frame.size() - w->size();
    EXPECT_LE(std::abs(frame.center().x() - area.center().x()), margins.width() / 2 + 1);
    EXPECT_LE(std::abs(frame.center().y() - area.center().y()), margins.height() / 2 + 1);
}

// Every look, at the default font and at 14 pt: after a compare, every column whole without
// the scroll bar, the status bar's totals whole, the window on the screen.
TEST_F(WideScreen, NothingIsCutAtTheFirstOpening) {
    for (const Look &look : InstalledLooks()) {
        tester.reset();
        w.reset();
        UseLook(look);
        openOnTrees();
        w->beginCompare();
        QCoreApplication::processEvents(); // the status bar lays out its new texts
        ASSERT_EQ(w->model().rowCount(), 5) << look.name();
        EXPECT_EQ(ColumnFaults(lv()), QStringList()) << look.name();
        for (const char *name : {"lblStatus", "lblRows"}) {
            auto *label = child<QLabel>(name);
            EXPECT_FALSE(label->text().isEmpty()) << look.name() << " " << name;
            EXPECT_GE(label->width(), label->sizeHint().width()) << look.name() << " " << name;
        }
        EXPECT_TRUE(w->screen()->availableGeometry().contains(w->frameGeometry())) << look.name();
    }
}

// After a run the name column is as wide as the run's longest name, where the view has the
// room; a column the user dragged keeps its width.
class ColumnsAfterARun : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        for (const char *side : {"m", "c"})
            tree.file(std::string(side) + "/a-rather-long-file-name-of-a-quarterly-report.txt");
    }
    const int name = static_cast<int>(Column::FileName);
};

TEST_F(ColumnsAfterARun, TheNameColumnTakesTheLongestName) {
    w->resize(1400, w->height());
    w->beginCompare();
    const QAbstractItemView *view = lv(); // the view's own measure of the rows it holds
    EXPECT_GE(lv()->columnWidth(name), view->sizeHintForColumn(name));
    EXPECT_EQ(ColumnFaults(lv()), QStringList());
}

TEST_F(ColumnsAfterARun, ADraggedColumnKeepsItsWidth) {
    lv()->setColumnWidth(name, 77); // as the user's drag does
    w->beginCompare();
    EXPECT_EQ(lv()->columnWidth(name), 77);
}
