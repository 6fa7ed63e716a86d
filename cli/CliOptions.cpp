#include "CliOptions.h"

#include "TextForms.h"

#include <array>
#include <getopt.h>
#include <optional>
#include <utility>

namespace dirwise {

std::string UsageText() {
    return "Usage: dwc [options] MASTER COMPARE\n"
           "Compares every file under MASTER with the file at the same relative path under\n"
           "COMPARE and writes a tab-separated report (Result, Compare Path, File Name,\n"
           "Master Size, Compare Size, Master Date; CR LF line ends) to standard output.\n"
           "The summary goes to standard error.\n"
           "\n"
           "Options:\n"
           "      --no-subdirs      compare the roots' own files only\n"
           "      --size, --no-size match file sizes (default: on)\n"
           "      --date, --no-date match modification dates (default: off)\n"
           "      --hide-matches    leave matching files out of the report\n"
           "      --include EXT     compare only files with this extension (up to four)\n"
           "      --exclude EXT     pass over files with this extension (up to four)\n"
           "      --sort COLUMN     sort the report by result, path, name, master-size,\n"
           "                        compare-size, master-date or compare-date\n"
           "      --descending      sort in descending order (needs --sort)\n"
           "      --time-tolerance SECONDS\n"
           "                        with --date, times this close count as equal (2 for FAT)\n"
           "      --hour-shifts N   with --date, times 1 to N whole hours apart (within the\n"
           "                        tolerance) count as equal (1: daylight saving)\n"
           "      --extra           also report files only in COMPARE (result Extra)\n"
           "      --no-follow       do not enter links to directories\n"
           "      --verify          compare the bytes of files whose size and date match\n"
           "      --format FORMAT   report (default), csv or json (JSON Lines); csv and json\n"
           "                        carry every column and read the same in every locale\n"
           "  -o, --output FILE     write the report to FILE (\"-\": standard output)\n"
           "  -q, --quiet           no summary and no progress\n"
           "  -h, --help            show this text\n"
           "      --version         show the version\n"
           "Long options may be shortened while unambiguous; \"--\" ends the options.\n"
           "\n"
           "Exit status: 0 every file matched; 1 some file differs or was not found;\n"
           "2 trouble (bad options, a root missing, a report not written, places not\n"
           "compared); 130 stopped by Ctrl-C.\n";
}

namespace {

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

// Long options without a short form are numbered past every byte.
enum : int {
    OptNoSubdirs = 256,
    OptSize,
    OptNoSize,
    OptDate,
    OptNoDate,
    OptHideMatches,
    OptInclude,
    OptExclude,
    OptSort,
    OptDescending,
    OptVersion,
    OptTimeTolerance,
    OptHourShifts,
    OptExtra,
    OptVerify,
    OptFormat,
    OptNoFollow,
};

const option LongOptions[] = {
    {"no-subdirs", no_argument, nullptr, OptNoSubdirs},
    {"size", no_argument, nullptr, OptSize},
    {"no-size", no_argument, nullptr, OptNoSize},
    {"date", no_argument, nullptr, OptDate},
    {"no-date", no_argument, nullptr, OptNoDate},
    {"hide-matches", no_argument, nullptr, OptHideMatches},
    {"include", required_argument, nullptr, OptInclude},
    {"exclude", required_argument, nullptr, OptExclude},
    {"sort", required_argument, nullptr, OptSort},
    {"descending", no_argument, nullptr, OptDescending},
    {"output", required_argument, nullptr, 'o'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, OptVersion},
    {"time-tolerance", required_argument, nullptr, OptTimeTolerance},
    {"hour-shifts", required_argument, nullptr, OptHourShifts},
    {"extra", no_argument, nullptr, OptExtra},
    {"verify", no_argument, nullptr, OptVerify},
    {"format", required_argument, nullptr, OptFormat},
    {"no-follow", no_argument, nullptr, OptNoFollow},
    {nullptr, 0, nullptr, 0},
};

std::string quoted(const std::string &text) { return "'" + EscapeForDisplay(text) + "'"; }

// A whole number of 0 or more, digits only, at most `limit`.
std::optional<std::int64_t> wholeNumber(const std::string &text, std::int64_t limit) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::int64_t n = std::stoll(text);
    return n <= limit ? std::optional(n) : std::nullopt;
}

// The message for an option getopt_long refused; `arg` is the argument that held it.
std::string refusal(int result, const std::string &arg) {
    const bool isLong = arg.rfind("--", 0) == 0;
    if (!isLong && optopt != 0) {
        const std::string opt = EscapeForDisplay(std::string(1, static_cast<char>(optopt)));
        return result == ':' ? "option '-" + opt + "' needs a value"
                             : "unknown option '-" + opt + "'";
    }
    const std::string name = arg.substr(0, arg.find('='));
    if (result == ':')
        return "option " + quoted(name) + " needs a value";
    if (optopt != 0)
        return "option " + quoted(name) + " takes no value";
    return "unknown or ambiguous option " + quoted(name);
}

} // namespace

