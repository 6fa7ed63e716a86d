#include "CliOptions.h"

#include "Messages.h"
#include "ProductInfo.h"
#include "TextForms.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <optional>
#include <unistd.h>
#include <utility>

namespace dirwise {

using cli::Format;

namespace {

std::string quoted(const std::string &text) { return "'" + EscapeForDisplay(text) + "'"; }

// Beyond these the values mean nothing (a tolerance of 31,000 years, shifts of six weeks),
// and the time sums stay far from overflowing.
constexpr std::int64_t MaxTimeTolerance = 1000000000000;
constexpr std::int64_t MaxHourShifts = 1000;

// A whole number of 0 or more, digits only, at most `limit`.
std::optional<std::int64_t> wholeNumber(const std::string &text, std::int64_t limit) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::int64_t n = std::stoll(text);
    return n <= limit ? std::optional(n) : std::nullopt;
}

std::optional<Column> sortColumn(const std::string &name) {
    static const std::array<std::pair<const char *, Column>, 7> columns = {{
        {"result", Column::Result},
        {"path", Column::ComparePath},
        {"name", Column::FileName},
        {"master-size", Column::MasterSize},
        {"compare-size", Column::CompareSize},
        {"master-date", Column::MasterDate},
        {"compare-date", Column::CompareDate},
    }};
    for (const auto &[text, column] : columns)
        if (name == text)
            return column;
    return std::nullopt;
}

// What the options have said so far; checks that need them all wait for the end.
struct Parsing {
    CliOptions &o;
    std::vector<std::string> includes, excludes;
    bool sizeSet = true, dateSet = false;
    bool toleranceGiven = false, hourShiftsGiven = false;
    std::string error; // the first bad value; reported unless --help or --version wins

