#include "Startup.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // QApplication has taken its own options out of argv.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return dirwise::runStartup(dirwise::joinArguments(arguments),
                               dirwise::defaultStartupServices());
}
