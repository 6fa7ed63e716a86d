#include "FilePropertiesDialog.h"
#include "QtPrinters.h"
#include "modDialog32.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using dirwise::FilePropertiesDialog;
using Field = dirwise::FilePropertiesDialog::Field;
using dirwise::modDialog32::PropertiesRequest;

// Stands in for a desktop file manager on the test's private bus. It records every
// ShowItemProperties call; it refuses URIs containing "refuse" with an error and leaves
// URIs containing "hang" unanswered.
class FakeFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> calls;
    QStringList startupIds;

public slots:
    void ShowItemProperties(const QStringList &uris, const QString &startupId) {
        calls.append(uris);
        startupIds.append(startupId);
        const QString joined = uris.join(u' ');
        if (joined.contains(QStringLiteral("refuse")))
            sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show"));
        else if (joined.contains(QStringLiteral("hang")))
            setDelayedReply(true); // and never answer
    }
};

namespace {

constexpr qint64 fixedMtime = 1700000000; // 2023-11-14 22:13:20 UTC

std::string bytes(const QString &path) { return QFile::encodeName(path).toStdString(); }

class Properties : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.path() + QStringLiteral("/a b.txt");
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1234, 'x'));
        file.close();
        const QByteArray name = QFile::encodeName(m_file);
        ASSERT_EQ(::chmod(name.constData(), 0640), 0);
        const struct timespec times[2] = {{fixedMtime, 0}, {fixedMtime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
    }
    void TearDown() override {
        // Close what a test left open: no window outlives its test.
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QStringLiteral("dlgFileProperties"))
                w->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_fakeRegistered)
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-file-manager"));
    }

    // The private bus the test runs on, or a skip when there is none.
    bool privateBus() {
        return qEnvironmentVariableIsSet("DIRWISE_TEST_PRIVATE_BUS") &&
               QDBusConnection::sessionBus().isConnected();
    }

    // Puts the fake file manager on the bus through a connection of its own, so that calls
    // to it really travel over the bus.
    void registerFakeFileManager() {
        QDBusConnection fm = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                           QStringLiteral("fake-file-manager"));
        m_fakeRegistered = true;
        ASSERT_TRUE(fm.isConnected());
        ASSERT_TRUE(fm.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &m_fake,
                                      QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(fm.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    }

    // Starts a request and waits for its end; returns the fallback dialog (or nullptr).
    FilePropertiesDialog *finish(PropertiesRequest *request) {
        QSignalSpy spy(request, &PropertiesRequest::finished);
        EXPECT_TRUE(spy.wait(15000));
        if (spy.size() != 1)
            return nullptr;
        return spy.at(0).at(0).value<FilePropertiesDialog *>();
    }

    QTemporaryDir m_dir;
    QString m_file;
    QWidget m_owner;
    FakeFileManager m_fake;
    bool m_fakeRegistered = false;
};

} // namespace

