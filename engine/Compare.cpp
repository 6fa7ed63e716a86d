#include "Compare.h"
#include "ContentCheck.h"
#include "Facts.h"
#include "SkipFilter.h"

#include "ResultsList.h"

namespace dirwise {

using namespace detail;

namespace {

// One run's state: the options, the list, the host, the progress and the summary, shared by
// the master pass and the extras pass.
class Run {
public:
    Run(const CompareOptions &options, ResultsList &list, CompareHost &host)
        : m_options(options), m_list(list), m_host(host) {}

    [[nodiscard]] bool yield() {
        m_stop = m_stop || m_host.yield(m_progress);
        return m_stop;
    }
    [[nodiscard]] bool stopped() const { return m_stop; }
    CompareSummary &summary() { return m_summary; }

    // Lists the master tree and compares every listed file.
    void masterPass() {
        ScanState state;
        SkipFilter skip(m_options.skipRules, m_options.useGitignore, m_options.masterDir, false);
        ScanDirectory(state, m_host, m_options.masterDir, BuildPatternList(m_options),
                      ScanRules{m_options.subDirs, m_options.followLinks, Phase::Listing,
                                Side::Master, skip.InForce() ? &skip : nullptr});
        m_stop = m_stop || state.Stopped;
        m_summary.listed = state.ScanFileCount;
        m_summary.notCompared = state.Diagnostics;
        m_summary.skipping = skip.InForce();
        m_summary.skippedFolders = skip.SkippedFolders();
        m_summary.skippedFiles = skip.SkippedFiles();
        for (const auto &[relative, err] : skip.Unreadable()) {
            Diagnostic d{Side::Master, Problem::RulesNotRead, m_options.masterDir, relative, err};
            m_host.diagnostic(d);
            m_summary.notCompared.push_back(std::move(d));
        }
        m_progress = Progress{Phase::Comparing, state.ScanFileCount, 0, m_progress.bytesVerified};
        // One yield between the phases: the window shows the new phase, and a stop that came
        // with the listing's last entry is seen before any file is compared.
        if (m_stop || yield())
            return;
        const auto count = static_cast<std::size_t>(state.ScanFileCount);
        if (count == 0)
            return;
        std::vector<std::uint32_t> listDirs(state.ScanDirs.size(), NoDir);
        FactPrefetcher facts(state, m_options, count, m_options.verifyContents);
        for (std::size_t i = 0; i < count && !m_stop; ++i) {
            const FileFacts &f = facts.Get(i);
            if (f.excluded)
                ++m_summary.excluded;
            else if (f.masterError != 0)
                notCompared(state, i, Side::Master, f.masterError);
            else if (f.compareError != 0 && f.compareError != ENOENT)
                notCompared(state, i, Side::Compare, f.compareError);
            else if (f.compareRootGone)
                notCompared(state, i, Side::Compare, ENOENT);
            else
                comparePair(state, i, f, listDirs, facts);
            m_progress.compared = static_cast<std::int64_t>(i) + 1;
            (void)yield();
        }
    }

