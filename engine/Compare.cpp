#include "Compare.h"

#include "FactsAhead.h"
#include "LiveSource.h"
#include "SkipFilter.h"
#include "Walk.h"
#include "WorkerPool.h"

#include "ResultsList.h"

#include <cerrno>

namespace dirwise {
namespace {

// One run's state: the options, the two sources, the list, the host, the worker pool, the
// progress and the summary, shared by the master pass and the extras pass.
class Run {
public:
    Run(const CompareOptions &options, TreeSource &master, TreeSource &compare, ResultsList &list,
        CompareHost &host, WalkFilter *skip)
        : m_options(options), m_master(master), m_compare(compare), m_list(list), m_host(host),
          m_skip(skip) {}

    [[nodiscard]] bool yield() {
        m_stop = m_stop || m_host.yield(m_progress);
        return m_stop;
    }
    [[nodiscard]] bool stopped() const { return m_stop; }

    // Whether the extras pass can say anything: not once either root is gone. Then the lost
    // root is named once, in place of the pass.
    bool extrasPossible() {
        for (const Side side : {Side::Master, Side::Compare}) {
            if (!m_gone[static_cast<int>(side)])
                continue;
            Diagnostic d{side, Problem::RootGone,
                         (side == Side::Master ? m_master : m_compare).Root(), "", ENOENT};
            m_host.diagnostic(d);
            m_summary.notCompared.push_back(std::move(d));
            return false;
        }
        return true;
    }
    CompareSummary &summary() { return m_summary; }

    // The pass loop. The master pass walks the master tree and compares every listed file;
    // the extras pass walks the compare tree by the same rules and lists every file the
    // master tree lacks, its facts read with the roles of the trees swapped.
    void pass(bool extras) {
        TreeSource &walked = extras ? m_compare : m_master;
        TreeSource &other = extras ? m_master : m_compare;
        ScanState state;
        // The master's rules, by relative path: the same paths are left out of both trees.
        SkipFilter rules(m_options.skipRules, m_options.useGitignore, m_master.Root(), extras);
        WalkFilter *filter = m_skip ? m_skip : rules.InForce() ? &rules : nullptr;
        Walk(walked, m_pool, state, m_host, BuildPatternList(m_options),
             ScanRules{m_options.subDirs, m_options.followLinks,
                       extras ? Phase::Extras : Phase::Listing,
                       extras ? Side::Compare : Side::Master, filter});
        m_stop = m_stop || state.Stopped;
        if (!extras && filter == &rules)
            countSkipped(rules);
        // A folder the master pass could list but the extras pass cannot is still named.
        for (Diagnostic &d : state.Diagnostics)
            m_summary.notCompared.push_back(std::move(d));
        if (extras)
            m_summary.extrasListed = true;
        else
            m_summary.listed = state.ScanFileCount;
        m_progress = Progress{extras ? Phase::Extras : Phase::Comparing, state.ScanFileCount, 0,
                              m_progress.bytesVerified};
        // One yield between the phases: the window shows the new phase, and a stop that came
        // with the listing's last entry is seen before any file is compared.
        const auto count = static_cast<std::size_t>(state.ScanFileCount);
        if (m_stop || yield() || count == 0)
            return;
        m_listDirs.assign(state.ScanDirs.size(), NoDir);
        const bool contents = m_options.verifyContents && !extras;
        FactsAhead facts(m_pool, state, m_options, count, contents, walked, other);
        facts.WhileWaiting([this] { m_host.waiting(m_progress); });
        for (std::size_t i = 0; i < count && !m_stop; ++i) {
            if (extras)
                takeExtra(state, i, facts.Get(i));
            else
                takeFile(state, i, facts.Get(i), facts);
            m_progress.compared = static_cast<std::int64_t>(i) + 1;
            // The listing's names would otherwise stay beside the list's own copies until the
            // pass ends. Without contents to read no worker looks back past the file the
            // loop has taken; a pair's contents may still be read behind it.
            if (!contents && (i & ReleaseEvery) == 0)
                state.ReleaseFilesBefore(i);
            (void)yield();
        }
    }

private:
    // A master file: compared, or not compared, or passed over by the exclude test.
    void takeFile(const ScanState &state, std::size_t i, const FileFacts &f, FactsAhead &facts) {
        if (f.excluded) {
            ++m_summary.excluded;
            return;
        }
        // Once a root is found gone, whatever its tree still answers through folders held
        // open is not taken: every later file is Not Compared.
        m_gone[Master] = m_gone[Master] || f.masterRootGone;
        m_gone[Compare] = m_gone[Compare] || f.compareRootGone;
        if (m_gone[Master])
            notCompared(state, i, Side::Master, ENOENT, Problem::RootGone);
        else if (m_gone[Compare])
            notCompared(state, i, Side::Compare, ENOENT, Problem::RootGone);
        else if (f.masterError != 0)
            notCompared(state, i, Side::Master, f.masterError);
        else if (f.compareError != 0 && f.compareError != ENOENT)
            notCompared(state, i, Side::Compare, f.compareError);
        else
            comparePair(state, i, f, facts);
    }

