// dwc: the command-line twin of the Dirwise window. Runs the same compare and writes the
// same report bytes that Save List writes.

#include "CliOptions.h"
#include "Compare.h"
#include "HtmlPage.h"
#include "Io.h"
#include "MemoryReserve.h"
#include "Messages.h"
#include "NotCompared.h"
#include "OptionsText.h"
#include "ProductInfo.h"
#include "Report.h"
#include "ReportChecks.h"
#include "ReportTarget.h"
#include "ResultsList.h"
#include "Roots.h"
#include "SafeWrite.h"
#include "SnapshotWriter.h"
#include "TextForms.h"

#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <new>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirwise;
using dirwise::cli::ErrorText;
using dirwise::cli::Format;
using dirwise::cli::Trouble;

namespace {

// The signal that asked the run to stop (SIGINT, SIGTERM or SIGHUP), or 0.
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int signal) { g_interrupted = signal; }

// Nothing useful can be done when standard error itself fails.
void writeErr(const std::string &text) { (void)WriteAll(STDERR_FILENO, text); }

// A reader that closed the report's pipe wants no more: dwc ends as other filters do, by the
// signal and without a word, so a shell pipeline stays quiet. (The signal is ignored while
// dwc runs so that every other failed write is reported.)
[[noreturn]] void endByBrokenPipe() {
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
}

// Whether standard error is a terminal that can redraw a line in place: one the user looks
// at, and not the dumb kind, which knows no cursor movement.
bool progressTerminal() {
    const char *term = std::getenv("TERM");
    return ::isatty(STDERR_FILENO) && term && *term && std::strcmp(term, "dumb") != 0;
}

// Writes the report of the rows a run appends while it runs, a batch at a time, and takes
// them out of the list: a run of any size then holds no more than a batch of rows. The
// bytes are those WriteReport writes for the same rows.
class RowStream {
public:
    RowStream(ResultsList &list, int fd, ReportFormat format)
        : m_list(list), m_fd(fd), m_format(format) {
        if (format == ReportFormat::Csv)
            m_buffer = CsvHeader();
    }

    // Turns the rows in the list into report bytes, removes them, and writes what has
    // gathered (everything with `all`). Returns 0, or the errno of the first write that
    // failed; after a failure rows are only removed.
    int Flush(bool all) {
        const std::size_t n = m_list.Count();
        for (std::size_t i = 0; i < n && m_error == 0; ++i) {
            AppendLine(m_buffer, m_list, i, m_format);
            if (m_buffer.size() >= WriteAt)
                write();
        }
        if (n > 0) {
            std::vector<std::size_t> rows(n);
            for (std::size_t i = 0; i < n; ++i)
                rows[i] = i;
            m_list.Remove(std::move(rows));
        }
        if (all && !m_buffer.empty() && m_error == 0)
            write();
        return m_error;
    }
    [[nodiscard]] int error() const { return m_error; }

    // Rows gathered before the host writes them.
    static constexpr std::size_t Batch = 512;

private:
    static constexpr std::size_t WriteAt = 256 * 1024;

    void write() {
        m_error = WriteAll(m_fd, m_buffer);
        m_buffer.clear();
    }

    ResultsList &m_list;
    int m_fd;
    ReportFormat m_format;
    std::string m_buffer;
    int m_error = 0;
};

// The command line's host: Ctrl-C becomes Stop at the next yield, and on a terminal one
// progress line is redrawn a few times a second. With a row stream, the rows are written as
// they come, and a report that cannot be written stops the run. When the rows go to the
// terminal that shows the progress, the progress line is taken away before they are written.
class CliHost : public CompareHost {
public:
    CliHost(bool progress, ResultsList &list, RowStream *stream, bool rowsOnTerminal)
        : m_progress(progress), m_list(list), m_stream(stream), m_rowsOnTerminal(rowsOnTerminal) {}

    bool yield(const Progress &p) override {
        RearmMemoryReserve();
        m_lastProgress = p;
        // During the walk the roots are checked as soon as that costs no wait, so a transport
        // that failed (a mistyped host) ends a long walk of the other tree at once.
        const bool checkNow = p.phase != Phase::Listing ||
                              ((++m_listed & 255) == 0 && m_checkReady && m_checkReady());
        if (!m_refused.empty() || (m_check && checkNow && !rootsServe()))
            return true;
        if (m_progress && (++m_calls & 63) == 0)
            showProgress(p);
        if (m_watchOutput && readerGone())
            return true;
        if (m_stream && m_list.Count() >= RowStream::Batch) {
            if (m_rowsOnTerminal)
                clearProgress();
            if (m_stream->Flush(false) != 0)
                return true;
        }
        return g_interrupted != 0;
    }

