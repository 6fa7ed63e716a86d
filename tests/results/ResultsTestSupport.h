#pragma once

#include "ResultsList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dirwise::test {

// One row to put in a list by hand; an absent value leaves its cell empty.
struct RowSpec {
    Result result = Result::Match;
    std::string dir = "/";
    std::string name;
    std::optional<std::int64_t> masterSize, compareSize, masterTime, compareTime;
};

// A row with only its result, directory and name.
inline RowSpec NameRow(Result result, std::string dir, std::string name) {
    RowSpec r;
    r.result = result;
    r.dir = std::move(dir);
    r.name = std::move(name);
    return r;
}

// A list with the given rows in order, as a compare run fills one.
inline ResultsList MakeList(const std::vector<RowSpec> &rows, const std::string &compareRoot = "/cmp") {
    ResultsList list;
    list.SetRoots("/master", compareRoot);
    for (const RowSpec &r : rows) {
        const std::size_t i = list.Add(r.result);
        list.SetSubItem(i, Column::ComparePath, r.dir);
        list.SetSubItem(i, Column::FileName, r.name);
        if (r.masterSize)
            list.SetSubItem(i, Column::MasterSize, *r.masterSize);
        if (r.compareSize)
            list.SetSubItem(i, Column::CompareSize, *r.compareSize);
        if (r.masterTime)
            list.SetSubItem(i, Column::MasterDate, *r.masterTime);
        if (r.compareTime)
            list.SetSubItem(i, Column::CompareDate, *r.compareTime);
    }
    return list;
}

// The names of the rows in display order.
inline std::vector<std::string> Names(const ResultsList &list) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list.Count(); ++i)
        names.push_back(list.Row(i).name);
    return names;
}

} // namespace dirwise::test
