#pragma once

// What the engine's suites share: a host that records what a run tells it, the rows and a
// scan's files as short text, and a fixture with a master tree "m" and a compare tree "c".

#include "Compare.h"
#include "FileScan.h"
#include "ResultsList.h"
#include "TempTree.h"

namespace dirwise::test {

constexpr std::int64_t T0 = 1000000000; // 09/09/2001 01:46:40 UTC

// A host that records every yield's progress and every diagnostic, and stops when its
// callback says so (called with the 1-based yield number).
class TestHost : public CompareHost {
public:
    std::function<bool(int, const Progress &)> onYield;
    std::vector<Progress> progress;
    std::vector<Diagnostic> diagnostics;

    bool yield(const Progress &p) override {
        progress.push_back(p);
        return onYield && onYield(static_cast<int>(progress.size()), p);
    }
    void diagnostic(const Diagnostic &d) override { diagnostics.push_back(d); }
};

// Each row as "result /dir/name", with its Difference text after a blank when asked; one
// line each: short to write and readable when it differs.
inline std::string Rows(const ResultsList &list, bool difference = false) {
    std::string out;
    for (std::size_t i = 0; i < list.Count(); ++i)
        out += list.Text(i, Column::Result) + " " + list.RelativeDir(i) + list.Row(i).name +
               (difference ? " " + list.Text(i, Column::Difference) : "") + "\n";
    return out;
}

inline std::string NotComparedLine(const std::string &path, int error) {
    return "not compared " + path + " " + std::to_string(error) + "\n";
}

// The paths of the files a scan listed, from the root ("/a/b"), each followed by a blank.
inline std::string Listed(const ScanState &state) {
    std::string out;
    for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i)
        out += state.RelativeDir(state.ScanFileDirs[i]) + state.ScanFileNames[i] + " ";
    return out;
}

// The first-start options (subdirectories, size only, exclude mode) for t's "m" and "c".
inline CompareOptions Options(const TempTree &t) {
    CompareOptions o;
    o.masterDir = t.path("m");
    o.compareDir = t.path("c");
    return o;
}

// Runs the compare in a child under a watchdog, so a hang or a loop fails only its test.
// `prepare` runs first in the child; when it returns false the child ends with 77. The
// child's text: the rows, a NotComparedLine for every place not compared, and the summary's
// last line.
inline ChildResult CompareInChild(const CompareOptions &o, CompareHost &host,
                                  const std::function<bool()> &prepare = {}) {
    return RunInChild(
        [&](std::string &out) {
            if (prepare && !prepare())
                return 77;
            ResultsList list;
            const CompareSummary s = RunCompare(o, list, host);
            out = Rows(list);
            for (const Diagnostic &d : s.notCompared)
                out += NotComparedLine(d.Path(), d.error);
            out += SummaryLines(s).back() + "\n";
            return 0;
        },
        120);
}

// A run's fixture: the trees "m" and "c" exist (empty), the time zone is UTC.
class EngineRun : public ::testing::Test {
protected:
    explicit EngineRun(bool inMemory = false) : t(inMemory) {
        UseTimeZone("UTC0");
        t.dir("m");
        t.dir("c");
    }
    CompareSummary run(const CompareOptions &o) { return RunCompare(o, list, host); }
    CompareSummary run() { return run(Options(t)); }
    TempTree t;
    ResultsList list;
    TestHost host;
};

} // namespace dirwise::test
