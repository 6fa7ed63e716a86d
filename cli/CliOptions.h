#pragma once

#include "Compare.h"
#include "Report.h"
#include "ResultsList.h"

#include <optional>
#include <string>
#include <vector>

namespace dirwise {

// One --skip pattern or one --skip-from file, in command-line order.
struct SkipSource {
    bool fromFile = false;
    std::string text; // the pattern, or the file's name
};

// What the command line asks of dwc.
struct CliOptions {
    CompareOptions compare; // roots as given, extensions rewritten as the window rewrites them
    std::optional<Column> sortKey;
    bool descending = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool snapshot = false;         // write a snapshot of compare.masterDir instead of comparing
    std::string outputPath;        // empty: standard output ("-" on the command line)
    std::string rsh;               // --rsh: the transport to remote roots; empty: DWC_RSH or ssh
    std::string remoteDwc = "dwc"; // --remote-dwc: dwc on the remote machine
    ReportFormat format = ReportFormat::Report;
    bool htmlPage = false;         // --format html: one page, written when the run is complete
    std::vector<SkipSource> skips; // read into compare.skipRules by ReadSkipRules
};

// The result of parsing: the options, or a message for standard error (exit status 2). The
// message quotes what the user typed escaped for display, so it cannot drive a terminal.
struct CliParse {
    CliOptions options;
    std::string error;
    std::vector<std::string> warnings; // for standard error; the run goes on

    [[nodiscard]] bool ok() const { return error.empty(); }
};

// Parses the arguments after the program name with getopt_long. Every option is one row of
// the option table in CliOptions.cpp, which gives its names, its value, its --help line and
// what it does, so an option is added there and nowhere else. Short options bundle
// ("-qo FILE", "-oFILE"), long options may be abbreviated while unambiguous and take their
// value as "--opt=value" or "--opt value", "--" ends the options, and options and operands
// may come in any order. A flag given a value, an unknown or ambiguous option, a missing
// value, "--descending" without "--sort", both "--include" and "--exclude", more than four
// extensions, neither size nor date to match, a tolerance or hour count that is not a whole
// number from 0 to its limit (the message names the limit), an unknown format, or other than
// two operands is an error. A tolerance or hour shifts without --date is a warning. With
// --snapshot there is one operand (the folder, kept as the master root), and options that
// only shape a compare or its report are an error.
// --help and --version win over every other error but an unknown option.
[[nodiscard]] CliParse ParseCommandLine(const std::vector<std::string> &args);

// Reads the --skip patterns and --skip-from files of `options` in their order into
// `options.compare.skipRules`, one rule a line; each file loses a leading UTF-8 byte order
// mark. Returns an empty string, or the message for a file that cannot be read (nothing is
// set then).
[[nodiscard]] std::string ReadSkipRules(CliOptions &options);

// The usage text printed by --help.
[[nodiscard]] std::string UsageText();

} // namespace dirwise
