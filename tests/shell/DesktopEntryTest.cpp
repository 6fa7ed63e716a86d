#include "DesktopEntry.h"
#include "FakeDesktop.h"

#include <QFile>

using namespace dirwise::desktop;

TEST(DesktopEntry, ReadsOnlyThePlainKeyOfTheMainGroup) {
    const QByteArray content = "# Exec=commented\n"
                               "[Desktop Action new]\nExec=action-program\n"
                               "[Desktop Entry]\n"
                               "Exec[de]=localized\n"
                               "  Exec  =  main-program --x  \n"
                               "Exec=second\n"
                               "Name=A\\sB\\\\C\\;D\n";
    EXPECT_EQ(entryValue(content, QStringLiteral("Exec")), QStringLiteral("main-program --x"));
    // \s and \\ are string escapes; \; belongs to list values and is kept for them.
    EXPECT_EQ(entryValue(content, QStringLiteral("Name")), QStringLiteral("A B\\C\\;D"));
    EXPECT_FALSE(entryValue(content, QStringLiteral("Icon")).has_value());
    EXPECT_FALSE(entryValue("Exec=outside\n", QStringLiteral("Exec")).has_value());
}

TEST(DesktopEntry, SplitsExecByItsQuotingRules) {
    EXPECT_EQ(splitExec(QStringLiteral("  firefox-esr  %u ")),
              (QStringList{QStringLiteral("firefox-esr"), QStringLiteral("%u")}));
    EXPECT_EQ(splitExec(QStringLiteral("\"/opt/my app/run\" --name=\"a \\\"b\\\" \\$c\" 100%%")),
              (QStringList{QStringLiteral("/opt/my app/run"), QStringLiteral("--name=a \"b\" $c"),
                           QStringLiteral("100%")}));
    EXPECT_EQ(splitExec(QStringLiteral("\"\" x")), (QStringList{QString(), QStringLiteral("x")}));
    EXPECT_TRUE(splitExec(QStringLiteral("\"unclosed arg")).isEmpty());
    EXPECT_TRUE(splitExec(QStringLiteral("   ")).isEmpty());
}

class DesktopFiles : public FakeDesktop {};

TEST_F(DesktopFiles, FindsIdsInDataHomeFirstAndDashesAsFolders) {
    writeDesktopFile(QStringLiteral("both.desktop"), "[Desktop Entry]\nExec=home\n");
    writeDesktopFile(QStringLiteral("both.desktop"), "[Desktop Entry]\nExec=system\n", false);
    writeDesktopFile(QStringLiteral("kde4/sub-viewer.desktop"), "[Desktop Entry]\nExec=v\n", false);

    EXPECT_EQ(findDesktopFile(QStringLiteral("both.desktop")),
              root() + QStringLiteral("/data/applications/both.desktop"));
    EXPECT_EQ(findDesktopFile(QStringLiteral("kde4-sub-viewer.desktop")),
              root() + QStringLiteral("/dirs/applications/kde4/sub-viewer.desktop"));
    EXPECT_TRUE(findDesktopFile(QStringLiteral("absent.desktop")).isEmpty());
    // An id is a name, never a path out of the applications folders.
    makeFile(QStringLiteral("data/evil.desktop"), "[Desktop Entry]\nExec=sh\n");
    EXPECT_TRUE(findDesktopFile(QStringLiteral("../evil.desktop")).isEmpty());
    EXPECT_TRUE(findDesktopFile(QStringLiteral("both")).isEmpty());
}

TEST_F(DesktopFiles, ProgramIsTheExecutableOfTheExecLine) {
    const QString base = root() + QStringLiteral("/data/applications/");
    EXPECT_EQ(programOfDesktopFile(base + QStringLiteral("fake-browser.desktop")), browserPath());

    // A bare name is looked up on $PATH.
    writeDesktopFile(QStringLiteral("bare.desktop"), "[Desktop Entry]\nExec=xdg-open %f\n");
    EXPECT_EQ(programOfDesktopFile(base + QStringLiteral("bare.desktop")),
              binDir() + QStringLiteral("/xdg-open"));

    writeDesktopFile(QStringLiteral("hidden.desktop"),
                     "[Desktop Entry]\nHidden=true\nExec=xdg-open\n");
    writeDesktopFile(QStringLiteral("noexec.desktop"), "[Desktop Entry]\nName=x\n");
    writeDesktopFile(QStringLiteral("gone.desktop"), "[Desktop Entry]\nExec=/no/such/program\n");
    writeDesktopFile(QStringLiteral("plain.desktop"),
                     "[Desktop Entry]\nExec=" + QFile::encodeName(root()) + "/logs\n");
    for (const char *name : {"hidden", "noexec", "gone", "plain", "missing"}) {
        EXPECT_TRUE(
            programOfDesktopFile(base + QString::fromLatin1(name) + QStringLiteral(".desktop"))
                .isEmpty())
            << name;
    }
}
