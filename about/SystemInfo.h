#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace dirwise {

// A System Information program and the arguments that open its overview.
struct SystemInfoProgram {
    // The program: a bare name in a candidate, an absolute path once it has been found.
    // Empty when there is none.
    QString program;
    QStringList arguments;

    // True when there is a program to start.
    [[nodiscard]] bool isValid() const { return !program.isEmpty(); }
    [[nodiscard]] bool operator==(const SystemInfoProgram &) const = default;
};

// The System Information programs worth trying for a desktop list, best first.
// `currentDesktops` is an XDG_CURRENT_DESKTOP value: desktop names separated by ":",
// most specific first (for example "ubuntu:GNOME"). Each name that Dirwise knows, matched
// without regard to case and surrounding blanks, adds its desktop's program:
//   GNOME  gnome-control-center info-overview
//   KDE    kinfocenter
//   XFCE   xfce4-about
//   LXQt   lxqt-about
// in the order the names appear; unknown and empty names are passed over and a program is
// listed once however often its desktop is named. `hardinfo` always comes last, as it
// serves any desktop, so the result is never empty. Looks at nothing but its argument.
[[nodiscard]] QList<SystemInfoProgram> systemInfoCandidates(const QString &currentDesktops);

// The first of systemInfoCandidates(currentDesktops) that QStandardPaths::findExecutable
// finds on PATH, with `program` replaced by the absolute path found; an invalid (empty)
// value when none is installed. Never starts anything.
[[nodiscard]] SystemInfoProgram findSystemInfoProgram(const QString &currentDesktops);

// findSystemInfoProgram for this session's desktop, read from XDG_CURRENT_DESKTOP (unset
// counts as empty, which still finds hardinfo). Looked up afresh on every call.
[[nodiscard]] SystemInfoProgram findSystemInfoProgram();

} // namespace dirwise
