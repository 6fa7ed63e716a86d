#pragma once

#include "Compare.h"
#include "FileScan.h"
#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace dirwise::test {

// A host that tests drive: it counts yields, runs a callback at each (1-based number), and
// keeps every diagnostic the engine reports.
class TestHost : public CompareHost {
public:
    std::function<void(int)> onYield;
    int yields = 0;
    std::vector<Diagnostic> diagnostics;

    void yield() override {
        ++yields;
        if (onYield)
            onYield(yields);
    }
    void diagnostic(const Diagnostic &d) override { diagnostics.push_back(d); }
};

// Options for a compare of two subfolders "m" and "c" of a tree, with the first-start
// defaults: subdirectories, size only, matches shown, exclude mode with blank boxes.
inline CompareOptions TreeOptions(const TempTree &tree) {
    CompareOptions o;
    o.masterDir = tree.path("m");
    o.compareDir = tree.path("c");
    return o;
}

// One row reduced to what most tests check: result text, relative directory and name.
struct RowKey {
    std::string result;
    std::string dir;
    std::string name;
    bool operator==(const RowKey &) const = default;
};

inline std::vector<RowKey> RowKeys(const ResultsList &list) {
    std::vector<RowKey> keys;
    for (std::size_t i = 0; i < list.Count(); ++i)
        keys.push_back({list.Text(i, Column::Result), list.RelativeDir(i), list.Row(i).name});
    return keys;
}

inline void PrintTo(const RowKey &k, std::ostream *os) {
    *os << "{" << k.result << ", " << k.dir << ", " << k.name << "}";
}

// The relative paths (directory relative to the scan root, then name) of the scanned files,
// in scan order.
inline std::vector<std::string> ScannedPaths(const ScanState &state) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i)
        paths.push_back(state.RelativeDir(state.ScanFileDirs[i]) + state.ScanFileNames[i]);
    return paths;
}

} // namespace dirwise::test