CliParse ParseCommandLine(const std::vector<std::string> &args) {
    CliParse parse;
    CliOptions &o = parse.options;
    std::vector<std::string> includes, excludes;
    bool sizeSet = true, dateSet = false;

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

    optind = 0; // a full reset: each parse starts afresh
    opterr = 0; // messages are ours, escaped
    std::string error;
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int c = ::getopt_long(argc, argv.data(), ":o:qh", LongOptions, nullptr);
        if (c == -1)
            break;
        switch (c) {
        case OptNoSubdirs:
            o.compare.subDirs = false;
            break;
        case OptSize:
        case OptNoSize:
            sizeSet = c == OptSize;
            break;
        case OptDate:
        case OptNoDate:
            dateSet = c == OptDate;
            break;
        case OptHideMatches:
            o.compare.hideMatches = true;
            break;
        case OptInclude:
            includes.emplace_back(optarg);
            break;
        case OptExclude:
            excludes.emplace_back(optarg);
            break;
        case OptSort:
            o.sortKey = sortColumn(optarg);
            if (!o.sortKey && error.empty())
                error = "unknown sort column " + quoted(optarg) +
                        " (use result, path, name, master-size, compare-size, master-date or "
                        "compare-date)";
            break;
        case OptDescending:
            o.descending = true;
            break;
        case 'o':
            o.outputPath = optarg;
            if (o.outputPath.empty() && error.empty())
                error = "option '-o' needs a file name";
            break;
        case 'q':
            o.quiet = true;
            break;
        case 'h':
            o.help = true;
            break;
        case OptVersion:
            o.version = true;
            break;
        case OptTimeTolerance:
        case OptHourShifts: {
            // Hour shifts beyond a few days mean nothing; the cap keeps the sums in range.
            const auto n = wholeNumber(optarg, c == OptHourShifts ? 1000 : 1000000000000);
            if (!n && error.empty())
                error = std::string(c == OptHourShifts ? "--hour-shifts" : "--time-tolerance") +
                        " needs a whole number of 0 or more, not " + quoted(optarg);
            else if (n && c == OptHourShifts)
                o.compare.hourShifts = static_cast<int>(*n);
            else if (n)
                o.compare.timeTolerance = *n;
            break;
        }
        case OptExtra:
            o.compare.listExtras = true;
            break;
        case OptNoFollow:
            o.compare.followLinks = false;
            break;
        case OptVerify:
            o.compare.verifyContents = true;
            break;
        case OptFormat: {
            const std::string f = optarg;
            if (f == "report")
                o.format = ReportFormat::Report;
            else if (f == "csv")
                o.format = ReportFormat::Csv;
            else if (f == "json")
                o.format = ReportFormat::Json;
            else if (error.empty())
                error = "unknown format " + quoted(f) + " (use report, csv or json)";
            break;
        }
        default: {
            // The argument that held the refused option: getopt_long has moved past it,
            // unless it stopped inside a bundle of short options.
            const int at = optind > previous ? optind - 1 : previous;
            parse.error = refusal(c, at < argc ? argv[static_cast<std::size_t>(at)] : "");
            return parse;
        }
        }
    }
    // getopt_long has moved the operands behind the options in argv (not in storage).
    const std::vector<std::string> roots(argv.begin() + optind, argv.begin() + argc);
    if (o.help || o.version)
        return parse;
    if (!error.empty()) {
        parse.error = error;
        return parse;
    }
    if (o.descending && !o.sortKey) {
        parse.error = "--descending needs --sort";
        return parse;
    }
    if (!includes.empty() && !excludes.empty()) {
        parse.error = "--include and --exclude cannot be used together";
        return parse;
    }
    const std::vector<std::string> &exts = includes.empty() ? excludes : includes;
    if (exts.size() > 4) {
        parse.error = "at most four extensions can be given";
        return parse;
    }
    o.compare.excludeMode = includes.empty();
    for (std::size_t k = 0; k < exts.size(); ++k)
        o.compare.extensions[k] = RewriteExtensionBox(exts[k]);
    o.compare.matchSize = sizeSet;
    o.compare.matchDate = dateSet;
    if (!sizeSet && !dateSet) {
        parse.error = "nothing to compare: give --size or --date";
        return parse;
    }
    if (roots.size() != 2) {
        parse.error = roots.size() < 2 ? "MASTER and COMPARE directories are needed"
                                       : "too many arguments: " + quoted(roots[2]);
        return parse;
    }
    o.compare.masterDir = roots[0];
    o.compare.compareDir = roots[1];
    if (o.outputPath == "-")
        o.outputPath.clear();
    return parse;
}

} // namespace dirwise