    // Waiting for a source: Ctrl-C ends the remote roots' transports, which ends the wait.
    void waiting(const Progress &p) override {
        if (m_progress)
            showProgress(p);
        if (g_interrupted != 0 && m_onInterrupt) {
            m_onInterrupt();
            m_onInterrupt = nullptr;
        }
    }

    void diagnostic(const Diagnostic &d) override {
        if (!rootsServe() || g_interrupted != 0)
            return; // a root that cannot serve is told instead, once; a stopped run says so
        std::string place = d.Path();
        std::string why;
        if (d.problem == Problem::RootGone) {
            // Every later file of that tree follows the root: its loss is told once.
            bool &told = m_toldGone[d.side == Side::Compare ? 1 : 0];
            if (told)
                return;
            told = true;
            place = d.root;
            why = d.side == Side::Compare ? _("compare folder went away")
                                          : _("master folder went away");
        } else if (d.problem == Problem::WalkedAlready) {
            why = Format(_("already compared as %s"), {EscapeForDisplay(d.walkedAs)});
        } else {
            why = ErrorText(d.error);
        }
        clearProgress();
        writeErr("dwc: " +
                 Format(m_snapshot ? _("not read: %s: %s") : _("not compared: %s: %s"),
                        {EscapeForDisplay(place), why}) +
                 "\n");
    }

    // For a snapshot: places not read are told as such, and the run stops when standard
    // output is a pipe whose reader has gone (a remote compare that ended or was stopped),
    // since nothing would read what is left.
    void forSnapshot(bool watchOutput) {
        m_snapshot = true;
        m_watchOutput = watchOutput;
    }

    // `check` tells, before the first file is compared or the first diagnostic is told, why
    // the roots cannot serve the run ("" when they can); the run then stops and refused()
    // says why. `ready` tells whether `check` would answer without waiting: then it is asked
    // during the walk already.
    void checkRootsWith(std::function<std::string()> check, std::function<bool()> ready) {
        m_check = std::move(check);
        m_checkReady = std::move(ready);
    }
    [[nodiscard]] const std::string &refused() const { return m_refused; }
    // What the run's latest yield told.
    [[nodiscard]] const Progress &lastProgress() const { return m_lastProgress; }
    // What ends the roots' waits when Ctrl-C comes while the run waits for them.
    void onInterrupt(std::function<void()> stop) { m_onInterrupt = std::move(stop); }

    void clearProgress() {
        if (m_shown)
            writeErr("\r\033[K");
        m_shown = false;
    }

private:
    bool rootsServe() {
        if (m_check) {
            m_refused = m_check();
            m_check = nullptr;
        }
        return m_refused.empty();
    }

    bool readerGone() {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastWatch < std::chrono::milliseconds(100))
            return false;
        m_lastWatch = now;
        pollfd out{STDOUT_FILENO, 0, 0};
        return ::poll(&out, 1, 0) > 0 && (out.revents & (POLLERR | POLLHUP)) != 0;
    }

    void showProgress(const Progress &p) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(200))
            return;
        m_last = now;
        std::string line;
        const std::string listed = std::to_string(p.listed);
        const std::string compared = std::to_string(p.compared);
        switch (p.phase) {
        case Phase::Listing:
            line = Format(_("Listing %s files"), {listed});
            break;
        case Phase::Comparing:
            line = Format(_("Comparing %s of %s files"), {compared, listed});
            break;
        case Phase::Extras:
            line = Format(_("Looking for extra files: %s of %s"), {compared, listed});
            break;
        }
        if (p.bytesVerified > 0)
            line +=
                Format(_(", %s MiB verified"), {std::to_string(p.bytesVerified / (1024 * 1024))});
        writeErr("\r" + line + "\033[K");
        m_shown = true;
    }

    bool m_progress;
    ResultsList &m_list;
    RowStream *m_stream;
    bool m_rowsOnTerminal;
    bool m_shown = false;
    unsigned m_calls = 0;
    std::chrono::steady_clock::time_point m_last{};
    bool m_snapshot = false;
    bool m_toldGone[2] = {false, false}; // a root's loss was told, by Side
    bool m_watchOutput = false;
    std::chrono::steady_clock::time_point m_lastWatch{};
    std::function<std::string()> m_check;
    std::function<bool()> m_checkReady;
    Progress m_lastProgress;
    std::uint32_t m_listed = 0; // yields of the walk, to look at the roots now and then
    std::string m_refused;
    std::function<void()> m_onInterrupt;
};

