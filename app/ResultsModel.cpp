#include "ResultsModel.h"

#include "CellText.h"

#include <QItemSelectionModel>

#include <algorithm>
#include <climits>
#include <string>

namespace dirwise {

namespace {

// Qt counts rows in int; a list beyond that shows its first INT_MAX rows.
int clampedCount(std::size_t n) {
    return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

} // namespace

ResultsModel::ResultsModel(ResultsList &list, QObject *parent)
    : QAbstractTableModel(parent), m_list(list) {
    m_kinds.fill(true);
    take(0, true);
    m_announced = shownCount();
}

int ResultsModel::shownCount() const {
    return clampedCount(m_filtering ? m_shownRows.size() : m_seen);
}

int ResultsModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_announced;
}

int ResultsModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultsModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_announced)
        return {};
    const std::size_t row = listRow(index.row());
    // Defensive: the list may have been cleared by a run since the last sync().
    if (row >= m_list.Count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(m_list, row, static_cast<Column>(index.column()));
    case Qt::DecorationRole:
        if (index.column() == 0)
            return m_icons[static_cast<std::size_t>(IconKeyOf(m_list.ResultOf(row)))];
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::AccessibleDescriptionRole:
        // A screen reader moving from row to row lands on the first cell: its description
        // reads the rest of the row, each value after its column's header.
        if (index.column() == 0)
            return rowDescription(row);
        return {};
    default:
        return {};
    }
}

