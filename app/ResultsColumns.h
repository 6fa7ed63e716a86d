#pragma once

#include <QStyledItemDelegate>

class QTreeView;

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

// Sizes the results list's columns for their headers and typical content at the view's
// current font: the texts the results list makes for a few typical rows (a result with its
// picture, a folder path, a file name, sizes, dates and a difference, in the user's
// locale). The last column also stretches to fill the view. Call again when the font or the
// style changes.
void fitResultColumns(QTreeView *view);

} // namespace dirwise
