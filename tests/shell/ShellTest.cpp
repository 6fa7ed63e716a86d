#include "DefaultPrompts.h"
#include "DesktopEntry.h"
#include "DesktopLaunch.h"
#include "FileActions.h"
#include "FilePropertiesDialog.h"
#include "SystemAbout.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirwise;
using namespace dirwise::desktop;
using Field = FilePropertiesDialog::Field;

// GoogleTest prints QStrings, and lists of them, as text in failure messages.
void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace {

QString bracketed(const QString &arg) { return u'[' + arg + u']'; }
std::string bytes(const QString &path) { return QFile::encodeName(path).toStdString(); }
// Detached programs log in any order.
QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// Every fake desktop program (xdg-open, xdg-mime, the browser) logs each call's arguments
// as one line "[a] [b]" in logs/<its name>.log. xdg-mime keeps a copy of the document it is
// asked to type, calls it text/html, and names logs/default-app as its default application.
constexpr char fakeProgram[] = R"(#!/bin/sh
line=; for a in "$@"; do line="$line[$a] "; done
printf '%s\n' "${line% }" >> "$DW_ROOT/logs/${0##*/}.log"
case "$1 $2" in
"query filetype") cat "$3" > "$DW_ROOT/logs/seen"; echo text/html ;;
"query default") cat "$DW_ROOT/logs/default-app" 2>/dev/null ;;
esac
)";
constexpr char scratchContent[] = "<HTML> <\\HTML>\r\n";

