// The settings files of the window tests, and their main: the settings must never touch the
// real user's files, so XDG_CONFIG_HOME and XDG_CONFIG_DIRS point into a fresh temporary
// directory before the first QSettings exists.
#include "AppTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace dirwise::test {

QString SettingsFile(bool systemWide) {
    return qEnvironmentVariable(systemWide ? "XDG_CONFIG_DIRS" : "XDG_CONFIG_HOME") +
           QStringLiteral("/Dirwise/Dirwise.conf");
}

void WriteSettings(const QString &content, bool systemWide) {
    QFile f(SettingsFile(systemWide));
    f.remove();
    QDir().mkpath(QFileInfo(f).absolutePath());
    if (!content.isEmpty() && f.open(QIODevice::WriteOnly))
        f.write(content.toUtf8());
}

QString ReadSettings() {
    QFile f(SettingsFile());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace dirwise::test

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 2;
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", scratch.filePath(QStringLiteral("system")).toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
