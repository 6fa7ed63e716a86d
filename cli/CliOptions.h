#pragma once

#include "Compare.h"
#include "ResultsList.h"

#include <optional>
#include <string>
#include <vector>

namespace dirwise {

// What the command line asks of dwc.
struct CliOptions {
    CompareOptions compare; // roots with trailing separators removed, boxes rewritten
    std::optional<Column> sortKey;
    bool descending = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string outputPath; // empty: standard output
};

// The result of parsing: the options, or a message for standard error (exit status 2).
struct CliParse {
    CliOptions options;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

// Parses the arguments after the program name. "--" ends the options; "--opt=value" and
// "--opt value" both work. Extensions are rewritten as the window rewrites its boxes.
[[nodiscard]] CliParse ParseCommandLine(const std::vector<std::string> &args);

// Removes trailing "/" from a root as the window's choosers do; "/" (or "///") stays "/".
[[nodiscard]] std::string StripTrailingSeparators(std::string path);

// The usage text printed by --help.
[[nodiscard]] std::string UsageText();

} // namespace dirwise