    void fail(std::string message) {
        if (error.empty())
            error = std::move(message);
    }
};

// One option: its names, its value (none for a flag), its line in --help, and what it does.
// A repeatable option gathers its values in its action. An option whose help is null is
// shown beside the one above it and shares its text ("--size, --no-size").
struct OptionRow {
    const char *name;  // the long name, without "--"
    char shortName;    // 0: none
    const char *value; // the value's name in --help; null: a flag
    const char *help;  // lines separated by '\n'
    void (*apply)(Parsing &, const std::string &value);
};

const OptionRow Options[] = {
    {"no-subdirs", 0, nullptr, N_("compare the roots' own files only"),
     [](Parsing &p, const std::string &) { p.o.compare.subDirs = false; }},
    {"size", 0, nullptr, N_("match file sizes (default: on)"),
     [](Parsing &p, const std::string &) { p.sizeSet = true; }},
    {"no-size", 0, nullptr, nullptr, [](Parsing &p, const std::string &) { p.sizeSet = false; }},
    {"date", 0, nullptr, N_("match modification dates (default: off)"),
     [](Parsing &p, const std::string &) { p.dateSet = true; }},
    {"no-date", 0, nullptr, nullptr, [](Parsing &p, const std::string &) { p.dateSet = false; }},
    {"hide-matches", 0, nullptr, N_("leave matching files out of the report"),
     [](Parsing &p, const std::string &) { p.o.compare.hideMatches = true; }},
    {"include", 0, "EXT", N_("compare only files with this extension (up to four)"),
     [](Parsing &p, const std::string &v) { p.includes.push_back(v); }},
    {"exclude", 0, "EXT", N_("pass over files with this extension (up to four)"),
     [](Parsing &p, const std::string &v) { p.excludes.push_back(v); }},
    {"sort", 0, "COLUMN",
     N_("sort the report by result, path, name, master-size,\n"
        "compare-size, master-date or compare-date"),
     [](Parsing &p, const std::string &v) {
         p.o.sortKey = sortColumn(v);
         if (!p.o.sortKey)
             p.fail(Format(_("unknown sort column %s (use result, path, name, master-size, "
                             "compare-size, master-date or compare-date)"),
                           {quoted(v)}));
     }},
    {"descending", 0, nullptr, N_("sort in descending order (needs --sort)"),
     [](Parsing &p, const std::string &) { p.o.descending = true; }},
    {"time-tolerance", 0, "SECONDS", N_("with --date, times this close count as equal (2 for FAT)"),
     [](Parsing &p, const std::string &v) {
         if (const auto n = wholeNumber(v, MaxTimeTolerance)) {
             p.o.compare.timeTolerance = *n;
             p.toleranceGiven = true;
         } else {
             p.fail(Format(_("%s needs a whole number from 0 to %s, not %s"),
                           {"--time-tolerance", std::to_string(MaxTimeTolerance), quoted(v)}));
         }
     }},
    {"hour-shifts", 0, "N",
     N_("with --date, times 1 to N whole hours apart (within the\n"
        "tolerance) count as equal (1: daylight saving)"),
     [](Parsing &p, const std::string &v) {
         // Hour shifts beyond a few days mean nothing; the cap keeps the sums in range.
         if (const auto n = wholeNumber(v, MaxHourShifts)) {
             p.o.compare.hourShifts = static_cast<int>(*n);
             p.hourShiftsGiven = true;
         } else {
             p.fail(Format(_("%s needs a whole number from 0 to %s, not %s"),
                           {"--hour-shifts", std::to_string(MaxHourShifts), quoted(v)}));
         }
     }},
    {"extra", 0, nullptr, N_("also report files only in COMPARE (result Extra)"),
     [](Parsing &p, const std::string &) { p.o.compare.listExtras = true; }},
    {"skip", 0, "PATTERN",
     N_("leave out of both trees what PATTERN matches: a .gitignore\n"
        "line, taken from MASTER's root (repeatable)"),
     [](Parsing &p, const std::string &v) {
         p.o.skips.push_back({false, v});
     }},
    {"skip-from", 0, "FILE", N_("read --skip patterns from FILE, one a line"),
     [](Parsing &p, const std::string &v) {
         p.o.skips.push_back({true, v});
     }},
    {"gitignore", 0, nullptr,
     N_("also honour MASTER's .gitignore files, each for its own\n"
        "folder, and pass over .git folders"),
     [](Parsing &p, const std::string &) { p.o.compare.useGitignore = true; }},
    {"no-follow", 0, nullptr, N_("do not enter links to directories"),
     [](Parsing &p, const std::string &) { p.o.compare.followLinks = false; }},
    {"verify", 0, nullptr, N_("compare the bytes of files whose size and date match"),
     [](Parsing &p, const std::string &) { p.o.compare.verifyContents = true; }},
    {"format", 0, "FORMAT",
     N_("report (default), csv, json (JSON Lines) or html; csv and\n"
        "json carry every column and read the same in every locale;\n"
        "html is one page to open in a browser"),
     [](Parsing &p, const std::string &v) {
         p.o.htmlPage = v == "html";
         if (v == "report" || v == "html")
             p.o.format = ReportFormat::Report;
         else if (v == "csv")
             p.o.format = ReportFormat::Csv;
         else if (v == "json")
             p.o.format = ReportFormat::Json;
         else
             p.fail(Format(_("unknown format %s (use report, csv, json or html)"), {quoted(v)}));
     }},
    {"output", 'o', "FILE", N_("write the report to FILE (\"-\": standard output)"),
     [](Parsing &p, const std::string &v) {
         p.o.outputPath = v;
         if (v.empty())
             p.fail(_("option '-o' needs a file name"));
     }},
    {"rsh", 0, "COMMAND",
     N_("reach remote roots ([user@]host:PATH) with COMMAND\n"
        "instead of ssh (default: $DWC_RSH, else ssh)"),
     [](Parsing &p, const std::string &v) {
         p.o.rsh = v;
         if (v.find_first_not_of(" \t\n") == std::string::npos)
             p.fail(_("--rsh needs a command"));
     }},
    {"remote-dwc", 0, "PATH", N_("the dwc to run on remote machines (default: dwc)"),
     [](Parsing &p, const std::string &v) {
         p.o.remoteDwc = v;
         if (v.empty())
             p.fail(_("--remote-dwc needs a path"));
     }},
    {"snapshot", 0, nullptr,
     N_("write a snapshot of the one folder given (an mtree\n"
        "manifest) instead of comparing; --verify adds digests"),
     [](Parsing &p, const std::string &) { p.o.snapshot = true; }},
    {"quiet", 'q', nullptr, N_("no summary and no progress"),
     [](Parsing &p, const std::string &) { p.o.quiet = true; }},
    {"help", 'h', nullptr, N_("show this text"),
     [](Parsing &p, const std::string &) { p.o.help = true; }},
    {"version", 0, nullptr, N_("show the version"),
     [](Parsing &p, const std::string &) { p.o.version = true; }},
};
constexpr std::size_t OptionCount = std::size(Options);

// getopt_long's view of the table: a long option answers with its short name, or, without
// one, with its row's index past every byte.
constexpr int RowCode = 256;

struct GetoptTables {
    std::vector<option> longOptions;
    std::string shortOptions = ":"; // ':' first: a missing value is told apart from the rest
};

const GetoptTables &getoptTables() {
    static const GetoptTables tables = [] {
        GetoptTables t;
        for (std::size_t k = 0; k < OptionCount; ++k) {
            const OptionRow &row = Options[k];
            const int code = row.shortName ? row.shortName : RowCode + static_cast<int>(k);
            t.longOptions.push_back(
                {row.name, row.value ? required_argument : no_argument, nullptr, code});
            if (row.shortName)
                t.shortOptions += std::string(1, row.shortName) + (row.value ? ":" : "");
        }
        t.longOptions.push_back({nullptr, 0, nullptr, 0});
        return t;
    }();
    return tables;
}

const OptionRow *rowFor(int code) {
    if (code >= RowCode && code < RowCode + static_cast<int>(OptionCount))
        return &Options[code - RowCode];
    for (const OptionRow &row : Options)
        if (row.shortName && row.shortName == code)
            return &row;
    return nullptr;
}

// The message for an option getopt_long refused; `arg` is the argument that held it.
std::string refusal(int result, const std::string &arg) {
    const bool isLong = arg.rfind("--", 0) == 0;
    if (!isLong && optopt != 0) {
        const std::string opt = EscapeForDisplay(std::string(1, static_cast<char>(optopt)));
        return Format(result == ':' ? _("option %s needs a value") : _("unknown option %s"),
                      {"'-" + opt + "'"});
    }
    const std::string name = arg.substr(0, arg.find('='));
    if (result == ':')
        return Format(_("option %s needs a value"), {quoted(name)});
    if (optopt != 0)
        return Format(_("option %s takes no value"), {quoted(name)});
    return Format(_("unknown or ambiguous option %s"), {quoted(name)});
}

// The options' lines of --help: the names from column 2, the text from column 24 (on a line
// of its own when the names reach that far), further lines of the text indented to match.
std::string optionLines() {
    constexpr std::size_t TextColumn = 24;
    std::string out;
    for (std::size_t k = 0; k < OptionCount; ++k) {
        const OptionRow &row = Options[k];
        if (!row.help)
            continue; // shown with the row above
        std::string names = row.shortName ? std::string("  -") + row.shortName + ", " : "      ";
        names += std::string("--") + row.name + (row.value ? std::string(" ") + row.value : "");
        for (std::size_t j = k + 1; j < OptionCount && !Options[j].help; ++j)
            names += std::string(", --") + Options[j].name;
        out += names;
        if (names.size() < TextColumn)
            out += std::string(TextColumn - names.size(), ' ');
        else
            out += "\n" + std::string(TextColumn, ' ');
        const std::string help = _(row.help);
        for (std::size_t pos = 0;;) {
            const std::size_t end = help.find('\n', pos);
            out += help.substr(pos, end - pos) + "\n";
            if (end == std::string::npos)
                break;
            out += std::string(TextColumn, ' ');
            pos = end + 1;
        }
    }
    return out;
}

// The whole of file `path`, or the errno that stopped reading it.
int readWhole(const std::string &path, std::string &bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno;
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0)
            break;
        else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    ::close(fd);
    return error;
}