QString ResultsModel::rowDescription(std::size_t row) const {
    QStringList parts;
    for (int c = 1; c < ColumnCount; ++c) {
        const QString text = cellText(m_list, row, static_cast<Column>(c));
        if (!text.isEmpty())
            parts << headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() +
                         QStringLiteral(": ") + text;
    }
    return parts.join(QStringLiteral("; "));
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    // The window's headers are translated; the report's columns (ColumnHeader) never are.
    static const char *const headers[ColumnCount] = {
        QT_TR_NOOP("Result"),       QT_TR_NOOP("Compare Path"), QT_TR_NOOP("File Name"),
        QT_TR_NOOP("Master Size"),  QT_TR_NOOP("Compare Size"), QT_TR_NOOP("Master Date"),
        QT_TR_NOOP("Compare Date"), QT_TR_NOOP("Difference")};
    if (role == Qt::DisplayRole)
        return tr(headers[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ResultsModel::setIcons(const std::array<QIcon, IconKeyCount> &icons) {
    m_icons = icons;
    if (const int n = m_announced; n > 0)
        emit dataChanged(index(0, 0), index(n - 1, 0), {Qt::DecorationRole});
}

void ResultsModel::take(std::size_t from, bool recount) {
    if (from == 0) {
        if (recount) {
            m_counts.fill(0);
            m_inList.fill(0);
        }
        m_shownRows.clear();
    }
    const std::size_t end = m_list.Count();
    for (std::size_t i = from; i < end; ++i) {
        const auto kind = static_cast<std::size_t>(m_list.ResultOf(i));
        if (recount)
            ++m_inList[kind];
        const bool shown = m_filtering && m_kinds[kind];
        // With the counts known, a row of a kind switched off needs no text test.
        if (!recount && !shown)
            continue;
        if (!m_text.matches(m_list, i))
            continue;
        if (recount)
            ++m_counts[kind];
        if (shown)
            m_shownRows.push_back(static_cast<std::uint32_t>(i));
    }
    m_seen = end;
}

void ResultsModel::refilter() { take(0, true); }

void ResultsModel::sync() {
    const std::size_t count = m_list.Count();
    if (count < m_seen) {
        // The list was cleared (and perhaps refilled) since the view last looked: the rows
        // it knows are gone, so start the view afresh.
        beginResetModel();
        m_text.forget(); // the list's directory table was made anew
        refilter();
        m_announced = shownCount();
        endResetModel();
        emit countsChanged();
        return;
    }
    if (count == m_seen)
        return;
    take(m_seen, true);
    const int after = shownCount();
    if (after > m_announced) {
        // The rows are taken; the view hears of them now.
        beginInsertRows(QModelIndex(), m_announced, after - 1);
        m_announced = after;
        endInsertRows();
    }
    emit countsChanged();
}

void ResultsModel::setFilter(const KindSwitches &kinds, const QString &text) {
    sync();
    beginResetModel();
    m_kinds = kinds;
    const QByteArray utf8 = text.toUtf8();
    const std::string_view wanted(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    // The counts follow the text only: switching kinds keeps them, and the text's verdicts
    // on directories stay remembered.
    const bool sameText = m_hasText && wanted == m_textGiven;
    if (!sameText) {
        m_text.setText(wanted);
        m_textGiven.assign(wanted);
        m_hasText = true;
    }
    m_filtering = !m_text.empty();
    for (bool on : m_kinds)
        m_filtering = m_filtering || !on;
    take(0, !sameText);
    m_announced = shownCount();
    endResetModel();
    emit countsChanged();
}

bool ResultsModel::filtering() const { return m_filtering; }

std::vector<std::size_t> ResultsModel::shownListRows() const {
    std::vector<std::size_t> rows;
    const int n = m_announced;
    rows.reserve(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r)
        rows.push_back(listRow(r));
    return rows;
}

void ResultsModel::sortList(Column key, SortOrder order, QItemSelectionModel *selection) {
    sync();
    // The selected rows and the current row, as list rows the sort follows to their new
    // places; the current one last.
    std::vector<std::size_t> follow;
    bool hasCurrent = false;
    if (selection) {
        for (const QModelIndex &ix : selection->selectedRows())
            follow.push_back(listRow(ix.row()));
        const QModelIndex current = selection->currentIndex();
        hasCurrent = current.isValid() && current.row() < m_announced;
        if (hasCurrent)
            follow.push_back(listRow(current.row()));
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indexes (the selection among them) are rebuilt below; park them first so
    // none keeps pointing at a row that now holds another file.
    const QModelIndexList persistent = persistentIndexList();
    changePersistentIndexList(persistent, QModelIndexList(persistent.size()));
    m_list.Sort(key, order, &follow);
    // The same rows pass the filter, so the counts stay; only their list positions moved.
    if (m_filtering)
        take(0, false);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);

    if (!selection)
        return;
    // Back from list rows to view rows: the shown rows are in list order.
    auto viewRowOf = [this](std::size_t row) {
        if (!m_filtering)
            return static_cast<int>(row);
        const auto at = std::lower_bound(m_shownRows.begin(), m_shownRows.end(), row);
        return static_cast<int>(at - m_shownRows.begin());
    };
    int currentRow = -1;
    if (hasCurrent) {
        currentRow = viewRowOf(follow.back());
        follow.pop_back();
    }
    std::vector<int> rows;
    rows.reserve(follow.size());
    for (std::size_t row : follow)
        rows.push_back(viewRowOf(row));
    std::sort(rows.begin(), rows.end());
    // One range per run of neighbouring rows: a selection of every row stays one range.
    QItemSelection restored;
    for (std::size_t k = 0; k < rows.size();) {
        std::size_t end = k + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        restored.select(index(rows[k], 0), index(rows[end - 1], ColumnCount - 1));
        k = end;
    }
    selection->clearSelection();
    if (currentRow >= 0)
        selection->setCurrentIndex(index(currentRow, 0), QItemSelectionModel::NoUpdate);
    if (!restored.isEmpty())
        selection->select(restored, QItemSelectionModel::Select);
}

void ResultsModel::removeListRows(const std::vector<std::size_t> &viewRows) {
    if (viewRows.empty())
        return;
    sync();
    std::vector<std::size_t> rows;
    rows.reserve(viewRows.size());
    for (std::size_t r : viewRows)
        rows.push_back(listRow(static_cast<int>(r)));
    beginResetModel();
    m_list.Remove(std::move(rows));
    refilter();
    m_announced = shownCount();
    endResetModel();
    emit countsChanged();
}

} // namespace dirwise