// A stand-in desktop: a temporary root with its own PATH, TMPDIR and XDG data folders, the
// fake programs, and a default browser whose path holds a blank. The environment comes back
// as it was when the test ends. It stands in for the user too: the real prompts, with every
// save chooser round answered from `answers` (a cancel once they run out) leaving `fileType`
// chosen, and every question and message recorded in `asked`.
class Desktop : public ::testing::Test, public DefaultPrompts {
public:
    void message(QWidget *, Icon, const QString &title, const QString &text,
                 const QString &) override {
        asked << title << text;
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        setPrompts(this);
        for (const char *name : {"PATH", "TMPDIR", "XDG_DATA_HOME", "XDG_DATA_DIRS", "DW_ROOT"})
            m_env.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                     : std::nullopt);
        for (const char *program : {"bin/xdg-open", "bin/xdg-mime", "bin dir/browser"})
            makeFile(program, fakeProgram, true);
        makeFile("data/applications/fake-browser.desktop",
                 "[Desktop Entry]\nType=Application\nExec=\"" + QFile::encodeName(browserPath()) +
                     "\" --new-window %u\n");
        makeFile("logs/default-app", "fake-browser.desktop\n");
        ASSERT_TRUE(QDir(root()).mkdir("tmp"));
        const QByteArray top = QFile::encodeName(root());
        qputenv("PATH", top + "/bin:/usr/bin:/bin");
        qputenv("TMPDIR", top + "/tmp");
        qputenv("XDG_DATA_HOME", top + "/data");
        qputenv("XDG_DATA_DIRS", top + "/dirs");
        qputenv("DW_ROOT", top);
    }
    void TearDown() override {
        for (const auto &[name, value] : m_env)
            value ? qputenv(name, *value) : qunsetenv(name);
        setPrompts(nullptr);
        QDBusConnection::disconnectFromBus("fake-file-manager");
    }
    QString askSaveFileName(QWidget *, const QString &title, const QString &start,
                            const QString &filters, QString *selected) override {
        asked << title << start << filters << *selected;
        *selected = fileType;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    [[nodiscard]] QString root() const { return m_dir.path(); }
    [[nodiscard]] QString tmpDir() const { return root() + "/tmp"; }
    [[nodiscard]] QString browserPath() const { return root() + "/bin dir/browser"; }
    // Files under `tmpDir()`, hidden ones and links included.
    [[nodiscard]] QStringList tmpEntries() const {
        return QDir(tmpDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                        QDir::System);
    }
    QString makeFile(const QString &relative, const QByteArray &content = "x", bool exe = false) {
        const QString path = root() + u'/' + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        if (exe)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    [[nodiscard]] QByteArray logged(const QString &name) const {
        QFile file(root() + "/logs/" + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    [[nodiscard]] QStringList calls(const QString &program) const {
        return QString::fromUtf8(logged(program + ".log")).split(u'\n', Qt::SkipEmptyParts);
    }
    // The programs run detached: waits until `program` has logged `count` calls.
    [[nodiscard]] bool waitForCalls(const QString &program, int count) const {
        return QTest::qWaitFor([&] { return calls(program).size() >= count; }, 15000);
    }

    QTemporaryDir m_dir;
    std::vector<std::pair<const char *, std::optional<QByteArray>>> m_env;
    QStringList answers, asked;
    QString fileType;
};

// Stands in for a desktop file manager on the test's private bus: no file manager runs here,
// and none may be started by activation. It records each ShowItemProperties and ShowItems
// call's URIs, refuses URIs holding "refuse" and never answers "hang".
class FakeFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList calls;
public slots:
    void ShowItemProperties(const QStringList &uris, const QString &) { answer(uris); }
    void ShowItems(const QStringList &uris, const QString &) { answer(uris); }

private:
    void answer(const QStringList &uris) {
        calls << uris.join(u' ');
        if (calls.last().contains("refuse"))
            sendErrorReply(QDBusError::Failed, "cannot show");
        else if (calls.last().contains("hang"))
            setDelayedReply(true);
    }
};

} // namespace

TEST(DesktopEntry, ExecIsSplitByItsQuotingRules) {
    EXPECT_EQ(splitExec(" firefox-esr  %u "), (QStringList{"firefox-esr", "%u"}));
    EXPECT_EQ(splitExec(R"("/opt/my app/run" --name="a \"b\" \$c" 100%%)"),
              (QStringList{"/opt/my app/run", "--name=a \"b\" $c", "100%"}));
    EXPECT_TRUE(splitExec("\"unclosed arg").isEmpty());
}

TEST(DesktopEntry, KeysOfTheMainGroupReadUnescaped) {
    const QByteArray entry = "[Desktop Action new]\nExec=action\n[Desktop Entry]\n"
                             "Exec[de]=localized\n  Exec  =  main --x  \nName=A\\sB\\\\C\n";
    EXPECT_EQ(entryValue(entry, "Exec"), "main --x");
    EXPECT_EQ(entryValue(entry, "Name"), "A B\\C");
}

TEST_F(Desktop, AssociatedProgramAsksXdgMimeForTheTypeThenItsDefault) {
    const QString doc = makeFile("docs/page one.htm", "<p>");
    EXPECT_EQ(findAssociatedProgram(doc), browserPath());
    EXPECT_EQ(calls("xdg-mime"), (QStringList{"[query] [filetype] " + bracketed(doc),
                                              "[query] [default] [text/html]"}));
    // None for a missing document, which is not even typed, nor for a default that is not
    // installed or not set, though both questions were asked.
    EXPECT_EQ(findAssociatedProgram(root() + "/absent.htm"), QString());
    for (const char *defaultApp : {"not-installed.desktop\n", ""}) {
        makeFile("logs/default-app", defaultApp);
        EXPECT_EQ(findAssociatedProgram(doc), QString()) << defaultApp;
    }
    EXPECT_EQ(calls("xdg-mime").size(), 6);
}

// Each look-up writes the scratch file into the private directory, made 0700 whatever the
// umask and kept, and deletes it. A stale file there is replaced; a directory found open to
// others is neither used nor changed; a link planted under its name is not written through.
TEST_F(Desktop, DefaultBrowserIsFoundThroughAPrivateScratchDirectory) {
    const QString dir = browserScratchDir(), name = QFileInfo(dir).fileName();
    const QByteArray dirBytes = QFile::encodeName(dir);
    ASSERT_TRUE(dir.startsWith(tmpDir() + u'/'));
    struct stat st {};
    // What xdg-mime was asked to type in the `round`th look-up.
    const auto typed = [&](int round) { return calls("xdg-mime").value(2 * round); };
    const mode_t old = ::umask(0);
    EXPECT_EQ(findDefaultBrowser(), browserPath());
    ::umask(old);
    EXPECT_EQ(typed(0), "[query] [filetype] " + bracketed(dir + "/_temp.htm"));
    EXPECT_TRUE(::stat(dirBytes.constData(), &st) == 0 && (st.st_mode & 07777) == 0700);
    const QString scratch = makeFile("tmp/" + name + "/_temp.htm", "stale, from a crashed run\n");
    EXPECT_EQ(findDefaultBrowser(), browserPath());
    EXPECT_EQ(typed(1), "[query] [filetype] " + bracketed(scratch));
    EXPECT_EQ(logged("seen"), QByteArray(scratchContent)); // the fresh 16 bytes only
    EXPECT_EQ(tmpEntries(), QStringList{name});
    EXPECT_TRUE(QDir(dir).isEmpty());

    ASSERT_EQ(::chmod(dirBytes.constData(), 0755), 0);
    EXPECT_EQ(findDefaultBrowser(), browserPath());
    EXPECT_FALSE(typed(2).contains(dir + u'/')) << typed(2).toStdString();
    EXPECT_TRUE(::stat(dirBytes.constData(), &st) == 0 && (st.st_mode & 07777) == 0755);

    // Another user's trap: our directory's name is a link to a folder they can read.
    const QString trap = root() + "/trap";
    ASSERT_TRUE(QDir().mkpath(trap) && ::rmdir(dirBytes.constData()) == 0);
    ASSERT_TRUE(QFile::link(trap, dir));
    EXPECT_EQ(findDefaultBrowser(), browserPath());
    EXPECT_EQ(logged("seen"), QByteArray(scratchContent));
    EXPECT_TRUE(typed(3).startsWith("[query] [filetype] [" + tmpDir() + u'/'));
    EXPECT_FALSE(typed(3).contains(dir + u'/')) << typed(3).toStdString();
    EXPECT_TRUE(QDir(trap).isEmpty());
    // The fresh private directory used instead is gone again; only the link is left.
    EXPECT_EQ(tmpEntries(), QStringList{name});
}

TEST_F(Desktop, ShellOpenHandsOverOnlyTargetsThatExist) {
    for (const QString &target :
         {root() + "/absent.htm", "file://" + root() + "/absent.htm", QString()})
        EXPECT_EQ(shellOpen(target), OpenResult::NotFound) << target.toStdString();
    EXPECT_EQ(shellOpen(root() + "/no-program", "arg"), OpenResult::NotFound);
    EXPECT_EQ(shellOpen("no-such-program-anywhere", "arg"), OpenResult::NotFound);

    const QString doc = makeFile("a, b/help page.htm"), url = makeFile("present.htm");
    const QString address = "https://example.org/a page?q=1&r=2";
    makeFile("-x");
    EXPECT_EQ(shellOpen(doc), OpenResult::HandedOver);
    EXPECT_EQ(shellOpen("file://" + url), OpenResult::HandedOver);
    EXPECT_EQ(shellOpen(address), OpenResult::HandedOver);
    // A relative path goes over as an absolute one, so "-x" cannot read as an option.
    const QString oldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root()));
    const OpenResult relative = shellOpen("-x");
    QDir::setCurrent(oldDir);
    EXPECT_EQ(relative, OpenResult::HandedOver);
    // With a parameter, the program itself starts with it as its one argument.
    EXPECT_EQ(shellOpen(browserPath(), "/some dir/page.htm"), OpenResult::HandedOver);

    // Anything started for the missing targets would have logged before these.
    ASSERT_TRUE(waitForCalls("xdg-open", 4) && waitForCalls("browser", 1));
    EXPECT_EQ(sorted(calls("xdg-open")), sorted({bracketed(doc), bracketed(url), bracketed(address),
                                                 bracketed(root() + "/-x")}));
    EXPECT_EQ(calls("browser"), QStringList{"[/some dir/page.htm]"});
}

