// The main window's layout: whole captions and no overlaps under every installed style and
// at a large font, the design size, growth with the font, what a wider window gives to
// whom, and the results list's columns.
#include "AppTestSupport.h"
#include "ResultsColumns.h"
#include "WindowSettings.h"

#include <optional>

using namespace dirwise;
using namespace dirwise::test;

namespace {

// One look of the window: a style and a font size.
struct Look {
    std::string name; // the test name's suffix
    QString style;
    qreal pointSize = 0; // 0: the default font
};

// Test listings show a look by its name.
void PrintTo(const Look &look, std::ostream *os) { *os << look.name; }

std::vector<Look> installedLooks() {
    std::vector<Look> looks;
    for (const QString &style : QStyleFactory::keys()) {
        QString plain = style;
        plain.remove(QRegularExpression("[^A-Za-z0-9]"));
        looks.push_back({.name = plain.toStdString() + "_DefaultFont", .style = style});
        looks.push_back({.name = plain.toStdString() + "_14pt", .style = style, .pointSize = 14});
    }
    return looks;
}

// Sets the application's style and font, and puts them back when it goes.
class LookScope {
public:
    explicit LookScope(const Look &look)
        : m_style(QApplication::style()->name()), m_font(QApplication::font()) {
        QApplication::setStyle(look.style);
        if (look.pointSize > 0) {
            QFont font = m_font;
            font.setPointSizeF(look.pointSize);
            QApplication::setFont(font);
        }
    }
    ~LookScope() {
        QApplication::setFont(m_font);
        QApplication::setStyle(m_style);
    }
    LookScope(const LookScope &) = delete;
    LookScope &operator=(const LookScope &) = delete;

private:
    QString m_style;
    QFont m_font;
};

// The controls a person sees in the client area, the command panel's buttons included.
const char *const kControls[] = {
    "lblDw0",     "chkSave",       "imgMaster",     "txtMasterDir", "cmdMasterDir", "lblDw1",
    "imgCompare", "txtCompareDir", "cmdCompareDir", "chkSubDir",    "chkSize",      "chkDate",
    "chkHide",    "optEX",         "optIN",         "txtEXT0",      "txtEXT1",      "txtEXT2",
    "txtEXT3",    "lvDw",          "cmdSave",       "cmdAbout",     "cmdHelp",      "cmdBegin"};

class WindowLayout : public WindowFixture {
protected:
    void TearDown() override {
        tester.reset();
        w.reset();
        look.reset();
        WindowFixture::TearDown();
    }
    // Opens a shown window in `l`.
    void openIn(const Look &l) {
        tester.reset();
        w.reset();
        look.reset();
        look.emplace(l);
        open();
    }
    // A control's rectangle in the window's coordinates.
    QRect place(const char *name) {
        QWidget *c = child(name);
        return {c->mapTo(w.get(), QPoint(0, 0)), c->size()};
    }
    // Resizes the shown window and waits until its layout has followed.
    void resizeBy(int dx, int dy) {
        const QSize target = w->size() + QSize(dx, dy);
        w->resize(target);
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->size() == target; }));
        QCoreApplication::sendPostedEvents();
    }
    std::optional<LookScope> look;
};

class EveryLook : public WindowLayout, public ::testing::WithParamInterface<Look> {
protected:
    void SetUp() override {
        WindowLayout::SetUp();
        openIn(GetParam());
    }
};

} // namespace

TEST_P(EveryLook, NoCaptionIsClipped) {
    QList<QWidget *> captioned;
    for (QLabel *l : w->findChildren<QLabel *>())
        if (!l->text().isEmpty())
            captioned << l;
    for (QAbstractButton *b : w->findChildren<QAbstractButton *>())
        captioned << b;
    ASSERT_GE(captioned.size(), 17); // three captions and fourteen buttons
    for (QWidget *c : captioned) {
        if (!c->isVisibleTo(w.get()))
            continue;
        EXPECT_GE(c->width(), c->sizeHint().width()) << c->objectName().toStdString();
        EXPECT_GE(c->height(), c->sizeHint().height()) << c->objectName().toStdString();
    }
}

