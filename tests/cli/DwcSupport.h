#pragma once

// What dwc's suites share: the program the build made (DWC_PATH, given by the suite's target),
// run plainly, as a user for whom file modes hold, or on a terminal.

#include "TempTree.h"

#include <string>
#include <vector>

namespace dirwise::test {

constexpr std::int64_t T0 = 1000000000; // 09/09/2001 01:46:40 UTC

// `args` after the command that runs dwc as the user nobody when this process is root (root
// ignores modes), and as this user otherwise.
inline std::vector<std::string> AsNobody(std::vector<std::string> args) {
    if (::geteuid() == 0)
        args.insert(args.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return args;
}

// dwc run with `args`, at most a minute.
inline ProcessResult Dwc(std::vector<std::string> args) {
    args.insert(args.begin(), DWC_PATH);
    return RunProcess(args, 60);
}

// dwc run with `args` as AsNobody says, at most a minute.
inline ProcessResult DwcAsNobody(std::vector<std::string> args) {
    args.insert(args.begin(), DWC_PATH);
    return RunProcess(AsNobody(std::move(args)), 60);
}

// What a terminal of type `term` shows while dwc runs on it with `args` (joined by blanks, so
// quoted as a shell wants them): script(1) runs dwc on a pseudo-terminal and copies what it
// shows.
inline ProcessResult OnTerminal(const char *term, const std::string &args) {
    ::setenv("TERM", term, 1);
    ProcessResult r = RunProcess({"script", "-qec", "'" DWC_PATH "' " + args, "/dev/null"}, 60);
    ::unsetenv("TERM");
    return r;
}

} // namespace dirwise::test