TEST_F(Desktop, OpenTargetFallsBackToTheBrowserOnlyWhenTheTargetIsNotFound) {
    const QString doc = makeFile("dw.htm");
    openTarget(doc);
    ASSERT_TRUE(waitForCalls("xdg-open", 1));
    EXPECT_TRUE(calls("xdg-mime").isEmpty()); // opened: no browser was looked up

    const QString missing = root() + "/gone/dw home.htm";
    openTarget(missing);
    ASSERT_TRUE(waitForCalls("browser", 1));
    EXPECT_EQ(calls("browser"), QStringList{bracketed(missing)});
    EXPECT_EQ(calls("xdg-open"), QStringList{bracketed(doc)});

    // Any other failure ends it: without xdg-open no browser is looked up.
    ASSERT_TRUE(QFile::remove(root() + "/bin/xdg-open"));
    qputenv("PATH", QFile::encodeName(root()) + "/bin");
    EXPECT_EQ(shellOpen(doc), OpenResult::NoAssociation);
    QFile::remove(root() + "/logs/xdg-mime.log");
    openTarget(doc);
    EXPECT_TRUE(calls("xdg-mime").isEmpty());
    EXPECT_EQ(calls("browser").size(), 1);
}

TEST_F(Desktop, TheSaveChooserAsksAgainForANameInAMissingFolder) {
    const QString title = "Save Results As...", text = "Text File (*.txt)",
                  csv = "CSV File, all columns (*.csv)", filters = text + ";;" + csv,
                  good = root() + "/report.csv";
    answers = {root() + "/no such folder/deeper/report.csv", good};
    fileType = csv;
    QString chosenType;
    EXPECT_EQ(prompts().saveFileName(nullptr, title, "dw.txt", filters, &chosenType), good);
    EXPECT_EQ(chosenType, csv);
    // The first round gets the caller's texts and the first file type; the warning names
    // the folder; the second round opens in the nearest folder that exists, with the typed
    // name and the chosen file type.
    ASSERT_EQ(asked.size(), 10);
    EXPECT_EQ(asked.mid(0, 5), (QStringList{title, "dw.txt", filters, text, title}));
    EXPECT_TRUE(asked[5].contains(root() + "/no such folder/deeper")) << asked[5].toStdString();
    EXPECT_EQ(asked.mid(6), (QStringList{title, good, filters, csv}));
    EXPECT_EQ(prompts().saveFileName(nullptr, title, "dw.txt", filters), QString()); // cancel
}