TEST_P(EveryLook, ControlsDoNotOverlap) {
    for (std::size_t i = 0; i < std::size(kControls); ++i)
        for (std::size_t j = i + 1; j < std::size(kControls); ++j)
            EXPECT_FALSE(place(kControls[i]).intersects(place(kControls[j])))
                << kControls[i] << " and " << kControls[j];
}

TEST_P(EveryLook, ControlsStayInsideTheClientArea) {
    const QRect client(w->centralWidget()->mapTo(w.get(), QPoint(0, 0)),
                       w->centralWidget()->size());
    for (const char *name : kControls)
        EXPECT_TRUE(client.contains(place(name))) << name;
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryLook, ::testing::ValuesIn(installedLooks()),
                         [](const ::testing::TestParamInfo<Look> &row) { return row.param.name; });

TEST_F(WindowLayout, OpensAtTheDesignSizeOrTheLayoutsMinimum) {
    openIn({.name = "default", .style = QApplication::style()->name()});
    const int dpi = w->logicalDpiX();
    const QSize minimum = w->centralWidget()->minimumSizeHint();
    const QSize design(twipsToPixels(8295, dpi), twipsToPixels(6030, dpi));
    EXPECT_EQ(w->centralWidget()->size(), design.expandedTo(minimum));
}

TEST_F(WindowLayout, ALargerFontMakesALargerWindow) {
    const QString style = QApplication::style()->name();
    openIn({.name = "default", .style = style});
    const QSize small = w->minimumSize();
    openIn({.name = "14pt", .style = style, .pointSize = 14});
    EXPECT_GT(w->minimumSize().width(), small.width());
    EXPECT_GT(w->minimumSize().height(), small.height());
    EXPECT_GE(w->width(), w->minimumSize().width());
    EXPECT_GE(w->height(), w->minimumSize().height());
}

TEST_F(WindowLayout, ExtraRoomGoesToTheListAndTheBoxesWhileButtonsKeepToTheBottomRight) {
    openIn({.name = "default", .style = QApplication::style()->name()});
    const int dx = 150, dy = 90;
    const struct {
        const char *name;
        int moveX, moveY; // 1: moves by the extra width or height
        int growX, growY; // 1: grows by it
    } rows[] = {
        {.name = "lvDw", .moveX = 0, .moveY = 0, .growX = 1, .growY = 1},
        {.name = "txtMasterDir", .moveX = 0, .moveY = 0, .growX = 1, .growY = 0},
        {.name = "txtCompareDir", .moveX = 0, .moveY = 0, .growX = 1, .growY = 0},
        {.name = "cmdMasterDir", .moveX = 1, .moveY = 0, .growX = 0, .growY = 0},
        {.name = "cmdCompareDir", .moveX = 1, .moveY = 0, .growX = 0, .growY = 0},
        {.name = "chkSave", .moveX = 1, .moveY = 0, .growX = 0, .growY = 0},
        {.name = "picCommand", .moveX = 0, .moveY = 1, .growX = 1, .growY = 0},
        {.name = "cmdSave", .moveX = 1, .moveY = 1, .growX = 0, .growY = 0},
        {.name = "cmdAbout", .moveX = 1, .moveY = 1, .growX = 0, .growY = 0},
        {.name = "cmdHelp", .moveX = 1, .moveY = 1, .growX = 0, .growY = 0},
        {.name = "cmdBegin", .moveX = 1, .moveY = 1, .growX = 0, .growY = 0},
        {.name = "txtEXT0", .moveX = 0, .moveY = 0, .growX = 0, .growY = 0},
        {.name = "optIN", .moveX = 0, .moveY = 0, .growX = 0, .growY = 0},
        {.name = "lblDw1", .moveX = 0, .moveY = 0, .growX = 0, .growY = 0},
    };
    std::vector<QRect> before;
    for (const auto &row : rows)
        before.push_back(place(row.name));
    resizeBy(dx, dy);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto &row = rows[i];
        const QRect after = place(row.name);
        EXPECT_EQ(after.x(), before[i].x() + dx * row.moveX) << row.name;
        EXPECT_EQ(after.y(), before[i].y() + dy * row.moveY) << row.name;
        EXPECT_EQ(after.width(), before[i].width() + dx * row.growX) << row.name;
        EXPECT_EQ(after.height(), before[i].height() + dy * row.growY) << row.name;
    }
}

