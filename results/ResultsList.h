#pragma once

#include "ResultRow.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dirwise {

enum class SortOrder : std::uint8_t { Ascending = 0, Descending = 1 };

// The remembered sort: key column, order, and whether the list was ever sorted.
struct SortState {
    Column key = Column::Result;
    SortOrder order = SortOrder::Ascending;
    bool sorted = false;
};

// The ordered rows of one compare run, in display order (index 0 is the top row). The list
// owns its rows and a table of interned relative directories that rows refer to by index.
// Row indexes are 0-based and must be < Count(); an index out of range is a caller error.
// Not thread-safe: the engine, the view and the report all run on one thread.
class ResultsList {
public:
    // Removes every row and the directory table. The roots and the sort state stay.
    void Clear();

    // The roots of the run whose rows follow. The master root is kept for the properties
    // command; the compare root is the first part of every "Compare Path" text.
    void SetRoots(std::string masterRoot, std::string compareRoot);
    [[nodiscard]] const std::string &MasterRoot() const { return m_masterRoot; }
    [[nodiscard]] const std::string &CompareRoot() const { return m_compareRoot; }

    // Interns a directory relative to the roots ("/" for the root itself, else "/a/b/",
    // always starting and ending with "/") and returns its index for a row's `dir`.
    [[nodiscard]] std::uint32_t InternDirectory(std::string_view relativeDir);

    // Appends one whole row; returns its index. `row.dir` must come from InternDirectory on
    // this list. A row without a compare side has its compare values cleared, so two rows
    // that show alike are equal.
    std::size_t Append(ResultRow row);

    [[nodiscard]] std::size_t Count() const { return m_rows.size(); }
    [[nodiscard]] const ResultRow &Row(std::size_t i) const { return m_rows[i]; }

    // The directory relative to the roots of row i ("/" or "/a/b/").
    [[nodiscard]] const std::string &RelativeDir(std::size_t i) const;
    // For a Not Compared row of a folder walked already: the relative path of the place it
    // was walked ("a/b/", no leading "/"); otherwise empty.
    [[nodiscard]] std::string_view WalkedAs(std::size_t i) const;
    // The text of column k of row i, exactly as shown and as the report writes it before
    // escaping; empty for a cell that holds no value (see ResultRow::has).
    [[nodiscard]] std::string Text(std::size_t i, Column k) const;
    // Text(i, k) appended to `out`.
    void AppendText(std::string &out, std::size_t i, Column k) const;
    // Full paths of row i's master and compare file: root, relative directory and name.
    [[nodiscard]] std::string MasterPath(std::size_t i) const;
    [[nodiscard]] std::string ComparePath(std::size_t i) const;

    // Removes row i; the rows behind it move up and keep their order.
    void Remove(std::size_t i);
    // Removes every listed row at once (any order, duplicates allowed) in one pass.
    void Remove(std::vector<std::size_t> rows);

    // Reorders the rows by column `key`: sizes by number, dates by time, texts without
    // regard to case (names and Difference texts by Unicode simple case folding, see
    // CaseFold.h; folders by ASCII letters) with ties broken by bytes; empty cells first when
    // ascending and last when descending. Stable both ways. Records key and order and sets
    // the sorted flag.
    void Sort(Column key, SortOrder order);
    [[nodiscard]] const SortState &Sorting() const { return m_sort; }

private:
    // A deque: appending never moves the rows already there, so a run that lists a
    // million files never stalls the window on one large reallocation.
    std::deque<ResultRow> m_rows;
    std::vector<std::string> m_dirs;
    std::unordered_map<std::string, std::uint32_t> m_dirIndex;
    mutable std::vector<std::uint32_t> m_dirRank; // rank of each directory in text order
    std::string m_masterRoot;
    std::string m_compareRoot;
    SortState m_sort;
};

} // namespace dirwise
