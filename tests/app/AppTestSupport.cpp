// The window tests' main: the settings must never touch the real user's files, so
// XDG_CONFIG_HOME and XDG_CONFIG_DIRS point into a fresh temporary directory before the
// first QSettings exists.
#include "AppTestSupport.h"

#include <clocale>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 2;
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", scratch.filePath(QStringLiteral("system")).toUtf8());
    QApplication app(argc, argv);
    // Dates and sizes in the list and the report read the same on every machine.
    std::setlocale(LC_ALL, "C");
    dirwise::test::UseTimeZone("UTC0");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