TEST_F(Properties, OwnDialogShowsTheFileFacts) {
    FilePropertiesDialog dialog({bytes(m_file)});
    ASSERT_EQ(dialog.fileCount(), 1);
    EXPECT_EQ(dialog.fieldText(0, Field::Path), m_file);
    EXPECT_TRUE(dialog.fieldText(0, Field::Type).startsWith(QStringLiteral("Regular file (")))
        << dialog.fieldText(0, Field::Type).toStdString();
    EXPECT_TRUE(dialog.fieldText(0, Field::Type).contains(QStringLiteral("text/plain")));
    EXPECT_TRUE(dialog.fieldText(0, Field::Size)
                    .startsWith(QLocale().toString(1234) + QStringLiteral(" bytes")));
    EXPECT_EQ(
        dialog.fieldText(0, Field::Modified),
        QDateTime::fromSecsSinceEpoch(fixedMtime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    EXPECT_EQ(dialog.fieldText(0, Field::Permissions), QStringLiteral("-rw-r----- (0640)"));
    EXPECT_TRUE(dialog.fieldText(0, Field::Owner).contains(QStringLiteral("(%1)").arg(::geteuid())))
        << dialog.fieldText(0, Field::Owner).toStdString();
    EXPECT_TRUE(dialog.windowTitle().contains(QStringLiteral("a b.txt")));
    EXPECT_EQ(dialog.fieldText(1, Field::Path), QString());
}

TEST_F(Properties, OwnDialogDescribesAMissingCompareFileAndSpecialKinds) {
    const QString missing = m_dir.path() + QStringLiteral("/compare/a b.txt");
    FilePropertiesDialog pair({bytes(m_file), bytes(missing)});
    ASSERT_EQ(pair.fileCount(), 2);
    EXPECT_EQ(pair.fieldText(1, Field::Path), missing);
    EXPECT_TRUE(pair.fieldText(1, Field::Type).startsWith(QStringLiteral("Cannot be examined")));
    EXPECT_TRUE(pair.fieldText(1, Field::Size).isEmpty());

    const QString link = m_dir.path() + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(QStringLiteral("a b.txt"), link));
    const QByteArray rawName = QFile::encodeName(m_dir.path()) + "/bad\xff<b>name";
    ASSERT_EQ(::close(::open(rawName.constData(), O_CREAT | O_WRONLY, 0600)), 0);
    const auto linkFacts = dirwise::describeFile(bytes(link));
    EXPECT_EQ(linkFacts.type, QStringLiteral("Symbolic link to a b.txt"));
    EXPECT_TRUE(linkFacts.permissions.startsWith(u'l'));
    const auto dirFacts = dirwise::describeFile(bytes(m_dir.path()));
    EXPECT_EQ(dirFacts.type, QStringLiteral("Directory"));
    EXPECT_TRUE(dirFacts.permissions.startsWith(u'd'));
    // A name that is not UTF-8 is still examined through its exact bytes.
    const auto rawFacts = dirwise::describeFile(rawName.toStdString());
    EXPECT_TRUE(rawFacts.readable);
    EXPECT_EQ(rawFacts.permissions, QStringLiteral("-rw------- (0600)"));
}

TEST_F(Properties, WithoutABusOurOwnDialogOpensOverTheOwner) {
    const QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/dirwise-test-bus"), QStringLiteral("no-bus"));
    ASSERT_FALSE(noBus.isConnected());
    PropertiesRequest *request = PropertiesRequest::start(&m_owner, {bytes(m_file)}, noBus);
    QPointer<FilePropertiesDialog> dialog = finish(request);
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), &m_owner);
    EXPECT_EQ(dialog->fieldText(0, Field::Path), m_file);
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(Properties, WhenNoFileManagerAnswersShowFilePropertiesOpensOurDialog) {
    if (!privateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    const QString compare = m_dir.path() + QStringLiteral("/other.txt");
    QFile(compare).open(QIODevice::WriteOnly);
    dirwise::modDialog32::ShowFileProperties(&m_owner, bytes(m_file), bytes(compare));
    FilePropertiesDialog *dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<FilePropertiesDialog *>(w))
                    dialog = d;
            }
            return dialog != nullptr;
        },
        15000));
    ASSERT_EQ(dialog->fileCount(), 2);
    EXPECT_EQ(dialog->fieldText(0, Field::Path), m_file);
    EXPECT_EQ(dialog->fieldText(1, Field::Path), compare);
    EXPECT_EQ(dialog->fieldText(1, Field::Size), QStringLiteral("0 bytes"));
}

TEST_F(Properties, AFileManagerOnTheBusIsAskedOncePerFile) {
    if (!privateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    registerFakeFileManager();
    const std::string compare = bytes(m_dir.path()) + "/n\xe9w %.txt"; // not UTF-8
    PropertiesRequest *request =
        PropertiesRequest::start(&m_owner, {bytes(m_file), compare}, QDBusConnection::sessionBus());
    EXPECT_EQ(finish(request), nullptr);
    const QString base =
        QString::fromLatin1(QFile::encodeName(m_dir.path()).toPercentEncoding("/"));
    ASSERT_EQ(m_fake.calls.size(), 2);
    QList<QStringList> want{
        {QStringLiteral("file://") + base + QStringLiteral("/a%20b.txt")},
        {QStringLiteral("file://") + base + QStringLiteral("/n%E9w%20%25.txt")}};
    std::sort(m_fake.calls.begin(), m_fake.calls.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(m_fake.calls, want);
}

TEST_F(Properties, FilesTheFileManagerRefusesOrIgnoresGetOurDialog) {
    if (!privateBus())
        GTEST_SKIP() << "needs the private session bus of dbus-run-session";
    registerFakeFileManager();
    const std::string refused = bytes(m_dir.path()) + "/refuse.txt";
    PropertiesRequest *first =
        PropertiesRequest::start(&m_owner, {bytes(m_file), refused}, QDBusConnection::sessionBus());
    QPointer<FilePropertiesDialog> dialog = finish(first);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->fileCount(), 1);
    EXPECT_EQ(dialog->fieldText(0, Field::Path), QFile::decodeName(refused.c_str()));
    dialog->close();

    // A file manager that never answers: the short deadline here stands for a hung one.
    const std::string hung = bytes(m_dir.path()) + "/hang.txt";
    PropertiesRequest *second =
        PropertiesRequest::start(&m_owner, {hung}, QDBusConnection::sessionBus(), 300);
    dialog = finish(second);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->fieldText(0, Field::Path), QFile::decodeName(hung.c_str()));
    EXPECT_EQ(m_fake.calls.size(), 3);
}

#include "PropertiesTest.moc"
