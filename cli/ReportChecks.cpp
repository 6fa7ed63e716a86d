// What dwc checks of its roots and its report target before the run and again before it
// writes: nothing it writes may land on a file of either tree.

#include "ReportChecks.h"

#include "Messages.h"
#include "Roots.h"
#include "TextForms.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise::cli {
namespace {

// Whether `root` is a folder on this machine (not a snapshot file, not a remote root).
bool liveFolder(const std::string &root) {
    struct stat st {};
    return !IsRemoteRoot(root) && ::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The tree `place` lies in ("master" or "compare"), or nullptr when it lies in neither. Only
// folders on this machine can hold it.
const char *treeHolding(const CliOptions &o, const ReportPlace &place) {
    if (liveFolder(o.compare.masterDir) &&
        ReportInTree(place, NormalizeRoot(o.compare.masterDir), o.compare.followLinks))
        return "master";
    if (liveFolder(o.compare.compareDir) &&
        ReportInTree(place, NormalizeRoot(o.compare.compareDir), o.compare.followLinks))
        return "compare";
    return nullptr;
}

int refuseReportIn(const char *tree, const std::string &path) {
    return Trouble(
        Format(std::string(tree) == "master"
                   ? _("the report would overwrite a file inside the master directory: %s")
                   : _("the report would overwrite a file inside the compare directory: %s"),
               {EscapeForDisplay(path)}));
}

} // namespace

int CheckBeforeTheRun(const CliOptions &o, ReportPlace &place, OpenedRoot &master,
                      OpenedRoot &compare) {
    if (const int status = cli::OpenRoot(o.compare.masterDir, "master", o, master))
        return status;
    if (const int status = cli::OpenRoot(o.compare.compareDir, "compare", o, compare))
        return status;
    struct stat masterSt {
    }, compareSt{};
    if (master.live && compare.live && ::stat(o.compare.masterDir.c_str(), &masterSt) == 0 &&
        ::stat(o.compare.compareDir.c_str(), &compareSt) == 0 &&
        masterSt.st_dev == compareSt.st_dev && masterSt.st_ino == compareSt.st_ino)
        return Trouble(Format(_("the master and compare directories are the same directory: %s"),
                              {EscapeForDisplay(o.compare.compareDir)}));
    if (o.outputPath.empty())
        return 0;
    if (const int err = LocateTarget(o.outputPath, place))
        return Trouble(Format(_("cannot write the report: %s: %s"),
                              {EscapeForDisplay(o.outputPath), ErrorText(err)}));
    if (const char *tree = treeHolding(o, place))
        return refuseReportIn(tree, o.outputPath);
    return 0;
}

int LocateTarget(const std::string &path, ReportPlace &place) {
    const int err = CheckWriteTarget(path, SpecialTarget::WriteInPlace);
    return err != 0 ? err : LocateReport(path, place);
}

int CheckAgainBeforeWriting(const CliOptions &o, const ReportPlace &before) {
    ReportPlace now;
    if (const int err = LocateReport(o.outputPath, now))
        return Trouble(Format(_("cannot write the report: %s: %s"),
                              {EscapeForDisplay(o.outputPath), ErrorText(err)}));
    if (!before.changed(now))
        return 0;
    if (const char *tree = treeHolding(o, now))
        return refuseReportIn(tree, o.outputPath);
    return 0;
}

UniqueFd OpenSpecialTarget(const std::string &path, bool &special) {
    struct stat st {};
    const std::string target = ResolveWriteTarget(path);
    special = ::stat(target.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
    if (!special)
        return UniqueFd();
    // O_NONBLOCK: a device that is not ready fails at once instead of hanging.
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd) {
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

} // namespace dirwise::cli