    // A compare file of the extras pass (its "master" facts are the compare file's, its
    // "compare" facts tell whether a master file exists).
    void takeExtra(const ScanState &state, std::size_t i, const FileFacts &f) {
        if (f.excluded)
            return; // counted by the master pass, where it matters
        // The roles are swapped: the walked tree is the compare tree.
        m_gone[Compare] = m_gone[Compare] || f.masterRootGone;
        m_gone[Master] = m_gone[Master] || f.compareRootGone;
        if (m_gone[Compare]) {
            notCompared(state, i, Side::Compare, ENOENT, Problem::RootGone, false);
        } else if (m_gone[Master]) {
            notCompared(state, i, Side::Master, ENOENT, Problem::RootGone, false);
        } else if (f.masterError != 0) {
            notCompared(state, i, Side::Compare, f.masterError, Problem::FactsNotRead, false);
        } else if (f.compareError == ENOENT) {
            ++m_summary.extras;
            m_list.Append(ResultRow{.name = state.ScanFileNames[i],
                                    .compareSize = f.masterSize,
                                    .compareTime = f.masterTime,
                                    .dir = internDir(state, i),
                                    .result = Result::Extra,
                                    .compareTimeKnown = f.masterTimeKnown});
        }
        // Any other answer about the master file: it was the master pass's to report.
    }

    std::uint32_t internDir(const ScanState &state, std::size_t i) {
        const std::uint32_t d = state.ScanFileDirs[i];
        if (m_listDirs[d] == NoDir)
            m_listDirs[d] = m_list.InternDirectory(state.RelativeDir(d));
        return m_listDirs[d];
    }

    // `masterFile`: the file is one of the master listing's, so it leaves the totals; a
    // compare-only file of the extras pass was never in them.
    void notCompared(const ScanState &state, std::size_t i, Side side, int err,
                     Problem problem = Problem::FactsNotRead, bool masterFile = true) {
        Diagnostic diag{side, problem, (side == Side::Master ? m_master : m_compare).Root(),
                        state.RelativeDir(state.ScanFileDirs[i]).substr(1) + state.ScanFileNames[i],
                        err};
        m_host.diagnostic(diag);
        m_summary.notCompared.push_back(std::move(diag));
        if (masterFile)
            ++m_summary.notComparedFiles;
    }

    void comparePair(const ScanState &state, std::size_t i, const FileFacts &f, FactsAhead &facts) {
        const bool found = f.compareError == 0;
        PairFacts pair{f.masterSize, f.compareSize, f.masterTime, f.compareTime};
        std::optional<Verdict> v = found ? Classify(m_options, pair) : Verdict{Result::NotFound};
        if (!v)
            return; // nothing to compare by: counted as matching, no row
        // The readers asked WantsContent with the same facts and options.
        if (f.content != FileFacts::Content::NotWanted) {
            if (!readContents(state, i, pair, facts))
                return;
            v = Classify(m_options, pair);
        }
        if (v->result != Result::Match)
            ++m_summary.different;
        if (v->result == Result::Match && m_options.hideMatches)
            return;
        m_list.Append(ResultRow{.name = state.ScanFileNames[i],
                                .masterSize = f.masterSize,
                                .masterTime = f.masterTime,
                                .compareSize = f.compareSize,
                                .compareTime = f.compareTime,
                                .contentOffset = pair.firstDifference,
                                .dir = internDir(state, i),
                                .result = v->result,
                                .detail = v->detail,
                                .masterTimeKnown = f.masterTimeKnown,
                                .compareTimeKnown = f.compareTimeKnown});
    }

