#pragma once

#include <QStyledItemDelegate>
#include <QTableView>

#include <vector>

namespace dirwise {

// Draws a cell with its text elided in the middle ("/data/comp…/sub/b/"), so the part of a
// long path that tells rows apart (its end) stays in sight. The results list uses it for
// the Compare Path and File Name columns; the model's tool tip holds the whole text.
class MiddleElideDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The base class's options for `index`, with the elide mode Qt::ElideMiddle whatever
    // the view's own mode is. Public so that callers can see what a cell is drawn with.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// The results list's view: a flat table that keeps nothing per row (a million rows cost the
// view no memory), one row a line at a height that follows the font, rows selected whole,
// no grid and no row numbers. The keys move as in a list: Home and End go to the first and
// last row, Left and Right scroll sideways, Tab leaves the view.
//
// The columns fit the view's width: each has a natural width (what its header and its
// usual texts need) and, when it may give way, a least width. With room to spare the spare
// column takes it; short of room, the spare column gives way first, then the others that may
// narrow in proportion to what each can give (their texts then elided), so the horizontal
// scroll bar comes only when even their least widths do not fit. A column the user drags
// keeps the width given to it.
class ResultsView final : public QTableView {
    Q_OBJECT
public:
    explicit ResultsView(QWidget *parent = nullptr);

    // Sets every row's height for the current font and icon size. Call again when either
    // changes.
    void fitRowHeight();
    // Sets the widths of `column` (as above): `least` is clamped to [1, natural]; equal to
    // `natural` the column never gives way. Fits the columns again. Ignored for a column the
    // model does not have.
    void setColumnWidths(int column, int natural, int least);
    // The column that takes the width the others leave (-1: none). Fits the columns again.
    void setSpareColumn(int column);
    // The width the shown columns take at their natural widths: what the viewport needs to
    // show every column whole without the spare column's extra.
    [[nodiscard]] int naturalColumnsWidth() const;
    // Whether the user has dragged `column` to a width of its own since setColumnWidths last
    // set it.
    [[nodiscard]] bool isColumnDragged(int column) const;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitColumns();

    std::vector<int> m_natural;  // per column
    std::vector<int> m_least;    // per column, never above its natural width
    std::vector<bool> m_dragged; // per column
    int m_spare = -1;
    bool m_fitting = false;
};

// Sizes the results list's columns for their headers and typical content at the view's
// current font: the texts the results list makes for a few typical rows (a result with its
// picture, a folder path, a file name, sizes, dates and a difference, in the user's
// locale). Compare Path takes the width the others leave; it, the file name and the
// difference give way when the view is too narrow for every column, never below their
// header's width (their texts elided, whole in the tool tip); results, sizes and dates give
// up only the air after their texts and always show whole. Call again when the font or the
// style changes.
void fitResultColumns(ResultsView *view);

// Widens the natural width of the path, the file name and the difference to the longest of
// their texts among the rows the view shows (about a thousand, spread over the list, stand
// for them all), each to a third of the viewport at the most; never below what
// fitResultColumns gives, and a column the user dragged keeps its width. Call when a run has
// filled the list.
void fitResultColumnsToRows(ResultsView *view);

} // namespace dirwise