TEST_F(Desktop, TheSystemAboutShowsOurTextsAboveTheSystemName) {
    showSystemAbout("Dirwise 7.0.0", "Other line");
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0], "About Dirwise 7.0.0");
    EXPECT_TRUE(asked[1].startsWith("Dirwise 7.0.0\nOther line\n"));
    EXPECT_TRUE(asked[1].contains(QSysInfo::prettyProductName()));
}

// Only on the private bus of dbus-run-session can no real file manager answer.
bool HavePrivateBus() {
    return qEnvironmentVariableIsSet("DIRWISE_TEST_PRIVATE_BUS") &&
           QDBusConnection::sessionBus().isConnected();
}

// Puts `fake` on the session bus as the desktop's file manager, on a connection of its own.
::testing::AssertionResult OfferFileManager(FakeFileManager &fake) {
    QDBusConnection fm =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-file-manager");
    if (!fm.registerObject("/org/freedesktop/FileManager1", &fake,
                           QDBusConnection::ExportAllSlots) ||
        !fm.registerService("org.freedesktop.FileManager1"))
        return ::testing::AssertionFailure() << "the fake file manager is not on the bus";
    return ::testing::AssertionSuccess();
}

// With no file manager on the bus, our own dialog shows the facts of both files.
TEST_F(Desktop, WithoutAFileManagerOurDialogShowsTheFileProperties) {
    if (!HavePrivateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    qunsetenv("XDG_DATA_DIRS"); // the system's MIME database
    qputenv("TZ", "UTC");       // the time below as the list would show it in UTC
    ::tzset();
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    constexpr qint64 mtime = 1700000000;
    const QString file = makeFile("a b.txt", QByteArray(1234, 'x'));
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(::chmod(bytes(file).c_str(), 0640), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, bytes(file).c_str(), times, 0), 0);
    QWidget owner;
    const QString compare = root() + "/compare/a b.txt"; // missing
    showFileProperties(&owner, bytes(file), bytes(compare));
    FilePropertiesDialog *dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (dialog = owner.findChild<FilePropertiesDialog *>()) != nullptr; }, 15000));
    EXPECT_FALSE(dialog->isModal());
    ASSERT_EQ(dialog->fileCount(), 2);
    EXPECT_EQ(dialog->fieldText(0, Field::Path), file);
    EXPECT_TRUE(dialog->fieldText(0, Field::Type).contains("text/plain"));
    // The results list's date form, in the user's locale, so one window shows one.
    EXPECT_EQ(dialog->fieldText(0, Field::Modified), "14.11.2023 22:13:20");
    EXPECT_TRUE(dialog->fieldText(0, Field::Size).startsWith("1.234 bytes"));
    EXPECT_EQ(dialog->fieldText(0, Field::Permissions), "-rw-r----- (0640)");
    EXPECT_TRUE(dialog->fieldText(0, Field::Owner).contains(QString("(%1)").arg(::geteuid())));
    EXPECT_EQ(dialog->fieldText(1, Field::Path), compare);
    EXPECT_TRUE(dialog->fieldText(1, Field::Type).startsWith("Cannot be examined"));
}

