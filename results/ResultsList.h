#pragma once

#include "ResultRow.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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
//
// A million rows must fit in a window's memory, so the list keeps each row packed (48
// bytes: the four numbers, the directory index, the result and a reference to the name) in
// fixed chunks, and the names in large blocks of bytes that never move. Row() rebuilds a
// whole ResultRow; the accessors below it read one field without building anything.
class ResultsList {
public:
    ResultsList();
    ~ResultsList();
    ResultsList(ResultsList &&other) noexcept;
    ResultsList &operator=(ResultsList &&other) noexcept;
    ResultsList(const ResultsList &) = delete;
    ResultsList &operator=(const ResultsList &) = delete;

    // Removes every row, every name and the directory table, and gives their memory back.
    // The roots and the sort state stay.
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
    // that show alike are equal. Names of any length are kept whole.
    std::size_t Append(const ResultRow &row);

    [[nodiscard]] std::size_t Count() const { return m_count; }
    // Row i as a whole value (a copy: it stays valid whatever the list does next).
    [[nodiscard]] ResultRow Row(std::size_t i) const;
    // Row i's name, result and directory index, read in place; the name stays valid until
    // the list is cleared or destroyed.
    [[nodiscard]] std::string_view Name(std::size_t i) const;
    [[nodiscard]] Result ResultOf(std::size_t i) const { return at(i).result; }
    [[nodiscard]] std::uint32_t DirIndex(std::size_t i) const { return at(i).dir; }
    // Whether row i's name is all ASCII (then FoldAscii folds it whole; otherwise see
    // FoldCaseUtf8). Known from the append, so asking costs nothing.
    [[nodiscard]] bool NameIsAscii(std::size_t i) const { return at(i).asciiName; }

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
    // the sorted flag. Works on a small key per row and moves the rows in place, so a sort
    // needs about a third of the rows' own memory again, never a copy of them. `follow`, if
    // given, holds row indexes that are replaced by the same rows' indexes after the sort.
    void Sort(Column key, SortOrder order, std::vector<std::size_t> *follow = nullptr);
    [[nodiscard]] const SortState &Sorting() const { return m_sort; }

private:
    // A row as kept. `name` is a NameRef (see ResultsList.cpp); Content and Not Compared
    // rows keep their contentOffset as eight bytes right after the name.
    struct Stored {
        std::int64_t masterSize;
        std::int64_t masterTime;
        std::int64_t compareSize;
        std::int64_t compareTime;
        std::uint64_t name;
        std::uint32_t dir;
        Result result;
        Detail detail;
        std::uint8_t timesKnown; // bit 0: the master side's time, bit 1: the compare side's
        bool asciiName;          // the name holds no byte beyond ASCII
    };
    static_assert(sizeof(Stored) == 48);
    static constexpr unsigned ChunkBits = 13; // 8,192 rows a chunk
    static constexpr std::size_t ChunkRows = std::size_t{1} << ChunkBits;

    [[nodiscard]] Stored &at(std::size_t i) {
        return m_chunks[i >> ChunkBits][i & (ChunkRows - 1)];
    }
    [[nodiscard]] const Stored &at(std::size_t i) const {
        return m_chunks[i >> ChunkBits][i & (ChunkRows - 1)];
    }
    // Where a stored name's bytes begin, and how many there are.
    [[nodiscard]] const char *nameBytes(std::uint64_t ref, std::size_t &length) const;
    // Copies `bytes` into the name blocks and returns their reference.
    [[nodiscard]] std::uint64_t storeName(std::string_view name, const std::int64_t *extra);
    [[nodiscard]] std::int64_t extraOf(const Stored &s) const;
    [[nodiscard]] ResultRow unpack(const Stored &s) const;
    // Whether the stored row holds a value in column c (ResultRow::has).
    [[nodiscard]] static bool hasCell(const Stored &s, Column c);
    // Reorders the rows so that row i becomes the old row order[i]; `order` is used up.
    void permute(std::vector<std::uint32_t> &order);
    // The sort's key orders, in SortOrder::Ascending with ties left to the caller.
    void sortNumbers(Column key, bool descending, std::vector<std::uint32_t> &order) const;
    void sortTexts(Column key, bool descending, std::vector<std::uint32_t> &order) const;
    std::vector<std::unique_ptr<Stored[]>> m_chunks;
    std::size_t m_count = 0;
    std::vector<std::unique_ptr<char[]>> m_blocks; // the names' bytes
    std::size_t m_blockUsed = 0;                   // bytes used in the last ordinary block
    std::vector<std::string> m_dirs;
    std::unordered_map<std::string, std::uint32_t> m_dirIndex;
    mutable std::vector<std::uint32_t> m_dirRank; // rank of each directory in text order
    std::string m_masterRoot;
    std::string m_compareRoot;
    SortState m_sort;
};

} // namespace dirwise
