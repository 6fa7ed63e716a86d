#include "Report.h"

#include "Io.h"
#include "TextForms.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {
namespace {

constexpr std::size_t FlushAt = 256 * 1024;

ReportStatus failure(const std::string &path, int err) {
    ReportStatus s;
    s.ok = false;
    s.error = path.empty() ? std::string(std::strerror(err)) : path + ": " + std::strerror(err);
    return s;
}

// Writes the report and returns 0 or the errno of the first failed write. `written` counts
// the bytes that reached the descriptor.
int writeRows(const ResultsList &list, int fd, ReportFormat format, off_t &written) {
    std::string buf;
    buf.reserve(FlushAt + 4096);
    written = 0;
    if (format == ReportFormat::Csv)
        buf += CsvHeader();
    for (std::size_t i = 0; i < list.Count(); ++i) {
        if (format == ReportFormat::Csv)
            AppendCsvLine(buf, list, i);
        else if (format == ReportFormat::Json)
            AppendJsonLine(buf, list, i);
        else
            AppendReportLine(buf, list, i);
        if (buf.size() >= FlushAt) {
            if (int err = WriteAll(fd, buf))
                return err;
            written += static_cast<off_t>(buf.size());
            buf.clear();
        }
    }
    if (int err = WriteAll(fd, buf))
        return err;
    written += static_cast<off_t>(buf.size());
    return 0;
}

mode_t currentUmask() {
    // Reading the mask through umask() would briefly change it for the whole process.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

std::string directoryOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symlinks by hand so that a dangling link still names the file it would create.
// Returns false with `err` set on a loop or a failed read of a link.
bool resolveTarget(std::string path, std::string &out, int &err) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = path;
            return true;
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) {
            err = errno;
            return false;
        }
        target.resize(static_cast<std::size_t>(n));
        path =
            (!target.empty() && target.front() == '/') ? target : directoryOf(path) + "/" + target;
    }
    err = ELOOP;
    return false;
}

// Writes into an existing file that is not a regular file and must never be replaced:
// a device, a FIFO with a reader, a terminal.
ReportStatus writeInPlace(const ResultsList &list, const std::string &path, ReportFormat format) {
    // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO) instead of hanging.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return failure(path, errno);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    off_t written = 0;
    int err = writeRows(list, fd.get(), format, written);
    if (const int closeErr = fd.close(); err == 0)
        err = closeErr;
    return err ? failure(path, err) : ReportStatus{};
}

// Copies the finished report `from` over the contents of `to` in place, then cuts `to` to
// `size` and syncs it. Returns 0 or the errno that stopped it.
int copyInto(const std::string &from, const std::string &to, off_t size) {
    const UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in)
        return errno;
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CLOEXEC));
    if (!out)
        return errno;
    int err = 0;
    std::string buf(FlushAt, '\0');
    for (;;) {
        const ssize_t n = ::read(in.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0)
            break;
        if ((err = WriteAll(out.get(),
                            std::string_view(buf.data(), static_cast<std::size_t>(n)))) != 0)
            break;
    }
    if (err == 0 && (::ftruncate(out.get(), size) != 0 || ::fsync(out.get()) != 0))
        err = errno;
    if (const int closeErr = out.close(); err == 0)
        err = closeErr;
    return err;
}

} // namespace

void AppendReportLine(std::string &out, const ResultsList &list, std::size_t i) {
    // The first six columns, as shown; the compare date is never written.
    for (int c = 0; c <= static_cast<int>(Column::MasterDate); ++c) {
        if (c > 0)
            out += '\t';
        AppendEscapedField(out, list.Text(i, static_cast<Column>(c)));
    }
    out += "\r\n";
}

const char *CsvHeader() {
    return "result,path,master_size,compare_size,master_date,compare_date,difference\n";
}

