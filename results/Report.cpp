#include "Report.h"

#include "Io.h"
#include "SafeWrite.h"
#include "TextForms.h"

#include <algorithm>
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

// The report's bytes in pieces of about FlushAt, for SafeWrite or a descriptor.
ByteProducer rowsProducer(const ResultsList &list, ReportFormat format,
                          const std::vector<std::size_t> *rows = nullptr) {
    return [&list, format, rows](const std::function<int(std::string_view)> &write) {
        std::string buf;
        buf.reserve(FlushAt + 4096);
        if (format == ReportFormat::Csv)
            buf += CsvHeader();
        const std::size_t n = rows ? rows->size() : list.Count();
        for (std::size_t k = 0; k < n; ++k) {
            AppendLine(buf, list, rows ? (*rows)[k] : k, format);
            if (buf.size() >= FlushAt) {
                if (const int err = write(buf))
                    return err;
                buf.clear();
            }
        }
        return buf.empty() ? 0 : write(buf);
    };
}

} // namespace

void AppendLine(std::string &out, const ResultsList &list, std::size_t i, ReportFormat format) {
    if (format == ReportFormat::Csv)
        AppendCsvLine(out, list, i);
    else if (format == ReportFormat::Json)
        AppendJsonLine(out, list, i);
    else if (format == ReportFormat::Terminal)
        AppendTerminalLine(out, list, i);
    else
        AppendReportLine(out, list, i);
}

void AppendTerminalLine(std::string &out, const ResultsList &list, std::size_t i) {
    for (int c = 0; c <= static_cast<int>(Column::MasterDate); ++c) {
        if (c > 0)
            out += '\t';
        AppendEscapedForDisplay(out, list.Text(i, static_cast<Column>(c)));
    }
    out += "\r\n";
}

void AppendReportLine(std::string &out, const ResultsList &list, std::size_t i) {
    // The first six columns, as shown; the compare date is never written. A field goes in
    // as it is made and is escaped afterwards only when it holds a byte that needs it.
    for (int c = 0; c <= static_cast<int>(Column::MasterDate); ++c) {
        if (c > 0)
            out += '\t';
        const std::size_t at = out.size();
        list.AppendText(out, i, static_cast<Column>(c));
        const auto special = [](char b) {
            return b == '\t' || b == '\r' || b == '\n' || b == '\\';
        };
        if (std::any_of(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), special)) {
            const std::string field = out.substr(at);
            out.resize(at);
            AppendEscapedField(out, field);
        }
    }
    out += "\r\n";
}

const char *CsvHeader() {
    return "result,path,master_size,compare_size,master_date,compare_date,difference\n";
}

std::string LossyUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = Utf8SequenceLength(bytes, i);
        if (n == 0) {
            out += "\xef\xbf\xbd"; // U+FFFD
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string Base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? digits[(v >> (18 - 6 * k)) & 63] : '=';
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
    m.path = list.RelativeDir(i).substr(1) + r.name;
    if (r.has(Column::MasterSize))
        m.masterSize = r.masterSize;
    if (r.has(Column::MasterDate))
        m.masterDate = IsoUtcText(r.masterTime);
    if (r.has(Column::CompareSize))
        m.compareSize = r.compareSize;
    if (r.has(Column::CompareDate))
        m.compareDate = IsoUtcText(r.compareTime);
    m.difference = DifferenceText(r, "", list.WalkedAs(i));
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
    // JSON text is Unicode: a name that is not UTF-8 is shown lossily and given exactly
    // beside it, so a script can tell the two apart and still reach the file.
    const std::string shown = LossyUtf8(m.path);
    text(",\"path\":", shown);
    if (shown != m.path)
        text(",\"path_base64\":", Base64(m.path));
    number(",\"master_size\":", m.masterSize);
    number(",\"compare_size\":", m.compareSize);
    text(",\"master_date\":", m.masterDate);
    text(",\"compare_date\":", m.compareDate);
    text(",\"difference\":", m.difference.empty() ? std::nullopt : std::optional(m.difference));
    out += "}\n";
}

ReportStatus WriteReport(const ResultsList &list, int fd, ReportFormat format) {
    const int err =
        rowsProducer(list, format)([fd](std::string_view piece) { return WriteAll(fd, piece); });
    return err ? failure(std::string(), err) : ReportStatus{};
}

ReportStatus SaveReport(const ResultsList &list, const std::string &path, ReportFormat format,
                        const std::vector<std::size_t> *rows) {
    const int err = SafeWrite(path, rowsProducer(list, format, rows), SpecialTarget::WriteInPlace);
    return err ? failure(path, err) : ReportStatus{};
}

} // namespace dirwise