// The summary for standard error, in the user's language.
std::string summaryText(const CompareSummary &s) {
    if (s.stopped)
        return std::string(_("Dirwise stopped.")) + "\n";
    auto line = [](const char *format, std::int64_t n) {
        return Format(format, {std::to_string(n)}) + "\n";
    };
    std::string text = std::string(_("Dirwise complete.")) + "\n\n";
    text += line(_("Total Files: %s"), s.total());
    text += line(_("Matching Files: %s"), s.matching());
    text += line(_("Different Files: %s"), s.different);
    if (s.extrasListed)
        text += line(_("Extra Files: %s"), s.extras);
    if (s.skipping) {
        text += line(_("Skipped Folders: %s"), s.skippedFolders);
        text += line(_("Skipped Files: %s"), s.skippedFiles);
    }
    if (!s.notCompared.empty())
        text += line(_("Not Compared: %s"), static_cast<std::int64_t>(s.notCompared.size()));
    return text;
}

// What --version prints, in the form GNU tools print it.
std::string versionText() {
    return std::string("dwc (") + productinfo::title + ") " + productinfo::versionText + "\n" +
           productinfo::legalNotice + "\n" +
           _("License MIT: <https://opensource.org/licenses/MIT>.\n"
             "This is free software: you are free to change and redistribute it.\n"
             "There is NO WARRANTY, to the extent permitted by law.\n");
}

// dwc --snapshot: the folder's manifest to standard output as it is walked, or to a file
// through a staging file beside it that SafeWrite copies at the end (replaced whole or not
// at all, and never a file of the folder it describes). Returns the exit status.
int writeSnapshot(const CliOptions &o) {
    const std::string root = NormalizeRoot(o.compare.masterDir);
    if (const int err = CheckRoot(root))
        return Trouble(
            Format(_("folder %s: %s"), {EscapeForDisplay(o.compare.masterDir), ErrorText(err)}));
    UniqueFd out;
    if (o.outputPath.empty()) {
        out.reset(STDOUT_FILENO);
    } else {
        ReportPlace place;
        if (const int err = cli::LocateTarget(o.outputPath, place))
            return Trouble(Format(_("cannot write the snapshot: %s: %s"),
                                  {EscapeForDisplay(o.outputPath), ErrorText(err)}));
        if (ReportInTree(place, root, false))
            return Trouble(Format(_("the snapshot would be written inside the folder it "
                                    "describes: %s"),
                                  {EscapeForDisplay(o.outputPath)}));
        const std::string target = ResolveWriteTarget(o.outputPath);
        const auto slash = target.rfind('/');
        out = MakeStagingFile(slash == std::string::npos ? "."
                              : slash == 0               ? "/"
                                                         : target.substr(0, slash));
        if (!out)
            return Trouble(Format(_("cannot write the snapshot: %s: %s"),
                                  {EscapeForDisplay(o.outputPath), ErrorText(errno)}));
    }
    ResultsList unused;
    CliHost host(!o.quiet && progressTerminal(), unused, nullptr, false);
    host.forSnapshot(o.outputPath.empty());
    const SnapshotSummary s = WriteSnapshot(root, out.get(), {o.compare.verifyContents}, host);
    host.clearProgress();
    int err = s.writeError;
    if (err == 0 && !o.outputPath.empty() && !s.stopped)
        err = SafeWrite(o.outputPath, ReplayStagingFile(out.get()), SpecialTarget::WriteInPlace);
    if (const int closeErr = out.close(); err == 0)
        err = closeErr;
    if (err == EPIPE)
        endByBrokenPipe();
    if (err != 0)
        return Trouble(
            Format(_("cannot write the snapshot: %s: %s"),
                   {EscapeForDisplay(o.outputPath.empty() ? _("standard output") : o.outputPath),
                    ErrorText(err)}));
    if (s.stopped && g_interrupted == 0)
        endByBrokenPipe(); // standard output's reader went away
    if (s.stopped)
        return 128 + static_cast<int>(g_interrupted);
    if (!o.quiet)
        writeErr(Format(_("Snapshot: %s entries, %s not read."),
                        {std::to_string(s.entries), std::to_string(s.notRead.size())}) +
                 "\n");
    return s.notRead.empty() ? 0 : 2;
}

