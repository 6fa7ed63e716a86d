#pragma once

#include "ResultsList.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QItemSelectionModel>

#include <array>
#include <cstddef>
#include <vector>

namespace dirwise {

// The number of IconKey values.
inline constexpr std::size_t IconKeyCount = static_cast<std::size_t>(IconKey::Extra) + 1;

// The Qt face of a ResultsList: seven columns, one row per list row, texts made on demand
// in data() (odd bytes escaped, see DisplayText) and the row's picture in the first column.
// The list belongs to the caller and must outlive the model.
//
// The model shows only the rows it has announced. While a compare run appends rows (or
// clears the list) behind its back, call sync() before the view may look again: it announces
// the new rows in one batch, or resets the view when the list shrank. Between such changes
// and the next sync() the model never reads a row it has not announced.
//
// Every cell's tool tip is its whole display text, so a cell the view elides can be read.
class ResultsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultsModel(ResultsList &list, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    // The pictures of the first column, one per IconKey in its order (Match, Different,
    // NotFound, Extra).
    void setIcons(const std::array<QIcon, IconKeyCount> &icons);

    // Brings the view up to the list: appended rows are inserted in one batch; a list that
    // is shorter than the rows shown (a run cleared it) resets the view first.
    void sync();
    // Sorts the list and tells the view the order changed. Selected rows stay selected and
    // the current row stays current (rows are matched by value, so identical rows may trade
    // places): give the selection model, or nullptr.
    void sortList(Column key, SortOrder order, QItemSelectionModel *selection);
    // Removes the given rows (any order, duplicates allowed; each < rowCount()) from the
    // list and the view.
    void removeListRows(const std::vector<std::size_t> &rows);

    // The list shown (the one given at construction).
    [[nodiscard]] ResultsList &list() { return m_list; }

private:
    // The row's cells after the first as "Header: text", joined by "; " (empty cells left
    // out): what a screen reader reads for the row.
    [[nodiscard]] QString rowDescription(std::size_t row) const;

    ResultsList &m_list;
    int m_shown = 0;
    std::array<QIcon, IconKeyCount> m_icons;
};

} // namespace dirwise
