#include "ResultsColumns.h"

#include "CellText.h"
#include "ResultsList.h"

#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace dirwise {

namespace {

// The width a column of `view` needs at its current font and style for its header (with
// room for the sort arrow) and for each of `samples` as a cell text, plus a little air;
// `withIcon` counts the view's icon in the cell.
int columnWidthFor(const QTreeView *view, int column, const QStringList &samples, bool withIcon) {
    QHeaderView *header = view->header();
    // Measured with the sort arrow shown, so a sorted column's caption is never cut.
    const bool arrow = header->isSortIndicatorShown();
    header->setSortIndicatorShown(true);
    int width = header->sectionSizeHint(column);
    header->setSortIndicatorShown(arrow);

    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.widget = view;
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    option.features = QStyleOptionViewItem::HasDisplay;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = Qt::ElideNone;
    if (withIcon) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = view->iconSize();
        option.decorationPosition = QStyleOptionViewItem::Left;
    }
    for (const QString &sample : samples) {
        option.text = sample;
        const QSize cell =
            view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view);
        width = std::max(width, cell.width());
    }
    // A little air between one column's text and the next.
    return std::max(1, width + view->fontMetrics().averageCharWidth());
}

} // namespace

void MiddleElideDelegate::initStyleOption(QStyleOptionViewItem *option,
                                          const QModelIndex &index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
}

void fitResultColumns(QTreeView *view) {
    // Typical rows, whose texts the list itself makes (sizes, dates and differences in the
    // user's locale), with a time of day with two-digit fields. The Difference column is
    // sized for a plain size difference and a missing file; the longest of its texts (two
    // differences at once) may be cut, and shows whole in its tool tip.
    ResultsList sample;
    sample.SetRoots("/home/user/master", "/home/user/compare");
    const std::uint32_t dir = sample.InternDirectory("/folder/");
    const std::int64_t time = 1735426738;
    const ResultRow differing{.name = "a-typical-file-name.txt",
                              .masterSize = 123456789,
                              .masterTime = time,
                              .compareSize = 123457912,
                              .compareTime = time + 7200,
                              .dir = dir,
                              .result = Result::SizeAndDate};
    sample.Append(differing);
    ResultRow sized = differing;
    sized.compareTime = time;
    sized.result = Result::Size;
    sample.Append(sized);
    sample.Append(ResultRow{.name = "x", .dir = dir, .result = Result::NotFound});
    QHeaderView *header = view->header();
    for (int c = 0; c < ColumnCount && c < header->count(); ++c) {
        const auto column = static_cast<Column>(c);
        QStringList texts;
        for (std::size_t row = column == Column::Difference ? 1 : 0; row < sample.Count(); ++row)
            texts << cellText(sample, row, column);
        header->resizeSection(c, columnWidthFor(view, c, texts, column == Column::Result));
    }
    header->setStretchLastSection(true);
}

} // namespace dirwise
