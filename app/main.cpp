#include "DisplayText.h"
#include "Startup.h"

#include <QApplication>

#include <cstdio>

namespace {

void print(const QString &text, FILE *stream) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

} // namespace

int main(int argc, char *argv[]) {
    // --help and --version need no display: answer them before Qt looks for one.
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<dirwise::EarlyExit> exit = dirwise::earlyExit(given)) {
        print(exit->out, stdout);
        print(exit->err, stderr);
        return exit->status;
    }

    // The window belongs to the desktop entry dirwise.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("dirwise"));
    QApplication app(argc, argv);
    // QApplication has taken its own options out of argv.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << dirwise::PathText(argv[i]); // a folder's bytes, whatever they are
    return dirwise::runStartup(arguments, dirwise::defaultStartupServices());
}
