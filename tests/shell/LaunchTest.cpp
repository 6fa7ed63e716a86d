#include "FakeDesktop.h"
#include "modWin32Api.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace dirwise::modWin32Api;

namespace {

QString bracketed(const QString &arg) { return u'[' + arg + u']'; }

} // namespace

TEST(TrimAtNul, CutsAtTheFirstNul) {
    EXPECT_EQ(TrimAtNul(QStringLiteral("no nul here")), QStringLiteral("no nul here"));
    EXPECT_EQ(TrimAtNul(QString(QChar(u'\0')) + QStringLiteral("rest")), QString());
    EXPECT_EQ(
        TrimAtNul(QStringLiteral("C:\\dir") + QChar(u'\0') + QStringLiteral("junk") + QChar(u'\0')),
        QStringLiteral("C:\\dir"));
    EXPECT_EQ(TrimAtNul(QString()), QString());
}

class Launch : public FakeDesktop {};

TEST_F(Launch, TempDirEndsInOneSlashAndWindowsDirIsEmpty) {
    setEnv("TMPDIR", QByteArray("/var/tmp/"));
    EXPECT_EQ(GetTempDir(), QStringLiteral("/var/tmp/"));
    setEnv("TMPDIR", QByteArray("/var/tmp"));
    EXPECT_EQ(GetTempDir(), QStringLiteral("/var/tmp/"));
    setEnv("TMPDIR", std::nullopt);
    EXPECT_EQ(GetTempDir(), QStringLiteral("/tmp/"));
    EXPECT_TRUE(GetWindowsDir().isEmpty());
}

TEST_F(Launch, AssociatedProgramComesFromTheDefaultApplication) {
    const QString doc = makeFile(QStringLiteral("docs/page one.htm"), "<p>");
    setDefaultApp("fake-browser.desktop");
    EXPECT_EQ(FindAssociatedProgram(doc), browserPath());
    EXPECT_EQ(calls(QStringLiteral("xdg-mime")),
              (QStringList{QStringLiteral("[query] [filetype] ") + bracketed(doc),
                           QStringLiteral("[query] [default] [text/html]")}));
}

TEST_F(Launch, AssociatedProgramIsEmptyWhenNothingIsSetOrFound) {
    const QString doc = makeFile(QStringLiteral("page.htm"));
    // xdg-mime prints nothing and exits 0 when no default is set.
    EXPECT_TRUE(FindAssociatedProgram(doc).isEmpty());
    setDefaultApp("not-installed.desktop");
    EXPECT_TRUE(FindAssociatedProgram(doc).isEmpty());
    // A document that does not exist is not even asked about.
    const int before = calls(QStringLiteral("xdg-mime")).size();
    EXPECT_TRUE(FindAssociatedProgram(root() + QStringLiteral("/absent.htm")).isEmpty());
    EXPECT_EQ(calls(QStringLiteral("xdg-mime")).size(), before);
}

TEST_F(Launch, DefaultBrowserReplacesAStaleScratchFileAndLeavesNone) {
    setDefaultApp("fake-browser.desktop");
    const QString dir = browserScratchDir();
    ASSERT_TRUE(dir.startsWith(tmpDir() + u'/'));
    ASSERT_EQ(::mkdir(QFile::encodeName(dir).constData(), 0700), 0);
    const QString scratch = dir + QStringLiteral("/_temp.htm");
    makeFile(QDir(root()).relativeFilePath(scratch), "stale content from a crashed run\n");

    EXPECT_EQ(FindDefaultBrowser(), browserPath());

    // The look-up saw exactly the fresh 16 bytes, not the stale file's.
    EXPECT_EQ(seenDocument(), QByteArray("<HTML> <\\HTML>\r\n"));
    EXPECT_EQ(seenDocument().size(), 16);
    const QStringList mime = calls(QStringLiteral("xdg-mime"));
    ASSERT_FALSE(mime.isEmpty());
    EXPECT_EQ(mime.first(), QStringLiteral("[query] [filetype] ") + bracketed(scratch));
    EXPECT_FALSE(QFileInfo::exists(scratch));
    // A second look-up works the same from the kept private directory.
    EXPECT_EQ(FindDefaultBrowser(), browserPath());
    EXPECT_FALSE(QFileInfo::exists(scratch));
    EXPECT_EQ(QDir(tmpDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QFileInfo(dir).fileName()});
}