    // Walks the compare tree by the same rules and lists every file the master tree lacks.
    // The read-ahead is the master pass's with the roles of the trees swapped: its "master"
    // facts are the compare file's, its "compare" facts tell whether a master file exists.
    void extrasPass() {
        m_summary.extrasListed = true;
        CompareOptions swapped = m_options;
        std::swap(swapped.masterDir, swapped.compareDir);
        m_progress = Progress{Phase::Extras, 0, 0, m_progress.bytesVerified};
        ScanState state;
        // The master's rules, by relative path: the same paths are left out of both trees.
        SkipFilter skip(m_options.skipRules, m_options.useGitignore, m_options.masterDir, true);
        ScanDirectory(state, m_host, swapped.masterDir, BuildPatternList(swapped),
                      ScanRules{swapped.subDirs, swapped.followLinks, Phase::Extras, Side::Compare,
                                skip.InForce() ? &skip : nullptr});
        m_stop = m_stop || state.Stopped;
        // A directory the master pass could list but this one cannot is still worth naming.
        for (Diagnostic &d : state.Diagnostics)
            m_summary.notCompared.push_back(std::move(d));
        m_progress.listed = state.ScanFileCount;
        if (m_stop || yield())
            return;
        const auto count = static_cast<std::size_t>(state.ScanFileCount);
        if (count == 0)
            return;
        std::vector<std::uint32_t> listDirs(state.ScanDirs.size(), NoDir);
        FactPrefetcher facts(state, swapped, count, false);
        for (std::size_t i = 0; i < count && !m_stop; ++i) {
            const FileFacts &f = facts.Get(i);
            if (f.excluded) {
                // Counted by the master pass, where it matters.
            } else if (f.masterError != 0) {
                notCompared(state, i, Side::Compare, f.masterError, Problem::FactsNotRead, false);
            } else if (f.compareError == ENOENT && f.compareRootGone) {
                notCompared(state, i, Side::Master, ENOENT, Problem::FactsNotRead, false);
            } else if (f.compareError == ENOENT) {
                ++m_summary.extras;
                m_list.Append(ResultRow{.name = state.ScanFileNames[i],
                                        .compareSize = f.masterSize,
                                        .compareTime = f.masterTime,
                                        .dir = internDir(state, i, listDirs),
                                        .result = Result::Extra});
            }
            // Any other answer about the master file: it was the master pass's to report.
            m_progress.compared = static_cast<std::int64_t>(i) + 1;
            (void)yield();
        }
    }

private:
    std::uint32_t internDir(const ScanState &state, std::size_t i,
                            std::vector<std::uint32_t> &listDirs) {
        const std::uint32_t d = state.ScanFileDirs[i];
        if (listDirs[d] == NoDir)
            listDirs[d] = m_list.InternDirectory(state.RelativeDir(d));
        return listDirs[d];
    }

    // `masterFile`: the file is one of the master listing's, so it leaves the totals; a
    // compare-only file of the extras pass was never in them.
    void notCompared(const ScanState &state, std::size_t i, Side side, int err,
                     Problem problem = Problem::FactsNotRead, bool masterFile = true) {
        Diagnostic diag{
            side, problem, side == Side::Master ? m_options.masterDir : m_options.compareDir,
            state.RelativeDir(state.ScanFileDirs[i]).substr(1) + state.ScanFileNames[i], err};
        m_host.diagnostic(diag);
        m_summary.notCompared.push_back(std::move(diag));
        if (masterFile)
            ++m_summary.notComparedFiles;
    }

    void comparePair(const ScanState &state, std::size_t i, const FileFacts &f,
                     std::vector<std::uint32_t> &listDirs, FactPrefetcher &facts) {
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
                                .dir = internDir(state, i, listDirs),
                                .result = v->result,
                                .detail = v->detail});
    }

    // The verdict on pair i's contents, into `pair`, yielding after every block pair. Returns
    // false when the pair gets no row: the run was stopped inside it, or a file could not be
    // read (then it is Not Compared).
    bool readContents(const ScanState &state, std::size_t i, PairFacts &pair,
                      FactPrefetcher &facts) {
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

    const CompareOptions &m_options;
    ResultsList &m_list;
    CompareHost &m_host;
    Progress m_progress;
    CompareSummary m_summary;
    bool m_stop = false;
};

} // namespace

CompareSummary RunCompare(const CompareOptions &given, ResultsList &list, CompareHost &host) {
    CompareOptions options = given;
    options.masterDir = NormalizeRoot(options.masterDir);
    options.compareDir = NormalizeRoot(options.compareDir);
    list.Clear();
    list.SetRoots(options.masterDir, options.compareDir);
    Run run(options, list, host);
    if (!run.yield())
        run.masterPass();
    if (options.listExtras && !run.stopped())
        run.extrasPass();
    CompareSummary summary = std::move(run.summary());
    summary.stopped = run.stopped();
    return summary;
}

} // namespace dirwise
