// dwc: the command-line twin of the Dirwise window. Runs the same compare and writes the
// same report bytes that Save List writes.

#include "CliOptions.h"
#include "Compare.h"
#include "Report.h"
#include "ResultsList.h"
#include "TextForms.h"

#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirwise;

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int) { g_interrupted = 1; }

void writeErr(const std::string &text) {
    const char *p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

std::string escaped(const std::string &name) {
    std::string out;
    AppendEscapedForTerminal(out, name);
    return out;
}

// The command line's host: Ctrl-C becomes Stop at the next yield, and on a terminal one
// progress line is redrawn a few times a second.
class CliHost : public CompareHost {
public:
    CliHost(ScanState &state, bool progress) : m_state(state), m_progress(progress) {}

    void yield() override {
        if (g_interrupted)
            m_state.StopRequested = true;
        if (!m_progress || (++m_calls & 1023) != 0)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(200))
            return;
        m_last = now;
        std::string line;
        if (m_state.Phase == ScanPhase::Comparing)
            line = "Comparing " + std::to_string(m_state.ComparedCount) + " of " +
                   std::to_string(m_state.ScanFileCount) + " files";
        else
            line = "Listing " + std::to_string(m_state.ScanFileCount) + " files";
        writeErr("\r" + line + "\033[K");
        m_shown = true;
    }

    void diagnostic(const Diagnostic &d) override {
        clearProgress();
        writeErr("dwc: not compared: " + escaped(d.path) + ": " + std::strerror(d.error) + "\n");
    }

    void clearProgress() {
        if (m_shown)
            writeErr("\r\033[K");
        m_shown = false;
    }

private:
    ScanState &m_state;
    bool m_progress;
    bool m_shown = false;
    unsigned m_calls = 0;
    std::chrono::steady_clock::time_point m_last{};
};

int trouble(const std::string &message) {
    writeErr("dwc: " + message + "\n");
    return 2;
}

bool isDirectory(const std::string &path, int &err) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        err = errno;
        return false;
    }
    err = ENOTDIR;
    return S_ISDIR(st.st_mode);
}

} // namespace

int main(int argc, char **argv) {
    std::setlocale(LC_ALL, "");
    // A closed pipe or a file-size limit must show up as a failed write, not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    const CliParse parse = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parse.ok()) {
        writeErr("dwc: " + parse.error + "\nTry 'dwc --help' for more information.\n");
        return 2;
    }
    const CliOptions &o = parse.options;
    if (o.help || o.version) {
        const std::string text = o.help ? UsageText() : "dwc " DIRWISE_VERSION "\n";
        const bool ok =
            ::write(STDOUT_FILENO, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            ::close(STDOUT_FILENO) == 0;
        return ok ? 0 : 2;
    }

    int err = 0;
    if (!isDirectory(o.compare.masterDir, err))
        return trouble("master directory " + escaped(o.compare.masterDir) + ": " +
                       std::strerror(err));
    if (!isDirectory(o.compare.compareDir, err))
        return trouble("compare directory " + escaped(o.compare.compareDir) + ": " +
                       std::strerror(err));

    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);

    ScanState state;
    ResultsList list;
    CliHost host(state, !o.quiet && ::isatty(STDERR_FILENO));
    const CompareSummary summary = RunCompare(o.compare, state, list, host);
    host.clearProgress();

    if (o.sortKey)
        list.Sort(*o.sortKey, o.descending ? SortOrder::Descending : SortOrder::Ascending);

    ReportStatus written;
    if (o.outputPath.empty()) {
        written = WriteReport(list, STDOUT_FILENO);
        if (written.ok && ::close(STDOUT_FILENO) != 0 && errno != EINTR)
            written = ReportStatus{false, std::strerror(errno)};
        if (!written.ok)
            written.error = "standard output: " + written.error;
    } else {
        written = SaveReport(list, o.outputPath);
    }
    if (!written.ok)
        writeErr("dwc: cannot write the report: " + escaped(written.error) + "\n");

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
    return summary.different > 0 ? 1 : 0;
}
