#pragma once

#include "DesktopLaunch.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>

// Acting on the files of a results row through the desktop: a diff tool for a pair, the file
// manager for a file's folder. Like DesktopLaunch, nothing here shows a message or waits for
// a program it starts.
namespace dirwise::desktop {

// The diff tools tried, in this order, when the DiffTool setting names none.
inline const QStringList defaultDiffTools = {QStringLiteral("meld"), QStringLiteral("kdiff3"),
                                             QStringLiteral("kompare"), QStringLiteral("diffuse")};

// The command that compares two files: `setting` (the DiffTool setting) split as a desktop
// entry's Exec line, a program with its own arguments ("meld", "/opt/bc/bcompare -ro");
// when `setting` is blank, the first of defaultDiffTools found on $PATH. The program comes
// back as a full path. Empty when the setting's program is not an executable on $PATH (or
// at its path), when the setting cannot be split, or when no default is installed.
[[nodiscard]] QStringList findDiffTool(const QString &setting);

// Starts `command` (a program and its arguments) with `files` appended as arguments of
// their own, detached, input from /dev/null: HandedOver, NotFound for an empty command,
// AccessDenied when it could not be started.
[[nodiscard]] OpenResult startCommand(const QStringList &command, const QStringList &files);

// Shows `path` in the file manager: asks org.freedesktop.FileManager1 on `bus` to show it
// selected in its folder; when that fails (no bus, no file manager, an error, or no answer
// within `timeoutMs`), opens the folder that holds `path` through shellOpen. Returns at
// once; the fallback runs from the event loop.
void showInFolder(const QString &path, const QDBusConnection &bus = QDBusConnection::sessionBus(),
                  int timeoutMs = 5000);

} // namespace dirwise::desktop
