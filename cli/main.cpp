// dwc: the command-line twin of the Dirwise window. Runs the same compare and writes the
// same report bytes that Save List writes.

#include "CliOptions.h"
#include "Compare.h"
#include "Io.h"
#include "NotCompared.h"
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
#include <fcntl.h>
#include <memory>
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
// they come, and a report that cannot be written stops the run.
class CliHost : public CompareHost {
public:
    CliHost(bool progress, ResultsList &list, RowStream *stream)
        : m_progress(progress), m_list(list), m_stream(stream) {}

    bool yield(const Progress &p) override {
        if (m_progress && (++m_calls & 63) == 0)
            showProgress(p);
        if (m_stream && m_list.Count() >= RowStream::Batch && m_stream->Flush(false) != 0)
            return true;
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
    ResultsList &m_list;
    RowStream *m_stream;
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

// An existing report target that is a device (a terminal, /dev/null), opened for writing
// as SafeWrite would: `special` tells whether it is one; when it is and cannot be opened,
// the result is empty with errno set. A FIFO is not one of them: its reader may come late,
// so it is opened, as before, only once the report is complete.
UniqueFd openSpecialTarget(const std::string &path, bool &special) {
    struct stat st {};
    const std::string target = ResolveWriteTarget(path);
    special = ::stat(target.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
    if (!special)
        return UniqueFd();
    // O_NONBLOCK: a device that is not ready fails at once instead of hanging.
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd) {
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

// An unnamed temporary file for the report's bytes, in $TMPDIR or /tmp; empty when none
// can be made (the rows are then kept in the list).
UniqueFd makeSpool() {
    const char *env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    UniqueFd fd(::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd) {
        std::string name = dir + "/dwc-report.XXXXXX";
        fd.reset(::mkostemp(name.data(), O_CLOEXEC));
        if (fd)
            ::unlink(name.c_str());
    }
    return fd;
}

// The bytes of the spool from its start, as often as SafeWrite asks.
ByteProducer replaySpool(int fd) {
    return [fd](const std::function<int(std::string_view)> &write) {
        std::vector<char> buffer(256 * 1024);
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            if (n == 0)
                return 0;
            if (const int err = write(std::string_view(buffer.data(), static_cast<std::size_t>(n))))
                return err;
            at += n;
        }
    };
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

    // Without a sort, rows are written as the run appends them: to standard output or a
    // device as they come, and to a file or a FIFO through a temporary file that SafeWrite
    // copies at the end, so that a file is still replaced whole or not at all.
    ResultsList list;
    UniqueFd out;
    std::string outName = "standard output";
    bool direct = o.outputPath.empty();
    if (direct) {
        out.reset(STDOUT_FILENO);
    } else if (!o.sortKey) {
        out = openSpecialTarget(o.outputPath, direct);
        if (direct && !out) {
            const int err = errno;
            writeErr("dwc: cannot write the report: " +
                     EscapeForDisplay(o.outputPath + ": " + std::strerror(err)) + "\n");
            return 2;
        }
        outName = o.outputPath;
        if (!direct) {
            out = makeSpool();
            outName = "temporary file";
        }
    }
    std::unique_ptr<RowStream> stream;
    if (!o.sortKey && out)
        stream = std::make_unique<RowStream>(list, out.get(), o.format);
    CliHost host(!o.quiet && ::isatty(STDERR_FILENO), list, stream.get());
    const CompareSummary summary = RunCompare(o.compare, list, host);
    host.clearProgress();
    // The report names every place that was not compared, as rows like the others.
    AppendNotComparedRows(summary, list);

    if (o.sortKey)
        list.Sort(*o.sortKey, o.descending ? SortOrder::Descending : SortOrder::Ascending);

    ReportStatus written;
    if (stream) {
        int err = stream->Flush(true);
        if (direct) {
            if (const int closeErr = out.close(); err == 0)
                err = closeErr;
        } else if (err == 0) {
            const int spool = out.get();
            err = SafeWrite(o.outputPath, replaySpool(spool), SpecialTarget::WriteInPlace);
            outName = o.outputPath;
        }
        if (err != 0)
            written = ReportStatus{false, outName + ": " + std::strerror(err)};
    } else if (o.outputPath.empty()) {
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

    if (stream && stream->error() != 0)
        return 2; // the run stopped because its report could not be written
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
