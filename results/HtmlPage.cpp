#include "HtmlPage.h"

#include "Io.h"
#include "SafeWrite.h"
#include "TextForms.h"

#include <array>
#include <cstring>
#include <string_view>

namespace dirwise {

namespace {

// Text as people see it (escaped for display), then made safe between tags and inside
// quoted attributes.
void appendHtml(std::string &out, std::string_view bytes) {
    for (char c : EscapeForDisplay(bytes)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
}

// The sheet and the script: fixed texts, no data in them.
constexpr char kStyle[] = R"(body{font:14px/1.4 sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em;margin:0 0 .5em}dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1em}
dt{font-weight:bold}dd{margin:0;word-break:break-all}
.bars{margin:1em 0}.bar{display:flex;align-items:center;gap:.5em;margin:.15em 0}
.bar span:first-child{width:9em}.bar i{display:inline-block;height:.9em;background:#4a7fb5}
table{border-collapse:collapse;width:100%}th,td{border-bottom:1px solid #ddd;padding:.2em .5em;text-align:left;vertical-align:top}
th{background:#eee;cursor:pointer;position:sticky;top:0}td.n{text-align:right;white-space:nowrap}
td.p{word-break:break-all}tr.Match td:first-child{color:#2a7d2a}tr.d td:first-child{color:#b22}
#filter{margin:.5em 0;padding:.2em;width:20em}
)";

constexpr char kScript[] = R"((function () {
  var table = document.getElementById("rows"), body = table.tBodies[0];
  var box = document.getElementById("filter"), count = document.getElementById("shown");
  var rows = Array.prototype.slice.call(body.rows), down = {};
  box.hidden = false;
  function show() {
    var text = box.value.toLowerCase(), n = 0;
    rows.forEach(function (r) {
      var keep = r.textContent.toLowerCase().indexOf(text) >= 0;
      r.hidden = !keep;
      if (keep) n++;
    });
    count.textContent = n + " of " + rows.length + " rows";
  }
  function key(r, c) {
    var cell = r.cells[c], v = cell.getAttribute("data-v");
    return v === null ? cell.textContent : v === "" ? null : Number(v);
  }
  Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, c) {
    th.tabIndex = 0;
    function sort() {
      var d = down[c] = !down[c];
      rows.sort(function (x, y) {
        var a = key(x, c), b = key(y, c), o;
        if (a === null || b === null) o = a === b ? 0 : a === null ? -1 : 1;
        else o = typeof a === "number" ? a - b : a.localeCompare(b);
        return d ? -o : o;
      });
      rows.forEach(function (r) { body.appendChild(r); });
      Array.prototype.forEach.call(table.tHead.rows[0].cells, function (h) {
        h.removeAttribute("aria-sort");
      });
      th.setAttribute("aria-sort", d ? "descending" : "ascending");
    }
    th.addEventListener("click", sort);
    th.addEventListener("keydown", function (e) { if (e.key === "Enter") sort(); });
  });
  box.addEventListener("input", show);
  show();
})();
)";

// A cell holding a number: its people's text, and the number for the sort (empty when the
// row has no such value).
void appendNumberCell(std::string &out, const ResultsList &list, std::size_t i, Column c) {
    const ResultRow &row = list.Row(i);
    out += "<td class=\"n\" data-v=\"";
    if (row.has(c))
        out += std::to_string(row.number(c));
    out += "\">";
    appendHtml(out, list.Text(i, c));
    out += "</td>";
}

} // namespace

std::string HtmlPage(const ResultsList &list, const PageInfo &info,
                     const std::vector<std::size_t> *rows) {
    const std::size_t n = rows ? rows->size() : list.Count();
    auto rowAt = [&](std::size_t k) { return rows ? (*rows)[k] : k; };
    std::array<std::int64_t, ResultCount> counts{};
    for (std::size_t k = 0; k < n; ++k)
        ++counts[static_cast<std::size_t>(list.Row(rowAt(k)).result)];
    std::int64_t most = 1;
    for (std::int64_t c : counts)
        most = c > most ? c : most;

    std::string out;
    out.reserve(4096 + n * 300);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n"
           "<meta name=\"viewport\" content=\"width=device-width\">\n<title>Dirwise: ";
    appendHtml(out, list.MasterRoot());
    out += " / ";
    appendHtml(out, list.CompareRoot());
    out += "</title>\n<style>\n";
    out += kStyle;
    out +=
        "</style>\n</head>\n<body>\n<h1>Dirwise report</h1>\n<dl>\n<dt>Master directory</dt><dd>";
    appendHtml(out, list.MasterRoot());
    out += "</dd>\n<dt>Compare directory</dt><dd>";
    appendHtml(out, list.CompareRoot());
    out += "</dd>\n<dt>Options</dt><dd>";
    appendHtml(out, info.options);
    out += "</dd>\n<dt>Compared</dt><dd>";
    appendHtml(out, DateText(info.when));
    out += "</dd>\n<dt>Rows</dt><dd>" + std::to_string(n) + "</dd>\n</dl>\n";

    out += "<div class=\"bars\">\n";
    for (std::size_t kind = 0; kind < ResultCount; ++kind) {
        if (counts[kind] == 0)
            continue;
        out += "<div class=\"bar\"><span>";
        appendHtml(out, ResultText(static_cast<Result>(kind)));
        out += "</span><i style=\"width:" + std::to_string(1 + counts[kind] * 300 / most) +
               "px\"></i><span>" + std::to_string(counts[kind]) + "</span></div>\n";
    }
    out += "</div>\n<input id=\"filter\" type=\"search\" placeholder=\"Filter\" "
           "aria-label=\"Filter the rows\" hidden> <span id=\"shown\"></span>\n"
           "<table id=\"rows\">\n<thead><tr>";
    for (const char *h : {"Result", "Path", "Master Size", "Compare Size", "Master Date",
                          "Compare Date", "Difference"})
        out += std::string("<th>") + h + "</th>";
    out += "</tr></thead>\n<tbody>\n";
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = rowAt(k);
        const ResultRow &row = list.Row(i);
        out += row.result == Result::Match ? "<tr class=\"Match\"><td>" : "<tr class=\"d\"><td>";
        out += ResultText(row.result);
        out += "</td><td class=\"p\">";
        appendHtml(out, list.RelativeDir(i).substr(1) + row.name);
        out += "</td>";
        for (Column c :
             {Column::MasterSize, Column::CompareSize, Column::MasterDate, Column::CompareDate})
            appendNumberCell(out, list, i, c);
        out += "<td>";
        appendHtml(out, list.Text(i, Column::Difference));
        out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n<script>\n";
    out += kScript;
    out += "</script>\n</body>\n</html>\n";
    return out;
}

ReportStatus WriteHtmlPage(const ResultsList &list, const PageInfo &info, int fd,
                           const std::vector<std::size_t> *rows) {
    const int err = WriteAll(fd, HtmlPage(list, info, rows));
    return err ? ReportStatus{false, std::strerror(err)} : ReportStatus{};
}

ReportStatus SaveHtmlPage(const ResultsList &list, const PageInfo &info, const std::string &path,
                          const std::vector<std::size_t> *rows) {
    const std::string page = HtmlPage(list, info, rows);
    const int err = SafeWrite(
        path, [&page](const std::function<int(std::string_view)> &write) { return write(page); },
        SpecialTarget::WriteInPlace);
    return err ? ReportStatus{false, path + ": " + std::strerror(err)} : ReportStatus{};
}

} // namespace dirwise
