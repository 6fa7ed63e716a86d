#include "ResultsColumns.h"

#include "CellText.h"
#include "ResultsList.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace dirwise {

namespace {

// The width a column of `view` needs at its current font and style for its header (with
// room for the sort arrow) and for each of `samples` as a cell text, plus a little air;
// `withIcon` counts the view's icon in the cell.
int columnWidthFor(const QTableView *view, int column, const QStringList &samples, bool withIcon) {
    QHeaderView *header = view->horizontalHeader();
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

ResultsView::ResultsView(QWidget *parent) : QTableView(parent) {
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Every row one height: a million rows are never measured one by one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int) {
        if (section != m_spare)
            fitSpareColumn();
    });
    fitRowHeight();
}

void ResultsView::fitRowHeight() {
    // What a cell needs for one line of text or the icon, with the style's margins.
    QStyleOptionViewItem option;
    option.initFrom(viewport());
    option.font = font();
    option.fontMetrics = fontMetrics();
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = iconSize();
    option.text = QStringLiteral("Xg");
    const QSize cell = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
    const int height = std::max({cell.height(), fontMetrics().height(), iconSize().height()});
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
}

void ResultsView::setSpareColumn(int column, int least) {
    m_spare = column;
    m_spareLeast = least;
    fitSpareColumn();
}

void ResultsView::fitSpareColumn() {
    QHeaderView *header = horizontalHeader();
    if (m_fitting || m_spare < 0 || m_spare >= header->count())
        return;
    int others = 0;
    for (int c = 0; c < header->count(); ++c)
        if (c != m_spare && !header->isSectionHidden(c))
            others += header->sectionSize(c);
    m_fitting = true;
    header->resizeSection(m_spare, std::max(m_spareLeast, viewport()->width() - others));
    m_fitting = false;
}

void ResultsView::resizeEvent(QResizeEvent *event) {
    QTableView::resizeEvent(event);
    fitSpareColumn();
}

QModelIndex ResultsView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex current = currentIndex();
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    const int column = current.isValid() ? current.column() : 0;
    switch (action) {
    case MoveHome:
        return rows > 0 ? model()->index(0, column, rootIndex()) : QModelIndex();
    case MoveEnd:
        return rows > 0 ? model()->index(rows - 1, column, rootIndex()) : QModelIndex();
    case MoveLeft:
    case MoveRight: {
        // A row is selected whole: sideways keys scroll, as in a list.
        QScrollBar *bar = horizontalScrollBar();
        bar->setValue(bar->value() + (action == MoveLeft ? -1 : 1) * bar->singleStep() * 4);
        return current;
    }
    default:
        return QTableView::moveCursor(action, modifiers);
    }
}

void fitResultColumns(ResultsView *view) {
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
    QHeaderView *header = view->horizontalHeader();
    for (int c = 0; c < ColumnCount && c < header->count(); ++c) {
        const auto column = static_cast<Column>(c);
        QStringList texts;
        for (std::size_t row = column == Column::Difference ? 1 : 0; row < sample.Count(); ++row)
            texts << cellText(sample, row, column);
        header->resizeSection(c, columnWidthFor(view, c, texts, column == Column::Result));
    }
    header->setStretchLastSection(false);
    view->fitRowHeight();
    const int path = static_cast<int>(Column::ComparePath);
    view->setSpareColumn(path, header->sectionSize(path));
}

} // namespace dirwise