TEST_F(WindowLayout, StopTakesBeginsPlace) {
    openIn({.name = "default", .style = QApplication::style()->name()});
    const QRect begin = place("cmdBegin");
    child("cmdBegin")->hide();
    child("cmdStop")->show();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(place("cmdStop"), begin);
}

namespace {

class ResultColumns : public WindowLayout {
protected:
    void SetUp() override {
        WindowLayout::SetUp();
        openIn({.name = "default", .style = QApplication::style()->name()});
        ResultsList &list = w->results();
        list.SetRoots("/master", m_compareRoot);
        const std::uint32_t dir = list.InternDirectory("/one/two/three/four/");
        for (Result r : {Result::SizeAndDate, Result::NotFound})
            list.Append(ResultRow{.name = "a-file-name.txt",
                                  .masterSize = 123456789,
                                  .masterTime = 1735426738,
                                  .compareSize = 987654321,
                                  .compareTime = 1735426739,
                                  .dir = dir,
                                  .result = r});
        w->model().sync();
        QCoreApplication::sendPostedEvents();
    }
    QTreeView *lv() { return child<QTreeView>("lvDw"); }
    const std::string m_compareRoot = "/a/rather/long/compare/root/that/needs/room";
};

} // namespace

TEST_F(ResultColumns, EveryHeaderFitsItsColumn) {
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_GE(lv()->columnWidth(c), lv()->header()->sectionSizeHint(c)) << c;
}

TEST_F(ResultColumns, ResultsSizesAndDatesFitTheirColumns) {
    // The view's own measure of the rows' cells (public on the base class).
    const QAbstractItemView *view = lv();
    for (Column c : {Column::Result, Column::MasterSize, Column::CompareSize, Column::MasterDate,
                     Column::CompareDate}) {
        const int i = static_cast<int>(c);
        EXPECT_GE(lv()->columnWidth(i), view->sizeHintForColumn(i)) << ColumnHeader(c);
    }
}

TEST_F(ResultColumns, TheLastColumnStretches) {
    const int last = ColumnCount - 1;
    for (int c = 0; c <= last; ++c) // room for the last column to fill
        lv()->setColumnWidth(c, 20);
    QHeaderView *header = lv()->header();
    EXPECT_EQ(header->sectionPosition(last) + header->sectionSize(last), lv()->viewport()->width());
    const int before = lv()->columnWidth(last);
    resizeBy(300, 0);
    EXPECT_EQ(lv()->columnWidth(last), before + 300);
}

TEST_F(ResultColumns, ComparePathIsElidedInTheMiddle) {
    const QModelIndex cell = w->model().index(0, static_cast<int>(Column::ComparePath));
    auto *delegate = qobject_cast<MiddleElideDelegate *>(lv()->itemDelegateForIndex(cell));
    ASSERT_NE(delegate, nullptr);
    QStyleOptionViewItem option;
    option.textElideMode = Qt::ElideRight; // as the view hands it over
    delegate->initStyleOption(&option, cell);
    EXPECT_EQ(option.textElideMode, Qt::ElideMiddle);
    EXPECT_TRUE(option.text.startsWith(QString::fromStdString(m_compareRoot)));
}

TEST_F(ResultColumns, OtherColumnsAreElidedAtTheRight) {
    const QModelIndex cell = w->model().index(0, static_cast<int>(Column::FileName));
    EXPECT_EQ(qobject_cast<MiddleElideDelegate *>(lv()->itemDelegateForIndex(cell)), nullptr);
    EXPECT_EQ(lv()->textElideMode(), Qt::ElideRight);
}

TEST_F(ResultColumns, AComparePathCellsToolTipHoldsTheWholePath) {
    const QModelIndex cell = w->model().index(0, static_cast<int>(Column::ComparePath));
    EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(),
              QString::fromStdString(m_compareRoot + "/one/two/three/four/"));
}
