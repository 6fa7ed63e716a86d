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

// The width the header of a column of `view` needs at its current font and style, measured
// with the sort arrow shown so that a sorted column's caption is never cut.
int headerWidthFor(const QTableView *view, int column) {
    QHeaderView *header = view->horizontalHeader();
    const bool arrow = header->isSortIndicatorShown();
    header->setSortIndicatorShown(true);
    const int width = header->sectionSizeHint(column);
    header->setSortIndicatorShown(arrow);
    return width;
}

// A little air between one column's text and the next, which a column gives up first.
int airFor(const QTableView *view) { return view->fontMetrics().averageCharWidth(); }

// The width a column of `view` needs for its header (headerWidthFor) and for each of
// `samples` as a cell text, plus airFor(); `withIcon` counts the view's icon in the cell.
int columnWidthFor(const QTableView *view, int column, const QStringList &samples, bool withIcon) {
    int width = headerWidthFor(view, column);

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
    return std::max(1, width + airFor(view));
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
    // A width the user drags a column to holds: the column neither grows nor gives way
    // afterwards. The spare column follows the others whatever it is dragged to.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (m_fitting || section < 0 || section == m_spare)
                    return;
                const auto c = static_cast<std::size_t>(section);
                if (c < m_natural.size()) {
                    m_natural[c] = size;
                    m_least[c] = size;
                    m_dragged[c] = true;
                }
                fitColumns();
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

void ResultsView::setColumnWidths(int column, int natural, int least) {
    const int count = horizontalHeader()->count();
    if (column < 0 || column >= count)
        return;
    fitColumns(); // makes room for every column
    const auto c = static_cast<std::size_t>(column);
    m_natural[c] = std::max(1, natural);
    m_least[c] = std::clamp(least, 1, m_natural[c]);
    m_dragged[c] = false;
    fitColumns();
}

void ResultsView::setSpareColumn(int column) {
    m_spare = column;
    fitColumns();
}

bool ResultsView::isColumnDragged(int column) const {
    return column >= 0 && static_cast<std::size_t>(column) < m_dragged.size() &&
           m_dragged[static_cast<std::size_t>(column)];
}

int ResultsView::naturalColumnsWidth() const {
    const QHeaderView *header = horizontalHeader();
    int total = 0;
    for (int c = 0; c < header->count(); ++c)
        if (!header->isSectionHidden(c))
            total += static_cast<std::size_t>(c) < m_natural.size()
                         ? m_natural[static_cast<std::size_t>(c)]
                         : header->sectionSize(c);
    return total;
}

void ResultsView::fitColumns() {
    QHeaderView *header = horizontalHeader();
    if (m_fitting)
        return;
    const auto count = static_cast<std::size_t>(header->count());
    // Columns the model brought since the last fit start at the width the header gave them.
    for (std::size_t c = m_natural.size(); c < count; ++c) {
        m_natural.push_back(header->sectionSize(static_cast<int>(c)));
        m_least.push_back(m_natural.back());
    }
    m_natural.resize(count);
    m_least.resize(count);
    m_dragged.resize(count, false);

    std::vector<int> width = m_natural;
    long long total = 0, slack = 0;
    for (std::size_t c = 0; c < count; ++c) {
        if (header->isSectionHidden(static_cast<int>(c)))
            continue;
        total += m_natural[c];
        slack += m_natural[c] - m_least[c];
    }
    const int room = viewport()->width();
    const bool spare = m_spare >= 0 && static_cast<std::size_t>(m_spare) < count &&
                       !header->isSectionHidden(m_spare);
    if (total <= room) {
        if (spare)
            width[static_cast<std::size_t>(m_spare)] += static_cast<int>(room - total);
    } else if (slack > 0) {
        // The spare column gives first, as it takes first; then each column that may give
        // way gives in proportion to what it can give, and what the rounding leaves comes
        // from the first that still can.
        long long shortage = std::min(total - room, slack);
        if (spare) {
            const auto c = static_cast<std::size_t>(m_spare);
            const long long give = std::min<long long>(shortage, m_natural[c] - m_least[c]);
            width[c] -= static_cast<int>(give);
            shortage -= give;
            slack -= give;
        }
        long long left = shortage;
        for (std::size_t c = 0; c < count && shortage > 0; ++c) {
            if (header->isSectionHidden(static_cast<int>(c)) || width[c] == m_least[c])
                continue;
            const long long give = shortage * (width[c] - m_least[c]) / slack;
            width[c] -= static_cast<int>(give);
            left -= give;
        }
        for (std::size_t c = 0; c < count && left > 0; ++c) {
            if (header->isSectionHidden(static_cast<int>(c)))
                continue;
            const long long give = std::min<long long>(left, width[c] - m_least[c]);
            width[c] -= static_cast<int>(give);
            left -= give;
        }
    }
    m_fitting = true;
    for (std::size_t c = 0; c < count; ++c) {
        const int section = static_cast<int>(c);
        if (!header->isSectionHidden(section) && header->sectionSize(section) != width[c])
            header->resizeSection(section, width[c]);
    }
    m_fitting = false;
}

void ResultsView::resizeEvent(QResizeEvent *event) {
    QTableView::resizeEvent(event);
    fitColumns();
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

namespace {

// The texts typical rows give `column`, made by the list itself (sizes, dates and
// differences in the user's locale), with a time of day with two-digit fields. The
// Difference column is sized for a plain size difference and a missing file; the longest of
// its texts (two differences at once) may be cut, and shows whole in its tool tip.
QStringList typicalTexts(Column column) {
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
    QStringList texts;
    for (std::size_t row = column == Column::Difference ? 1 : 0; row < sample.Count(); ++row)
        texts << cellText(sample, row, column);
    return texts;
}

// Paths, names and differences are long and of any length: they give way when room is
// short, down to their header's width. The others give up only their air.
bool givesWay(Column column) {
    return column == Column::ComparePath || column == Column::FileName ||
           column == Column::Difference;
}

} // namespace

void fitResultColumns(ResultsView *view) {
    QHeaderView *header = view->horizontalHeader();
    header->setStretchLastSection(false);
    for (int c = 0; c < ColumnCount && c < header->count(); ++c) {
        const auto column = static_cast<Column>(c);
        const int natural = columnWidthFor(view, c, typicalTexts(column), column == Column::Result);
        view->setColumnWidths(c, natural,
                              givesWay(column) ? headerWidthFor(view, c) : natural - airFor(view));
    }
    view->fitRowHeight();
    view->setSpareColumn(static_cast<int>(Column::ComparePath));
}

void fitResultColumnsToRows(ResultsView *view) {
    const QAbstractItemModel *model = view->model();
    if (!model)
        return;
    // About a thousand rows spread over the list stand for it: a million are never measured.
    constexpr int kMeasured = 1000;
    const int rows = model->rowCount();
    const int step = std::max(1, rows / kMeasured);
    const QFontMetrics metrics = view->fontMetrics();
    for (int c = 0; c < ColumnCount && c < model->columnCount(); ++c) {
        const auto column = static_cast<Column>(c);
        if (!givesWay(column) || view->isColumnDragged(c))
            continue;
        const QStringList typical = typicalTexts(column);
        const int usual = columnWidthFor(view, c, typical, false);
        QString longest;
        int longestWidth = 0;
        for (int r = 0; r < rows; r += step) {
            const QString text = model->index(r, c).data().toString();
            if (const int width = metrics.horizontalAdvance(text); width > longestWidth) {
                longestWidth = width;
                longest = text;
            }
        }
        // One long text may not crowd the others out: a third of the view at the most.
        const int measured = columnWidthFor(view, c, typical + QStringList{longest}, false);
        const int natural = std::max(usual, std::min(measured, view->viewport()->width() / 3));
        view->setColumnWidths(c, natural, headerWidthFor(view, c));
    }
}

} // namespace dirwise
