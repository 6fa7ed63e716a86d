#include "Roots.h"

#include "Io.h"
#include "Messages.h"
#include "TextForms.h"

#include <unistd.h>

namespace dirwise::cli {
namespace {

std::string tell(const std::string &message) { return message; }

} // namespace

std::string RootProblemText(const RootProblem &p, const std::string &given, bool master) {
    const std::string shown = EscapeForDisplay(given);
    switch (p.fault) {
    case RootFault::None:
        return {};
    case RootFault::RemoteEnded: // the transport ended before the first line
        return tell(
            Format(_("remote root %s: %s"),
                   {shown, !p.detail.empty() ? p.detail
                                             : Format(_("the remote side ended with status %s"),
                                                      {std::to_string(p.status)})}));
    case RootFault::RemoteInvalid:
    case RootFault::TransportStart:
        return tell(Format(_("remote root %s: %s"), {shown, p.detail}));
    case RootFault::TransportQuote:
        return tell(_("the remote shell command (--rsh or DWC_RSH) has an open quote"));
    case RootFault::SnapshotBroken:
        return tell(p.line > 0 ? Format(_("snapshot %s: line %s: %s"),
                                        {shown, std::to_string(p.line), p.detail})
                               : Format(_("snapshot %s: %s"), {shown, p.detail}));
    case RootFault::SnapshotWithoutDigests:
        return tell(Format(_("snapshot %s has no sha256 digest for some files, which --verify "
                             "needs; write one with: dwc --snapshot --verify FOLDER -o FILE"),
                           {shown}));
    case RootFault::SnapshotWithoutTimes:
        return tell(Format(_("snapshot %s has no modification time for some entries, which "
                             "--date needs; write one with: dwc --snapshot FOLDER -o FILE"),
                           {shown}));
    case RootFault::NotFolderOrSnapshot:
        return tell(Format(master ? _("master root %s: not a folder or snapshot")
                                  : _("compare root %s: not a folder or snapshot"),
                           {shown}));
    case RootFault::FolderUnusable:
        return tell(Format(master ? _("master directory %s: %s") : _("compare directory %s: %s"),
                           {shown, ErrorText(p.error)}));
    }
    return {};
}

int OpenRoot(const std::string &given, const char *which, const CliOptions &o, OpenedRoot &out) {
    // A snapshot file is read on a thread beside the walk of the other root, and a remote
    // tree's transport connects meanwhile; the run checks both (CheckRoots) before its first
    // file is compared.
    const RootRequest request{.digests = o.compare.verifyContents,
                              .times = o.compare.matchDate,
                              .transport = TransportWords(o.rsh),
                              .remoteDwc = o.remoteDwc,
                              .loadInBackground = true};
    const RootProblem p = dirwise::OpenRoot(given, request, out);
    if (!p)
        return 0;
    (void)WriteAll(STDERR_FILENO,
                   "dwc: " + RootProblemText(p, given, std::string(which) == "master") + "\n");
    return 2;
}

std::string CheckRoots(OpenedRoot &master, const std::string &masterGiven, OpenedRoot &compare,
                       const std::string &compareGiven) {
    if (const RootProblem p = master.Checked())
        return RootProblemText(p, masterGiven, true);
    if (const RootProblem p = compare.Checked())
        return RootProblemText(p, compareGiven, false);
    return {};
}

std::string FinishRoot(OpenedRoot &root) {
    const RootProblem p = root.Finish();
    if (p.fault == RootFault::RemoteEnded)
        return !p.detail.empty()
                   ? p.detail
                   : Format(_("the remote side ended with status %s"), {std::to_string(p.status)});
    if (p.fault == RootFault::SnapshotBroken)
        return Format(_("line %s: %s"), {std::to_string(p.line), p.detail});
    return {};
}

} // namespace dirwise::cli