// The end of parsing for --snapshot: one folder, and nothing that shapes a compare.
CliParse &snapshotOperands(CliParse &parse, const Parsing &p,
                           const std::vector<std::string> &roots) {
    const CliOptions &o = parse.options;
    const CompareOptions plain;
    if (o.sortKey || o.format != ReportFormat::Report || o.htmlPage || o.compare.hideMatches ||
        o.compare.listExtras || !p.includes.empty() || !p.excludes.empty() || p.dateSet ||
        !p.sizeSet || o.compare.timeTolerance != plain.timeTolerance ||
        o.compare.hourShifts != plain.hourShifts || !o.compare.subDirs || !o.compare.followLinks ||
        !o.rsh.empty() || o.remoteDwc != "dwc" || !o.skips.empty() || o.compare.useGitignore)
        parse.error = _("--snapshot takes only --verify, -o and -q");
    else if (roots.size() != 1)
        parse.error = roots.empty() ? std::string(_("--snapshot needs the folder to describe"))
                                    : Format(_("too many arguments: %s"), {quoted(roots[1])});
    else
        parse.options.compare.masterDir = roots[0];
    if (parse.options.outputPath == "-")
        parse.options.outputPath.clear();
    return parse;
}

} // namespace

std::string ReadSkipRules(CliOptions &options) {
    std::string lines;
    for (const SkipSource &source : options.skips) {
        if (!source.fromFile) {
            lines += source.text + "\n";
            continue;
        }
        std::string bytes;
        if (const int err = readWhole(source.text, bytes))
            return Format(_("cannot read the skip rules: %s: %s"),
                          {EscapeForDisplay(source.text), std::strerror(err)});
        std::string_view text = bytes;
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        lines.append(text);
        if (!text.empty() && text.back() != '\n')
            lines += '\n';
    }
    options.compare.skipRules = std::move(lines);
    return {};
}

