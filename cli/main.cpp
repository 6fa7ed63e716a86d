// dwc: the command-line twin of the Dirwise window. Runs the same compare and writes the
// same report bytes that Save List writes.

#include "CliOptions.h"
#include "Compare.h"
#include "Io.h"
#include "ProductInfo.h"
#include "Report.h"
#include "ResultsList.h"
#include "SafeWrite.h"
#include "TextForms.h"

#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirwise;

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int) { g_interrupted = 1; }

// Nothing useful can be done when standard error itself fails.
void writeErr(const std::string &text) { (void)WriteAll(STDERR_FILENO, text); }

// The command line's host: Ctrl-C becomes Stop at the next yield, and on a terminal one
// progress line is redrawn a few times a second.
class CliHost : public CompareHost {
public:
    explicit CliHost(bool progress) : m_progress(progress) {}

    bool yield(const Progress &p) override {
        if (m_progress && (++m_calls & 63) == 0)
            showProgress(p);
        return g_interrupted != 0;
    }

    void diagnostic(const Diagnostic &d) override {
        clearProgress();
        writeErr("dwc: not compared: " + EscapeForDisplay(d.path) + ": " + std::strerror(d.error) +
                 "\n");
    }

    void clearProgress() {
        if (m_shown)
            writeErr("\r\033[K");
        m_shown = false;
    }

private:
    void showProgress(const Progress &p) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(200))
            return;
        m_last = now;
        std::string line;
        switch (p.phase) {
        case Phase::Listing:
            line = "Listing " + std::to_string(p.listed) + " files";
            break;
        case Phase::Comparing:
            line = "Comparing " + std::to_string(p.compared) + " of " + std::to_string(p.listed) +
                   " files";
            break;
        case Phase::Extras:
            line = "Looking for extra files: " + std::to_string(p.compared) + " of " +
                   std::to_string(p.listed);
            break;
        }
        if (p.bytesVerified > 0)
            line += ", " + std::to_string(p.bytesVerified / (1024 * 1024)) + " MiB verified";
        writeErr("\r" + line + "\033[K");
        m_shown = true;
    }

    bool m_progress;
    bool m_shown = false;
    unsigned m_calls = 0;
    std::chrono::steady_clock::time_point m_last{};
};

int trouble(const std::string &message) {
    writeErr("dwc: " + message + "\n");
    return 2;
}

// The real path of an existing `path`, or "" when it has none.
std::string realPath(const std::string &path) {
    char *real = ::realpath(path.c_str(), nullptr);
    std::string out = real ? real : "";
    std::free(real);
    return out;
}

// Whether the existing file `file` lies inside directory `dir` (both real paths).
bool inside(const std::string &file, const std::string &dir) {
    if (file.empty() || dir.empty())
        return false;
    const std::string prefix = dir == "/" ? dir : dir + "/";
    return file.rfind(prefix, 0) == 0;
}

// What must hold before any work is done: two usable, different roots, and a report target
// that can be written and is no file of either tree. Returns 0 or the exit status.
int checkBeforeTheRun(const CliOptions &o) {
    for (const auto &[root, what] : {std::pair{&o.compare.masterDir, "master directory "},
                                     std::pair{&o.compare.compareDir, "compare directory "}})
        if (const int err = CheckRoot(NormalizeRoot(*root)))
            return trouble(what + EscapeForDisplay(*root) + ": " + std::strerror(err));
    struct stat master {
    }, compare{};
    if (::stat(o.compare.masterDir.c_str(), &master) == 0 &&
        ::stat(o.compare.compareDir.c_str(), &compare) == 0 && master.st_dev == compare.st_dev &&
        master.st_ino == compare.st_ino)
        return trouble("the master and compare directories are the same directory: " +
                       EscapeForDisplay(o.compare.compareDir));
    if (o.outputPath.empty())
        return 0;
    if (const int err = CheckWriteTarget(o.outputPath, SpecialTarget::WriteInPlace))
        return trouble("cannot write the report: " + EscapeForDisplay(o.outputPath) + ": " +
                       std::strerror(err));
    const std::string target = realPath(ResolveWriteTarget(o.outputPath));
    for (const auto &[root, what] :
         {std::pair{&o.compare.masterDir, "master"}, std::pair{&o.compare.compareDir, "compare"}})
        if (inside(target, realPath(*root)))
            return trouble(std::string("the report would overwrite a file inside the ") + what +
                           " directory: " + EscapeForDisplay(o.outputPath));
    return 0;
}

int runDwc(int argc, char **argv) {
    const CliParse parse = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parse.ok()) {
        writeErr("dwc: " + parse.error + "\nTry 'dwc --help' for more information.\n");
        return 2;
    }
    const CliOptions &o = parse.options;
    if (o.help || o.version) {
        const std::string text =
            o.help ? UsageText() : std::string("dwc ") + productinfo::versionText + "\n";
        UniqueFd out(STDOUT_FILENO);
        const bool ok = WriteAll(out.get(), text) == 0 && out.close() == 0;
        return ok ? 0 : 2;
    }

    if (const int status = checkBeforeTheRun(o))
        return status;

    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);

    ResultsList list;
    CliHost host(!o.quiet && ::isatty(STDERR_FILENO));
    const CompareSummary summary = RunCompare(o.compare, list, host);
    host.clearProgress();

    if (o.sortKey)
        list.Sort(*o.sortKey, o.descending ? SortOrder::Descending : SortOrder::Ascending);

    ReportStatus written;
    if (o.outputPath.empty()) {
        UniqueFd out(STDOUT_FILENO);
        written = WriteReport(list, out.get(), o.format);
        if (const int err = out.close(); written.ok && err != 0)
            written = ReportStatus{false, std::strerror(err)};
        if (!written.ok)
            written.error = "standard output: " + written.error;
    } else {
        written = SaveReport(list, o.outputPath, o.format);
    }
    if (!written.ok)
        writeErr("dwc: cannot write the report: " + EscapeForDisplay(written.error) + "\n");

    if (!o.quiet) {
        std::string text;
        for (const std::string &line : SummaryLines(summary))
            text += line + "\n";
        writeErr(text);
    }

    if (summary.stopped)
        return 130;
    if (!written.ok || !summary.notCompared.empty())
        return 2;
    return summary.different > 0 || summary.extras > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    std::setlocale(LC_ALL, "");
    // A closed pipe or a file-size limit must show up as a failed write, not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return runDwc(argc, argv);
    } catch (const std::bad_alloc &) {
        writeErr("dwc: out of memory\n");
        return 2;
    }
}
