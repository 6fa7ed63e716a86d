#include "FileActions.h"

#include "DesktopEntry.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace dirwise::desktop {

namespace {

// A program as the setting or the list names it: a path when it holds a "/", else a name on
// $PATH. Empty unless it is an executable file.
QString executable(const QString &program) {
    if (!program.contains(u'/'))
        return QStandardPaths::findExecutable(program);
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

void openFolderOf(const QString &path) {
    const QFileInfo info(path);
    (void)shellOpen(info.absolutePath());
}

} // namespace

QStringList findDiffTool(const QString &setting) {
    if (!setting.trimmed().isEmpty()) {
        QStringList command = splitExec(setting.trimmed());
        if (command.isEmpty())
            return {};
        command[0] = executable(command[0]);
        return command[0].isEmpty() ? QStringList() : command;
    }
    for (const QString &name : defaultDiffTools) {
        if (const QString program = executable(name); !program.isEmpty())
            return {program};
    }
    return {};
}

OpenResult startCommand(const QStringList &command, const QStringList &files) {
    if (command.isEmpty() || command.first().isEmpty())
        return OpenResult::NotFound;
    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1) + files);
    // A desktop program must not inherit our terminal's input.
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached() ? OpenResult::HandedOver : OpenResult::AccessDenied;
}

void showInFolder(const QString &path, const QDBusConnection &bus, int timeoutMs) {
    if (!bus.isConnected()) {
        // Answered from the event loop, as a bus error would be.
        QTimer::singleShot(0, QCoreApplication::instance(), [path] { openFolderOf(path); });
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
        u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    // Asynchronous with a deadline: a hung file manager can neither freeze the window nor
    // keep the folder from opening.
    auto *watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, path] {
        watcher->deleteLater();
        if (watcher->isError())
            openFolderOf(path);
    });
}

} // namespace dirwise::desktop