std::string MachineName(std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = Utf8SequenceLength(bytes, i);
        if (n == 0) {
            const auto c = static_cast<unsigned char>(bytes[i++]);
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (bytes[i] == '\\') {
            out += "\\\\";
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

namespace {

// The values of one row for the machine formats; an empty optional is an absent value.
struct MachineRow {
    std::string result, path;
    std::optional<std::int64_t> masterSize, compareSize;
    std::optional<std::string> masterDate, compareDate;
    std::string difference;
};

MachineRow machineRow(const ResultsList &list, std::size_t i) {
    const ResultRow &r = list.Row(i);
    MachineRow m;
    m.result = ResultText(r.result);
    m.path = MachineName(list.RelativeDir(i).substr(1) + r.name);
    if (r.has(Column::MasterSize)) {
        m.masterSize = r.masterSize;
        m.masterDate = IsoUtcText(r.masterTime);
    }
    if (r.has(Column::CompareSize)) {
        m.compareSize = r.compareSize;
        m.compareDate = IsoUtcText(r.compareTime);
    }
    m.difference = DifferenceText(r, "");
    return m;
}

void appendCsvField(std::string &out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendJsonString(std::string &out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

} // namespace

void AppendCsvLine(std::string &out, const ResultsList &list, std::size_t i) {
    const MachineRow m = machineRow(list, i);
    appendCsvField(out, m.result);
    out += ',';
    appendCsvField(out, m.path);
    for (const auto &size : {m.masterSize, m.compareSize}) {
        out += ',';
        if (size)
            out += std::to_string(*size);
    }
    for (const auto &date : {m.masterDate, m.compareDate}) {
        out += ',';
        if (date)
            out += *date;
    }
    out += ',';
    appendCsvField(out, m.difference);
    out += '\n';
}

void AppendJsonLine(std::string &out, const ResultsList &list, std::size_t i) {
    const MachineRow m = machineRow(list, i);
    auto number = [&](const char *key, const std::optional<std::int64_t> &v) {
        out += key;
        out += v ? std::to_string(*v) : "null";
    };
    auto text = [&](const char *key, const std::optional<std::string> &v) {
        out += key;
        if (v)
            appendJsonString(out, *v);
        else
            out += "null";
    };
    text("{\"result\":", m.result);
    text(",\"path\":", m.path);
    number(",\"master_size\":", m.masterSize);
    number(",\"compare_size\":", m.compareSize);
    text(",\"master_date\":", m.masterDate);
    text(",\"compare_date\":", m.compareDate);
    text(",\"difference\":", m.difference.empty() ? std::nullopt : std::optional(m.difference));
    out += "}\n";
}

ReportStatus WriteReport(const ResultsList &list, int fd, ReportFormat format) {
    off_t written = 0;
    const int err = writeRows(list, fd, format, written);
    return err ? failure(std::string(), err) : ReportStatus{};
}

ReportStatus SaveReport(const ResultsList &list, const std::string &path, ReportFormat format) {
    if (path.empty())
        return failure(path, ENOENT);
    std::string target;
    int err = 0;
    if (!resolveTarget(path, target, err))
        return failure(path, err);

    mode_t mode = 0666 & ~currentUmask();
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return failure(path, errno);
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return failure(path, EISDIR);
        if (::access(target.c_str(), W_OK) != 0)
            return failure(path, errno);
        if (!S_ISREG(st.st_mode))
            return writeInPlace(list, target, format);
        mode = st.st_mode & 07777;
    }

    const std::string dir = directoryOf(target);
    const auto slash = target.rfind('/');
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd)
        return failure(path, errno);
    if (::fchmod(fd.get(), mode) != 0)
        err = errno;
    if (exists && err == 0) {
        // Keep the owner where we may (root saving a user's file); failure is harmless.
        if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
        }
    }
    off_t written = 0;
    if (err == 0)
        err = writeRows(list, fd.get(), format, written);
    if (err == 0 && ::fsync(fd.get()) != 0)
        err = errno;
    if (const int closeErr = fd.close(); err == 0)
        err = closeErr;
    if (err == 0) {
        // With several hard links, every name must see the new report: the complete copy
        // is poured into the old file instead of renamed over one of its names.
        if (exists && st.st_nlink > 1)
            err = copyInto(temp, target, written);
        else if (::rename(temp.c_str(), target.c_str()) != 0)
            err = errno;
    }
    if (err != 0 || (exists && st.st_nlink > 1))
        ::unlink(temp.c_str());
    if (err != 0)
        return failure(path, err);
    // Make the rename itself durable; the report is complete either way, so a directory
    // that cannot be synced is not an error.
    const UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd)
        ::fsync(dirFd.get());
    return {};
}

} // namespace dirwise
