#pragma once

#include <QStyledItemDelegate>
#include <QTableView>

namespace dirwise {

// Draws a cell with its text elided in the middle ("/data/comp…/sub/b/"), so the part of a
// long path that tells rows apart (its end) stays in sight. The results list uses it for
// the Compare Path column; the model's tool tip holds the whole text.
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
class ResultsView final : public QTableView {
    Q_OBJECT
public:
    explicit ResultsView(QWidget *parent = nullptr);

    // Sets every row's height for the current font and icon size. Call again when either
    // changes.
    void fitRowHeight();
    // Gives `column` the width the other columns leave in the viewport, but never less than
    // `least`; from then on it follows the view's width and the other columns' widths.
    void setSpareColumn(int column, int least);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitSpareColumn();

    int m_spare = -1;
    int m_spareLeast = 0;
    bool m_fitting = false;
};

// Sizes the results list's columns for their headers and typical content at the view's
// current font: the texts the results list makes for a few typical rows (a result with its
// picture, a folder path, a file name, sizes, dates and a difference, in the user's
// locale). Compare Path takes the width the others leave (never less than its own typical
// text needs). Call again when the font or the style changes.
void fitResultColumns(ResultsView *view);

} // namespace dirwise