    // The verdict on pair i's contents, into `pair`, yielding after every block pair. Returns
    // false when the pair gets no row: the run was stopped inside it, or a file could not be
    // read (then it is Not Compared).
    bool readContents(const ScanState &state, std::size_t i, PairFacts &pair, FactsAhead &facts) {
        using Outcome = ContentVerdict::Outcome;
        const ContentVerdict c = facts.Contents(i, [this](std::int64_t n) {
            m_progress.bytesVerified += n;
            return yield();
        });
        switch (c.outcome) {
        case Outcome::Same:
            pair.content = PairFacts::Content::Same;
            return true;
        case Outcome::Differs:
            pair.content = PairFacts::Content::Differs;
            pair.firstDifference = c.offset;
            return true;
        case Outcome::NotRegular:
            return true; // replaced by a special file since it was listed: never opened
        case Outcome::Failed:
            notCompared(state, i, c.masterSide ? Side::Master : Side::Compare, c.error,
                        Problem::ContentsNotRead);
            return false;
        case Outcome::Stopped:
            return false;
        }
        return false;
    }

    void countSkipped(const SkipFilter &rules) {
        m_summary.skipping = true;
        m_summary.skippedFolders = rules.SkippedFolders();
        m_summary.skippedFiles = rules.SkippedFiles();
        for (const auto &[relative, err] : rules.Unreadable()) {
            Diagnostic d{Side::Master, Problem::RulesNotRead, m_master.Root(), relative, err};
            m_host.diagnostic(d);
            m_summary.notCompared.push_back(std::move(d));
        }
    }

    static constexpr std::size_t ReleaseEvery = 0xffff; // files between two give-backs, less one

    const CompareOptions &m_options;
    TreeSource &m_master;
    TreeSource &m_compare;
    ResultsList &m_list;
    CompareHost &m_host;
    WalkFilter *m_skip;
    WorkerPool m_pool; // after the sources, before the passes' listers and readers
    std::vector<std::uint32_t> m_listDirs; // the list's folder of each walked folder
    Progress m_progress;
    CompareSummary m_summary;
    bool m_stop = false;
    // Whether each tree's root (by Side) has been found gone: from then on nothing of it is
    // compared, in this pass and the next.
    static constexpr int Master = static_cast<int>(Side::Master);
    static constexpr int Compare = static_cast<int>(Side::Compare);
    bool m_gone[2] = {false, false};
};

} // namespace

CompareSummary RunCompare(const CompareOptions &options, TreeSource &master, TreeSource &compare,
                          ResultsList &list, CompareHost &host, WalkFilter *skip) {
    list.Clear();
    list.SetRoots(master.Root(), compare.Root());
    master.NoteRoot();
    compare.NoteRoot();
    Run run(options, master, compare, list, host, skip);
    if (!run.yield())
        run.pass(false);
    if (options.listExtras && !run.stopped() && run.extrasPossible())
        run.pass(true);
    CompareSummary summary = std::move(run.summary());
    summary.stopped = run.stopped();
    return summary;
}

CompareSummary RunCompare(const CompareOptions &options, ResultsList &list, CompareHost &host) {
    LiveSource master(NormalizeRoot(options.masterDir));
    LiveSource compare(NormalizeRoot(options.compareDir));
    return RunCompare(options, master, compare, list, host);
}

std::vector<std::string> SummaryLines(const CompareSummary &s) {
    if (s.stopped)
        return {"Dirwise stopped."};
    std::vector<std::string> lines = {
        "Dirwise complete.",
        "",
        "Total Files: " + std::to_string(s.total()),
        "Matching Files: " + std::to_string(s.matching()),
        "Different Files: " + std::to_string(s.different),
    };
    if (s.extrasListed)
        lines.push_back("Extra Files: " + std::to_string(s.extras));
    if (s.skipping) {
        lines.push_back("Skipped Folders: " + std::to_string(s.skippedFolders));
        lines.push_back("Skipped Files: " + std::to_string(s.skippedFiles));
    }
    if (!s.notCompared.empty())
        lines.push_back("Not Compared: " + std::to_string(s.notCompared.size()));
    return lines;
}

std::string SummaryText(const CompareSummary &s) {
    std::string text;
    for (const std::string &line : SummaryLines(s)) {
        if (!text.empty() || line.empty())
            text += '\r';
        text += line;
    }
    return text;
}

} // namespace dirwise