// A file manager is asked once per file; what it refuses or leaves unanswered gets our dialog.
TEST_F(Desktop, OurDialogShowsWhatTheFileManagerDoesNot) {
    if (!HavePrivateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    const QString file = makeFile("a b.txt");
    QWidget owner;
    FakeFileManager fake;
    ASSERT_TRUE(OfferFileManager(fake));
    const std::string dir = bytes(root());
    const std::vector<std::string> paths{bytes(file), dir + "/n\xe9w %.txt", dir + "/refuse",
                                         dir + "/hang"};
    // The short deadline stands for a file manager that hangs.
    QSignalSpy finished(
        PropertiesRequest::start(&owner, paths, QDBusConnection::sessionBus(), 1000),
        &PropertiesRequest::finished);
    ASSERT_TRUE(finished.wait(15000));
    const QString base = "file://" + QFile::encodeName(root()).toPercentEncoding("/");
    EXPECT_EQ(sorted(fake.calls), sorted({base + "/a%20b.txt", base + "/n%E9w%20%25.txt",
                                          base + "/refuse", base + "/hang"}));
    auto *dialog = finished.at(0).at(0).value<FilePropertiesDialog *>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->fileCount(), 2);
    EXPECT_EQ(dialog->fieldText(0, Field::Path), QFile::decodeName(paths[2].c_str()));
    EXPECT_EQ(dialog->fieldText(1, Field::Path), QFile::decodeName(paths[3].c_str()));
}

// Only on the private bus of dbus-run-session (see FilePropertiesGoToTheFileManager...): the
// file manager is asked to show the file selected, and nothing else is started.
TEST_F(Desktop, ShowInFolderAsksTheFileManagerToSelectTheFile) {
    if (!HavePrivateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    FakeFileManager fake;
    ASSERT_TRUE(OfferFileManager(fake));
    const QString file = makeFile("sub dir/a%b.txt");
    showInFolder(file);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake.calls.isEmpty(); }, 15000));
    EXPECT_EQ(fake.calls, QStringList{"file://" + QFile::encodeName(root()).toPercentEncoding("/") +
                                      "/sub%20dir/a%25b.txt"});
    QTest::qWait(500); // a fallback would have started by now
    EXPECT_EQ(calls("xdg-open"), QStringList());
}

// With no file manager on the bus, one that refuses, and one that never answers (the short
// deadline stands for a hung one), the folder that holds the file opens instead.
TEST_F(Desktop, ShowInFolderOpensTheFolderWhenNoFileManagerAnswers) {
    if (!HavePrivateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    FakeFileManager fake;
    QStringList expected;
    for (const char *folder : {"none", "refuse", "hang"}) {
        const QString file = makeFile(QString::fromLatin1(folder) + "/f.txt");
        if (std::string(folder) == "refuse") {
            ASSERT_TRUE(OfferFileManager(fake));
        }
        showInFolder(file, QDBusConnection::sessionBus(), 1000);
        expected << bracketed(root() + u'/' + QString::fromLatin1(folder));
        ASSERT_TRUE(waitForCalls("xdg-open", static_cast<int>(expected.size()))) << folder;
        EXPECT_EQ(calls("xdg-open"), expected) << folder;
    }
    EXPECT_EQ(fake.calls.size(), 2) << "asked for refuse and hang, not before it was there";
}

// The dialogs need a QApplication; the offscreen platform lets them exist with no display.
int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) // test discovery runs without ctest's
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "ShellTest.moc"