TEST_F(Launch, DefaultBrowserNeverWritesThroughAPlantedLink) {
    setDefaultApp("fake-browser.desktop");
    // Another user's trap: our directory name is a link to a folder they can read.
    const QString trap = root() + QStringLiteral("/trap");
    ASSERT_TRUE(QDir().mkpath(trap));
    ASSERT_TRUE(QFile::link(trap, browserScratchDir()));

    EXPECT_EQ(FindDefaultBrowser(), browserPath());
    EXPECT_TRUE(QDir(trap).isEmpty());
    EXPECT_EQ(seenDocument(), QByteArray("<HTML> <\\HTML>\r\n"));
    // The fresh private directory used instead is gone again; only the link is left.
    EXPECT_EQ(QDir(tmpDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                       QDir::System),
              QStringList{QFileInfo(browserScratchDir()).fileName()});
}

TEST_F(Launch, DefaultBrowserRefusesADirectoryOthersCanEnter) {
    setDefaultApp("fake-browser.desktop");
    const QByteArray dir = QFile::encodeName(browserScratchDir());
    ASSERT_EQ(::mkdir(dir.constData(), 0777), 0);
    ASSERT_EQ(::chmod(dir.constData(), 0777), 0);

    EXPECT_EQ(FindDefaultBrowser(), browserPath());
    const QStringList mime = calls(QStringLiteral("xdg-mime"));
    ASSERT_FALSE(mime.isEmpty());
    EXPECT_FALSE(mime.first().contains(QFile::decodeName(dir) + u'/'))
        << mime.first().toStdString();
    EXPECT_TRUE(QDir(QFile::decodeName(dir)).isEmpty());
}

TEST_F(Launch, DefaultBrowserIsEmptyWhenTheTempDirIsMissing) {
    setDefaultApp("fake-browser.desktop");
    setEnv("TMPDIR", QFile::encodeName(root() + QStringLiteral("/no/such/dir")));
    EXPECT_TRUE(FindDefaultBrowser().isEmpty());
    EXPECT_TRUE(calls(QStringLiteral("xdg-mime")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/no")));
}

TEST_F(Launch, ShellOpenHandsExistingTargetsToXdgOpen) {
    const QString doc = makeFile(QStringLiteral("a, b/help page.htm"));
    EXPECT_GT(ShellOpen(doc), 32);
    ASSERT_TRUE(waitForCalls(QStringLiteral("xdg-open"), 1));

    // A relative path goes over as an absolute one, so "-x" cannot read as an option.
    makeFile(QStringLiteral("-x"));
    const QString oldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root()));
    const int relative = ShellOpen(QStringLiteral("-x"));
    QDir::setCurrent(oldDir);
    EXPECT_GT(relative, 32);
    ASSERT_TRUE(waitForCalls(QStringLiteral("xdg-open"), 2));

    const QString address = QStringLiteral("https://example.org/a page?q=1&r=2");
    EXPECT_GT(ShellOpen(address), 32);
    ASSERT_TRUE(waitForCalls(QStringLiteral("xdg-open"), 3));

    QStringList got = calls(QStringLiteral("xdg-open"));
    got.sort();
    QStringList want{bracketed(doc), bracketed(root() + QStringLiteral("/-x")), bracketed(address)};
    want.sort();
    EXPECT_EQ(got, want);
}