std::string UsageText() {
    std::string text =
        _("Usage: dwc [options] MASTER COMPARE\n"
          "Compares every file under MASTER with the file at the same relative path under\n"
          "COMPARE and writes a tab-separated report (Result, Compare Path, File Name,\n"
          "Master Size, Compare Size, Master Date; CR LF line ends) to standard output.\n"
          "The summary goes to standard error.\n"
          "\n"
          "Options:\n");
    text += optionLines();
    text += _("\n"
              "dwc --snapshot [--verify] [-o FILE] FOLDER writes FOLDER as an mtree manifest\n"
              "(a snapshot) to standard output or FILE.\n\n");
    text += _("Long options may be shortened while unambiguous; \"--\" ends the options.\n"
              "\n"
              "Exit status: 0 every file matched; 1 some file differs or was not found;\n"
              "2 trouble (bad options, a root missing, a report not written, places not\n"
              "compared); 130 stopped by Ctrl-C (129 by SIGHUP, 143 by SIGTERM).\n");
    text += "\n" + Format(_("Report bugs to: %s\n"), {productinfo::bugReports});
    if (*productinfo::homePage)
        text += Format(_("Dirwise home page: <%s>\n"), {productinfo::homePage});
    return text;
}

CliParse ParseCommandLine(const std::vector<std::string> &args) {
    CliParse parse;
    CliOptions &o = parse.options;
    Parsing p{o, {}, {}, true, false, false, false, {}};

    // getopt_long wants a writable argv and may reorder it; give it copies.
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.emplace_back("dwc");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    const GetoptTables &tables = getoptTables();
    optind = 0; // a full reset: each parse starts afresh
    opterr = 0; // messages are ours, escaped
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int c = ::getopt_long(argc, argv.data(), tables.shortOptions.c_str(),
                                    tables.longOptions.data(), nullptr);
        if (c == -1)
            break;
        const OptionRow *row = rowFor(c);
        if (!row) {
            // The argument that held the refused option: getopt_long has moved past it,
            // unless it stopped inside a bundle of short options.
            const int at = optind > previous ? optind - 1 : previous;
            parse.error = refusal(c, at < argc ? argv[static_cast<std::size_t>(at)] : "");
            return parse;
        }
        row->apply(p, row->value ? optarg : "");
    }
    // getopt_long has moved the operands behind the options in argv (not in storage).
    const std::vector<std::string> roots(argv.begin() + optind, argv.begin() + argc);
    if (o.help || o.version)
        return parse;
    if (!p.error.empty()) {
        parse.error = p.error;
        return parse;
    }
    if (o.descending && !o.sortKey) {
        parse.error = _("--descending needs --sort");
        return parse;
    }
    if (!p.includes.empty() && !p.excludes.empty()) {
        parse.error = _("--include and --exclude cannot be used together");
        return parse;
    }
    const std::vector<std::string> &exts = p.includes.empty() ? p.excludes : p.includes;
    if (exts.size() > 4) {
        parse.error = _("at most four extensions can be given");
        return parse;
    }
    o.compare.excludeMode = p.includes.empty();
    for (std::size_t k = 0; k < exts.size(); ++k)
        o.compare.extensions[k] = RewriteExtensionBox(exts[k]);
    o.compare.matchSize = p.sizeSet;
    o.compare.matchDate = p.dateSet;
    if (o.snapshot)
        return snapshotOperands(parse, p, roots);
    if (!p.sizeSet && !p.dateSet) {
        parse.error = _("nothing to compare: give --size or --date");
        return parse;
    }
    if (roots.size() != 2) {
        parse.error = roots.size() < 2 ? std::string(_("MASTER and COMPARE directories are needed"))
                                       : Format(_("too many arguments: %s"), {quoted(roots[2])});
        return parse;
    }
    o.compare.masterDir = roots[0];
    o.compare.compareDir = roots[1];
    if (o.outputPath == "-")
        o.outputPath.clear();
    // Times are compared only with --date: a tolerance or hour shifts alone change nothing.
    for (const auto &[given, name] : {std::pair{p.toleranceGiven, "--time-tolerance"},
                                      std::pair{p.hourShiftsGiven, "--hour-shifts"}})
        if (given && !p.dateSet)
            parse.warnings.push_back(
                Format(_("%s has no effect without --date: dates are not compared"), {name}));
    return parse;
}

} // namespace dirwise
