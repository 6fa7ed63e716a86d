#pragma once

#include "PathFilter.h"
#include "ResultsList.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QItemSelectionModel>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dirwise {

// The number of IconKey values.
inline constexpr std::size_t IconKeyCount = static_cast<std::size_t>(IconKey::Extra) + 1;

// The Qt face of a ResultsList: eight columns, one row per shown list row, texts made on
// demand in data() (odd bytes escaped, see DisplayText) and the row's picture in the first
// column. The list belongs to the caller and must outlive the model.
//
// A filter decides which list rows are shown: the result kinds switched on, and a text the
// row's relative path must contain (see PathFilter). Shown rows keep the list's order. For
// each result kind the model counts the rows whose path passes the text, shown or not, so a
// kind's switch can say how many it would show.
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
    using KindCounts = std::array<std::int64_t, ResultCount>;
    using KindSwitches = std::array<bool, ResultCount>;

    explicit ResultsModel(ResultsList &list, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    // The pictures of the first column, one per IconKey in its order (Match, Different,
    // NotFound, Extra).
    void setIcons(const std::array<QIcon, IconKeyCount> &icons);

    // Brings the view up to the list: appended rows that pass the filter are inserted in one
    // batch; a list that is shorter than the rows seen (a run cleared it) resets the view.
    void sync();
    // Sorts the whole list and tells the view the order changed; the shown rows stay the
    // same rows. Selected rows stay selected and the current row stays current: give the
    // selection model, or nullptr.
    void sortList(Column key, SortOrder order, QItemSelectionModel *selection);
    // Removes the list rows behind the given view rows (any order, duplicates allowed; each
    // < rowCount()) from the list and the view.
    void removeListRows(const std::vector<std::size_t> &viewRows);

    // Shows the rows of the kinds switched on whose relative path contains `text` (case
    // folded; empty: every path). The view is reset once.
    void setFilter(const KindSwitches &kinds, const QString &text);
    // Whether some list row may be hidden: a kind switched off or a text given.
    [[nodiscard]] bool filtering() const;
    // Per result kind, the list rows whose path passes the text filter.
    [[nodiscard]] const KindCounts &kindCounts() const { return m_counts; }
    // Per result kind, the list rows whatever the text filter.
    [[nodiscard]] const KindCounts &kindsInList() const { return m_inList; }
    // The list rows the model has seen (every row of the list after sync()).
    [[nodiscard]] std::size_t listCount() const { return m_seen; }

    // The list row shown at view row `viewRow` (< rowCount()).
    [[nodiscard]] std::size_t listRow(int viewRow) const {
        return m_filtering ? m_shownRows[static_cast<std::size_t>(viewRow)]
                           : static_cast<std::size_t>(viewRow);
    }
    // Every shown list row, top to bottom.
    [[nodiscard]] std::vector<std::size_t> shownListRows() const;

    // The list shown (the one given at construction).
    [[nodiscard]] ResultsList &list() { return m_list; }

signals:
    // The kind counts or the number of shown rows changed.
    void countsChanged();

private:
    // The row's cells after the first as "Header: text", joined by "; " (empty cells left
    // out): what a screen reader reads for the row.
    [[nodiscard]] QString rowDescription(std::size_t row) const;
    // Tests list rows [from, end of list) and takes them into the shown rows, and into the
    // counts when `recount` (otherwise the counts are already those of the text).
    void take(std::size_t from, bool recount);
    // Rebuilds the counts and the shown rows from the whole list (no model signals).
    void refilter();
    [[nodiscard]] int shownCount() const;

    ResultsList &m_list;
    std::size_t m_seen = 0; // list rows taken so far
    int m_announced = 0;    // the rows the view knows of
    std::array<QIcon, IconKeyCount> m_icons;
    KindSwitches m_kinds{};
    PathFilter m_text;
    std::string m_textGiven; // the text m_text was given, as UTF-8
    bool m_hasText = false;  // m_text was given a text
    bool m_filtering = false;
    std::vector<std::uint32_t> m_shownRows; // while filtering: the list rows shown
    KindCounts m_counts{};
    KindCounts m_inList{};
};

} // namespace dirwise
