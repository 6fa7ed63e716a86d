#include "DisplayText.h"
#include "Startup.h"
#include "Translations.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <unistd.h>

namespace {

void print(const QString &text, FILE *stream) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// While QApplication starts, Qt's messages are held back: when no platform plugin can start
// (no display), Qt ends the process with a fatal message and an abort, and the user gets a
// page of plugin diagnostics and a core dump. The fatal message becomes one line and exit
// status 1; on a good start the held messages are written as Qt would have written them.
QStringList heldMessages;

void holdStartMessage(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtFatalMsg) {
        print(dirwise::noDisplayText(qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")), stderr);
        std::fflush(stderr);
        _exit(1); // Qt is half built: no destructor may run.
    }
    heldMessages << qFormatLogMessage(type, context, text);
}

} // namespace

int main(int argc, char *argv[]) {
    // --help and --version need no display: answer them before Qt looks for one.
    QList<QByteArray> given;
    for (int i = 1; i < argc; ++i)
        given << QByteArray(argv[i]);
    std::optional<dirwise::EarlyExit> exit;
    {
        // A core application, which needs no display, carries the translations.
        int coreArgc = 1;
        QCoreApplication core(coreArgc, argv);
        dirwise::installTranslations();
        exit = dirwise::earlyExit(given);
    }
    if (exit) {
        print(exit->out, stdout);
        print(exit->err, stderr);
        return exit->status;
    }

    // After "--" every argument is a directory, even one Qt would read as its own option.
    // Qt sees only the arguments before it, in an array of its own that outlives the
    // application object, as Qt requires.
    QStringList afterOptions;
    std::vector<char *> qtArgv;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && qstrcmp(argv[i], "--") == 0) {
            for (int j = i + 1; j < argc; ++j)
                afterOptions << dirwise::PathText(argv[j]);
            break;
        }
        qtArgv.push_back(argv[i]);
    }
    int qtArgc = static_cast<int>(qtArgv.size());
    qtArgv.push_back(nullptr);

    // The window belongs to the desktop entry dirwise.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("dirwise"));
    const QtMessageHandler previous = qInstallMessageHandler(holdStartMessage);
    QApplication app(qtArgc, qtArgv.data());
    qInstallMessageHandler(previous);
    dirwise::installTranslations();
    for (const QString &message : std::as_const(heldMessages))
        print(message + '\n', stderr);
    heldMessages.clear();

    // QApplication has taken its own options out of argv.
    QStringList arguments;
    // Folder names keep their bytes, whatever they are (PathText).
    for (int i = 1; i < qtArgc; ++i)
        arguments << dirwise::PathText(qtArgv[static_cast<std::size_t>(i)]);
    arguments << afterOptions;
    return dirwise::runStartup(arguments, dirwise::defaultStartupServices());
}
