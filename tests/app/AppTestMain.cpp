// The widget tests need a QApplication before the first test, and the settings must never
// touch the real user's files: XDG_CONFIG_HOME (and XDG_CONFIG_DIRS, for the system-wide
// file test) point into a fresh temporary directory before the first QSettings exists.
#include "AppTestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    char pattern[] = "/tmp/dw-app-tests-XXXXXX";
    const char *base = ::mkdtemp(pattern);
    if (!base)
        return 2;
    const std::string root = base;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(root + "/system"));
    dirwise::test::SetScratchRoot(root);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    dirwise::test::RemoveScratchRoot();
    return rc;
}
