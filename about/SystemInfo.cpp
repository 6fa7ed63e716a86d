#include "SystemInfo.h"

#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace dirwise {

namespace {

struct DesktopProgram {
    QLatin1StringView desktop;
    QLatin1StringView program;
    QLatin1StringView argument; // empty: none
};

// The desktops' own overview programs. GNOME has no separate program: its settings
// application opens the overview page when given the panel's name.
constexpr DesktopProgram desktopPrograms[] = {
    {"GNOME"_L1, "gnome-control-center"_L1, "info-overview"_L1},
    {"KDE"_L1, "kinfocenter"_L1, {}},
    {"XFCE"_L1, "xfce4-about"_L1, {}},
    {"LXQt"_L1, "lxqt-about"_L1, {}},
};

SystemInfoProgram makeProgram(QLatin1StringView program, QLatin1StringView argument) {
    SystemInfoProgram result{QString(program), {}};
    if (!argument.isEmpty())
        result.arguments << QString(argument);
    return result;
}

} // namespace

QList<SystemInfoProgram> systemInfoCandidates(const QString &currentDesktops) {
    QList<SystemInfoProgram> candidates;
    const auto add = [&candidates](SystemInfoProgram p) {
        if (!candidates.contains(p))
            candidates << std::move(p);
    };
    for (const QString &name : currentDesktops.split(u':', Qt::SkipEmptyParts)) {
        const QString trimmed = name.trimmed();
        for (const DesktopProgram &d : desktopPrograms) {
            if (trimmed.compare(d.desktop, Qt::CaseInsensitive) == 0)
                add(makeProgram(d.program, d.argument));
        }
    }
    add(makeProgram("hardinfo"_L1, {}));
    return candidates;
}

SystemInfoProgram findSystemInfoProgram(const QString &currentDesktops) {
    for (SystemInfoProgram candidate : systemInfoCandidates(currentDesktops)) {
        // findExecutable checks that the file is executable, not only that it exists, so
        // the button is never enabled for a program that cannot start.
        const QString found = QStandardPaths::findExecutable(candidate.program);
        if (!found.isEmpty()) {
            candidate.program = found;
            return candidate;
        }
    }
    return {};
}

SystemInfoProgram findSystemInfoProgram() {
    return findSystemInfoProgram(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
}

} // namespace dirwise
