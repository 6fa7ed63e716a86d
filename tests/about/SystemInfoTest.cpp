#include "SystemInfo.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dirwise;

namespace {

// The candidates as "program arg ..." strings, for readable comparisons.
QStringList describe(const QList<SystemInfoProgram> &programs) {
    QStringList out;
    for (const SystemInfoProgram &p : programs)
        out << (QStringList{p.program} + p.arguments).join(u' ');
    return out;
}

} // namespace

class SystemInfoTest : public QObject {
    Q_OBJECT

private slots:
    void candidatesFollowTheDesktopList_data() {
        QTest::addColumn<QString>("desktops");
        QTest::addColumn<QStringList>("expected");
        const QString gnome = QStringLiteral("gnome-control-center info-overview");
        const QString kde = QStringLiteral("kinfocenter");
        const QString any = QStringLiteral("hardinfo");
        QTest::newRow("unset") << QString() << QStringList{any};
        QTest::newRow("unknown desktop") << "X-Cinnamon" << QStringList{any};
        QTest::newRow("Ubuntu's GNOME") << "ubuntu:GNOME" << QStringList{gnome, any};
        QTest::newRow("KDE") << "KDE" << QStringList{kde, any};
        QTest::newRow("XFCE") << "XFCE" << QStringList{QStringLiteral("xfce4-about"), any};
        QTest::newRow("LXQt") << "LXQt" << QStringList{QStringLiteral("lxqt-about"), any};
        QTest::newRow("order kept") << "KDE:GNOME" << QStringList{kde, gnome, any};
        QTest::newRow("case and blanks ignored") << " gnome :kde" << QStringList{gnome, kde, any};
        QTest::newRow("empty entries skipped") << "::KDE::" << QStringList{kde, any};
        QTest::newRow("named twice, listed once") << "KDE:kde" << QStringList{kde, any};
        QTest::newRow("no partial names") << "KDEX:GNOME-Flashback" << QStringList{any};
    }
    void candidatesFollowTheDesktopList() {
        QFETCH(QString, desktops);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(systemInfoCandidates(desktops)), expected);
    }

    // A fake bin directory on PATH decides what is installed.
    void lookUpTakesTheFirstInstalledCandidate() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const ScopedEnv path("PATH", QFile::encodeName(bin.path()));

        QVERIFY(!GetSystemInfoPath(QStringLiteral("KDE")).isValid()); // nothing installed

        const QString hardinfo = writeScript(bin.path(), QStringLiteral("hardinfo"), "true");
        QVERIFY(!hardinfo.isEmpty());
        // hardinfo serves any desktop, even none.
        QCOMPARE(GetSystemInfoPath(QString()).program, hardinfo);
        QCOMPARE(GetSystemInfoPath(QStringLiteral("KDE")).program, hardinfo);

        const QString kinfo = writeScript(bin.path(), QStringLiteral("kinfocenter"), "true");
        const SystemInfoProgram kde = GetSystemInfoPath(QStringLiteral("KDE"));
        QCOMPARE(kde.program, kinfo);
        QVERIFY(kde.arguments.isEmpty());
        // KDE's program is not offered on another desktop.
        QCOMPARE(GetSystemInfoPath(QStringLiteral("GNOME")).program, hardinfo);

        const QString gcc = writeScript(bin.path(), QStringLiteral("gnome-control-center"), "true");
        const SystemInfoProgram gnome = GetSystemInfoPath(QStringLiteral("ubuntu:GNOME"));
        QCOMPARE(gnome.program, gcc);
        QCOMPARE(gnome.arguments, QStringList{QStringLiteral("info-overview")});
    }

    void aFileThatCannotRunDoesNotCount() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const ScopedEnv path("PATH", QFile::encodeName(bin.path()));
        QFile plain(bin.path() + QStringLiteral("/kinfocenter"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a program\n");
        plain.close();
        plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QDir(bin.path()).mkdir(QStringLiteral("hardinfo"))); // a directory
        QVERIFY(!GetSystemInfoPath(QStringLiteral("KDE")).isValid());
    }

    void readsTheSessionsDesktop() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const ScopedEnv path("PATH", QFile::encodeName(bin.path()));
        const QString about = writeScript(bin.path(), QStringLiteral("xfce4-about"), "true");
        {
            const ScopedEnv desktop("XDG_CURRENT_DESKTOP", "XFCE");
            QCOMPARE(GetSystemInfoPath().program, about);
        }
        const ScopedEnv desktop("XDG_CURRENT_DESKTOP", "KDE");
        QVERIFY(!GetSystemInfoPath().isValid());
    }
};

DIRWISE_REGISTER_TEST(SystemInfoTest);
#include "SystemInfoTest.moc"