TEST_F(Launch, ShellOpenOfAMissingLocalTargetGivesTwoAndStartsNothing) {
    EXPECT_EQ(ShellOpen(root() + QStringLiteral("/absent.htm")), shellNotFound);
    EXPECT_EQ(ShellOpen(QStringLiteral("file://") + root() + QStringLiteral("/absent.htm")),
              shellNotFound);
    EXPECT_EQ(ShellOpen(QString()), shellNotFound);
    EXPECT_EQ(ShellOpen(root() + QStringLiteral("/no-program"), QStringLiteral("arg")),
              shellNotFound);
    EXPECT_EQ(ShellOpen(QStringLiteral("no-such-program-anywhere"), QStringLiteral("arg")),
              shellNotFound);
    // Anything started above would have logged before this later call's line.
    const QString doc = makeFile(QStringLiteral("present.htm"));
    EXPECT_GT(ShellOpen(QStringLiteral("file://") + doc), 32);
    ASSERT_TRUE(waitForCalls(QStringLiteral("xdg-open"), 1));
    EXPECT_EQ(calls(QStringLiteral("xdg-open")), QStringList{bracketed(doc)});
    EXPECT_TRUE(calls(QStringLiteral("browser")).isEmpty());
}

TEST_F(Launch, ShellOpenStartsAProgramWithItsParameterWhole) {
    const QString parameter = QStringLiteral("/some dir/page.htm");
    EXPECT_GT(ShellOpen(browserPath(), parameter), 32);
    ASSERT_TRUE(waitForCalls(QStringLiteral("browser"), 1));
    EXPECT_EQ(calls(QStringLiteral("browser")), QStringList{bracketed(parameter)});
    EXPECT_TRUE(calls(QStringLiteral("xdg-open")).isEmpty());
}

TEST_F(Launch, ShellOpenWithoutAnOpenerReportsNoAssociation) {
    removeXdgOpen();
    EXPECT_EQ(ShellOpen(makeFile(QStringLiteral("doc.txt"))), shellNoAssociation);
    EXPECT_EQ(ShellOpen(QStringLiteral("https://example.org/")), shellNoAssociation);
}

TEST_F(Launch, OpenTargetOpensAnExistingDocumentWithoutTheBrowser) {
    setDefaultApp("fake-browser.desktop");
    const QString doc = makeFile(QStringLiteral("dw.htm"));
    OpenTarget(doc);
    ASSERT_TRUE(waitForCalls(QStringLiteral("xdg-open"), 1));
    EXPECT_EQ(calls(QStringLiteral("xdg-open")), QStringList{bracketed(doc)});
    EXPECT_TRUE(calls(QStringLiteral("xdg-mime")).isEmpty());
}

TEST_F(Launch, OpenTargetFallsBackToTheBrowserOnlyOnNotFound) {
    setDefaultApp("fake-browser.desktop");
    const QString missing = root() + QStringLiteral("/gone/dw home.htm");
    OpenTarget(missing);
    ASSERT_TRUE(waitForCalls(QStringLiteral("browser"), 1));
    EXPECT_EQ(calls(QStringLiteral("browser")), QStringList{bracketed(missing)});
    EXPECT_TRUE(calls(QStringLiteral("xdg-open")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(browserScratchDir() + QStringLiteral("/_temp.htm")));
}

TEST_F(Launch, OpenTargetStopsOnAnyOtherFailure) {
    setDefaultApp("fake-browser.desktop");
    removeXdgOpen(); // ShellOpen now fails with "no association" (31), not "not found"
    OpenTarget(makeFile(QStringLiteral("dw.htm")));
    // The browser is only ever found through xdg-mime, which was never asked.
    EXPECT_TRUE(calls(QStringLiteral("xdg-mime")).isEmpty());
    EXPECT_TRUE(calls(QStringLiteral("browser")).isEmpty());
}

TEST_F(Launch, OpenTargetWithNoBrowserStartsNothing) {
    const QString missing = root() + QStringLiteral("/missing.htm");
    OpenTarget(missing);
    EXPECT_EQ(calls(QStringLiteral("xdg-mime")).size(), 2); // filetype, then default
    // Anything started above would have logged before this later call's line.
    const QString doc = makeFile(QStringLiteral("present.htm"));
    EXPECT_GT(ShellOpen(doc), 32);
    ASSERT_TRUE(waitForCalls(QStringLiteral("xdg-open"), 1));
    EXPECT_EQ(calls(QStringLiteral("xdg-open")), QStringList{bracketed(doc)});
    EXPECT_TRUE(calls(QStringLiteral("browser")).isEmpty());
}