int runDwc(int argc, char **argv) {
    const CliParse parse = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parse.ok()) {
        writeErr("dwc: " + parse.error + "\n" + _("Try 'dwc --help' for more information.") + "\n");
        return 2;
    }
    CliOptions o = parse.options;
    for (const std::string &warning : parse.warnings)
        writeErr("dwc: " + Format(_("warning: %s"), {warning}) + "\n");
    if (o.help || o.version) {
        const std::string text = o.help ? UsageText() : versionText();
        UniqueFd out(STDOUT_FILENO);
        const int err = WriteAll(out.get(), text);
        if (err == EPIPE)
            endByBrokenPipe();
        return err == 0 && out.close() == 0 ? 0 : 2;
    }

    // Ctrl-C, SIGTERM and SIGHUP all stop the run at its next yield, so that what was found
    // so far reaches standard output and an earlier report at -o's target stays as it was.
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &sa, nullptr);
    if (o.snapshot)
        return writeSnapshot(o);

    if (const std::string problem = ReadSkipRules(o); !problem.empty())
        return Trouble(problem);
    ReportPlace place;
    OpenedRoot masterRoot, compareRoot;
    if (const int status = cli::CheckBeforeTheRun(o, place, masterRoot, compareRoot))
        return status;

    // Rows go to standard output, a descriptor named by -o (/dev/stdout, /dev/fd/N) and a
    // device as they come. A file or a FIFO gets its report only when the run is complete:
    // without a sort the rows are gathered in a file beside the target (on the same file
    // system, whatever $TMPDIR holds) that SafeWrite copies at the end, so a file is still
    // replaced whole or not at all; where none can be made, they are kept in the list.
    ResultsList list;
    UniqueFd out;
    std::string outName = _("standard output");
    bool direct = o.outputPath.empty();
    if (direct) {
        out.reset(STDOUT_FILENO);
    } else if (const int fd = DescriptorTarget(o.outputPath); fd >= 0) {
        out.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
        direct = true;
        outName = o.outputPath;
    } else {
        out = cli::OpenSpecialTarget(o.outputPath, direct);
        if (direct && !out) {
            const int err = errno;
            return Trouble(Format(_("cannot write the report: %s: %s"),
                                  {EscapeForDisplay(o.outputPath), ErrorText(err)}));
        }
        outName = o.outputPath;
        if (!direct && !o.sortKey && !o.htmlPage) {
            const std::string target = ResolveWriteTarget(o.outputPath);
            const auto slash = target.rfind('/');
            out = MakeStagingFile(slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : target.substr(0, slash));
        }
    }
    // A terminal shows the report: names there are escaped as messages are (files and
    // pipes get the bytes).
    const ReportFormat shownFormat =
        direct && o.format == ReportFormat::Report && ::isatty(out.get()) ? ReportFormat::Terminal
                                                                          : o.format;
    // The page is one document: its rows are gathered, never streamed.
    std::unique_ptr<RowStream> stream;
    if (!o.sortKey && !o.htmlPage && out)
        stream = std::make_unique<RowStream>(list, out.get(), shownFormat);
    const PageInfo page{.options = OptionsText(o.compare), .when = ::time(nullptr)};
    CliHost host(!o.quiet && progressTerminal(), list, stream.get(),
                 direct && out && ::isatty(out.get()));
    host.checkRootsWith(
        [&] {
            // A remote tree's transport is started, not waited for, so the walk of the other tree
            // goes on while ssh connects. Its own failures end it before its root's line: that
            // line is waited for here, before the first file is compared, with Ctrl-C at hand.
            while (!masterRoot.Ready() || !compareRoot.Ready()) {
                host.waiting(host.lastProgress());
                if (g_interrupted != 0)
                    return std::string(); // the run stops at the yield that asked
                ::usleep(5000);
            }
            if (g_interrupted != 0) // a root that Ctrl-C ended has nothing more to say
                return std::string();
            return cli::CheckRoots(masterRoot, o.compare.masterDir, compareRoot,
                                   o.compare.compareDir);
        },
        [&] { return masterRoot.Ready() && compareRoot.Ready(); });
    host.onInterrupt([&] {
        masterRoot.Stop();
        compareRoot.Stop();
    });
    const CompareSummary summary =
        RunCompare(o.compare, *masterRoot.source, *compareRoot.source, list, host);
    host.clearProgress();
    if (!host.refused().empty()) { // before anything was compared or written
        for (OpenedRoot *root : {&masterRoot, &compareRoot})
            root->Stop();
        return Trouble(host.refused());
    }
    // A remote root that broke off (or whose transport failed) makes the run's answer unsure.
    bool remoteFailed = false;
    for (const auto &[root, given] : {std::pair{&masterRoot, &o.compare.masterDir},
                                      std::pair{&compareRoot, &o.compare.compareDir}}) {
        if (summary.stopped)
            root->Stop();
        const std::string error = cli::FinishRoot(*root);
        if (!error.empty() && !summary.stopped) {
            writeErr("dwc: " + Format(_("remote root %s: %s"), {EscapeForDisplay(*given), error}) +
                     "\n");
            remoteFailed = true;
        }
    }
    // The report names every place that was not compared, as rows like the others.
    AppendNotComparedRows(summary, list);

    if (o.sortKey) {
        list.Sort(*o.sortKey, o.descending ? SortOrder::Descending : SortOrder::Ascending);
        if (direct && !o.htmlPage)
            stream = std::make_unique<RowStream>(list, out.get(), o.format);
    }

    ReportStatus written;
    // A stopped run leaves a file at -o's target as it was: a partial report never replaces
    // a complete one.
    const bool keepOld = !direct && summary.stopped;
    int refused = 0;
    if (!direct && !keepOld)
        refused = cli::CheckAgainBeforeWriting(o, place);
    if (stream) {
        int err = stream->Flush(true);
        if (direct) {
            if (const int closeErr = out.close(); err == 0)
                err = closeErr;
        } else if (err == 0 && !keepOld && refused == 0) {
            err =
                SafeWrite(o.outputPath, ReplayStagingFile(out.get()), SpecialTarget::WriteInPlace);
        }
        if (err == EPIPE)
            endByBrokenPipe();
        if (err != 0)
            written = ReportStatus{false, outName + ": " + ErrorText(err)};
    } else if (direct) {
        written = o.htmlPage ? WriteHtmlPage(list, page, out.get())
                             : WriteReport(list, out.get(), shownFormat);
        if (const int err = out.close(); written.ok && err != 0)
            written = ReportStatus{false, ErrorText(err)};
        if (!written.ok)
            written.error = outName + ": " + written.error;
    } else if (!keepOld && refused == 0) {
        written = o.htmlPage ? SaveHtmlPage(list, page, o.outputPath)
                             : SaveReport(list, o.outputPath, o.format);
    }
    if (!written.ok)
        writeErr(
            "dwc: " + Format(_("cannot write the report: %s"), {EscapeForDisplay(written.error)}) +
            "\n");
    if (keepOld)
        writeErr("dwc: " +
                 Format(_("the run was stopped; the report was not written and %s is as it was"),
                        {EscapeForDisplay(o.outputPath)}) +
                 "\n");

    if (!o.quiet)
        writeErr(summaryText(summary));

    if (stream && stream->error() != 0)
        return 2; // the run stopped because its report could not be written
    if (summary.stopped)
        return 128 + (g_interrupted != 0 ? static_cast<int>(g_interrupted) : SIGINT);
    if (!written.ok || refused != 0 || !summary.notCompared.empty() || remoteFailed)
        return 2;
    return summary.different > 0 || summary.extras > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    if (!ArmMemoryReserve())
        return 2;
    cli::InitMessages();
    // A failed write is reported, not fatal: a full disk or a file-size limit is told as
    // such. A closed pipe ends dwc where the report is written (endByBrokenPipe).
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return runDwc(argc, argv);
    } catch (const std::bad_alloc &) {
        writeErr(std::string("dwc: ") + _("out of memory") + "\n");
        return 2;
    }
}
