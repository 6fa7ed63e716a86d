#include "CliOptions.h"

#include <array>
#include <utility>

namespace dirwise {

std::string StripTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string UsageText() {
    return "Usage: dwc [options] MASTER COMPARE\n"
           "Compares every file under MASTER with the file at the same relative path under\n"
           "COMPARE and writes a tab-separated report (Result, Compare Path, File Name,\n"
           "Master Size, Compare Size, Master Date; CR LF line ends) to standard output.\n"
           "The summary goes to standard error.\n"
           "\n"
           "Options:\n"
           "  --no-subdirs          compare the roots' own files only\n"
           "  --size, --no-size     match file sizes (default: on)\n"
           "  --date, --no-date     match modification dates (default: off)\n"
           "  --hide-matches        leave matching files out of the report\n"
           "  --include EXT         compare only files with this extension (up to four)\n"
           "  --exclude EXT         pass over files with this extension (up to four)\n"
           "  --sort COLUMN         result, path, name, master-size, compare-size,\n"
           "                        master-date or compare-date\n"
           "  --descending          sort in descending order\n"
           "  -o FILE               write the report to FILE instead of standard output\n"
           "  -q                    no summary and no progress\n"
           "  --help                show this text\n"
           "  --version             show the version\n"
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

} // namespace

CliParse ParseCommandLine(const std::vector<std::string> &args) {
    CliParse parse;
    CliOptions &o = parse.options;
    std::vector<std::string> roots;
    std::vector<std::string> includes, excludes;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            roots.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&](std::string &out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                parse.error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto flag = [&](bool &target, bool v) {
            if (inlineValue) {
                parse.error = "option " + arg + " takes no value";
                return false;
            }
            target = v;
            return true;
        };
        bool good = true;
        std::string v;
        if (arg == "--no-subdirs") {
            good = flag(o.compare.subDirs, false);
        } else if (arg == "--size" || arg == "--no-size") {
            bool on = false;
            good = flag(on, arg == "--size");
            o.compare.checkSize = on ? 1 : 0;
        } else if (arg == "--date" || arg == "--no-date") {
            bool on = false;
            good = flag(on, arg == "--date");
            o.compare.checkDate = on ? 1 : 0;
        } else if (arg == "--hide-matches") {
            good = flag(o.compare.hideMatches, true);
        } else if (arg == "--include") {
            good = value(v);
            includes.push_back(v);
        } else if (arg == "--exclude") {
            good = value(v);
            excludes.push_back(v);
        } else if (arg == "--sort") {
            good = value(v);
            if (good) {
                o.sortKey = sortColumn(v);
                if (!o.sortKey) {
                    parse.error = "unknown sort column '" + v +
                                  "' (use result, path, name, master-size, compare-size, "
                                  "master-date or compare-date)";
                    good = false;
                }
            }
        } else if (arg == "--descending") {
            good = flag(o.descending, true);
        } else if (arg == "-o" || arg == "--output") {
            good = value(o.outputPath);
            if (good && o.outputPath.empty()) {
                parse.error = "option -o needs a file name";
                good = false;
            }
        } else if (arg == "-q" || arg == "--quiet") {
            good = flag(o.quiet, true);
        } else if (arg == "--help" || arg == "-h") {
            good = flag(o.help, true);
        } else if (arg == "--version") {
            good = flag(o.version, true);
        } else {
            parse.error = "unknown option " + arg;
            good = false;
        }
        if (!good) {
            if (parse.error.empty())
                parse.error = "bad option " + arg;
            return parse;
        }
    }
    if (o.help || o.version)
        return parse;

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
    if (o.compare.checkSize != 1 && o.compare.checkDate != 1) {
        parse.error = "nothing to compare: give --size or --date";
        return parse;
    }
    if (roots.size() != 2) {
        parse.error = roots.size() < 2 ? "MASTER and COMPARE directories are needed"
                                       : "too many arguments: " + roots[2];
        return parse;
    }
    o.compare.masterDir = StripTrailingSeparators(roots[0]);
    o.compare.compareDir = StripTrailingSeparators(roots[1]);
    return parse;
}

} // namespace dirwise
