#include "ProductInfo.h"
#include "Prompts.h"
#include "TestSupport.h"
#include "frmAbout.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>

using namespace dirwise;

namespace {

// Answers the box's messages instead of a person, and remembers them.
class RecordingPrompts : public Prompts {
public:
    QString browseForFolder(QWidget *, const QString &, const QString &) override { return {}; }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return {};
    }
    void message(QWidget *, Icon, const QString &, const QString &text, const QString &) override {
        messages << text;
    }
    QStringList messages;
};

template <typename T> T *control(const QWidget &box, const char *name) {
    return box.findChild<T *>(QString::fromLatin1(name));
}

} // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init() { setPrompts(&m_prompts); }
    void cleanup() {
        setPrompts(nullptr);
        m_prompts.messages.clear();
    }

    void showsProductInformation() {
        frmAbout box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Dirwise"));
        QCOMPARE(control<QLabel>(box, "lblAboutName")->text(), QStringLiteral("Dirwise 7.0.0"));
        QCOMPARE(control<QLabel>(box, "lblAboutProduct")->text(),
                 QStringLiteral("Dirwise utility"));
        // The legal notice, then the sign directly after it.
        QCOMPARE(control<QLabel>(box, "lblAboutAuthor")->text(),
                 QString::fromUtf8(productinfo::legalNotice) + QChar(0x00A9));
        QCOMPARE(control<QLabel>(box, "lblAboutName")->toolTip(), QStringLiteral("Product Title"));
        QCOMPARE(control<QLabel>(box, "lblAboutProduct")->toolTip(),
                 QStringLiteral("Product Description"));
        QCOMPARE(control<QLabel>(box, "lblAboutAuthor")->toolTip(), QStringLiteral("Author Info"));
        QCOMPARE(control<QPushButton>(box, "cmdAboutSysInfo")->text(),
                 QStringLiteral("&System Info..."));
        QCOMPARE(control<QPushButton>(box, "cmdAboutSysInfo")->toolTip(),
                 QStringLiteral("System Information"));
        QCOMPARE(control<QPushButton>(box, "btnAboutClose")->text(), QStringLiteral("&Close"));
        QCOMPARE(control<QPushButton>(box, "btnAboutClose")->toolTip(), QStringLiteral("Close"));
        QVERIFY(!control<QLabel>(box, "imgAboutIcon")->pixmap().isNull());
        QVERIFY(control<QFrame>(box, "picCommand"));
    }

    void productInformationIsConsistent() {
        QCOMPARE(QString::fromLatin1(productinfo::versionText),
                 QStringLiteral("%1.%2.%3")
                     .arg(productinfo::versionMajor)
                     .arg(productinfo::versionMinor)
                     .arg(productinfo::versionRevision));
        QVERIFY(*productinfo::companyName != '\0');
        const QUrl home(QString::fromUtf8(productinfo::homePage), QUrl::StrictMode);
        QVERIFY2(home.isValid() && !home.scheme().isEmpty(), productinfo::homePage);
    }

    void disclaimerIsExact() {
        const QString text = frmAbout::disclaimerText();
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        // Ten lines, each ended by CR LF: the split leaves an empty piece after the last.
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines.last(), QString());
        QCOMPARE(lines[0], QStringLiteral("Disclaimer:"));
        QCOMPARE(lines[1], QString());
        QCOMPARE(lines[2], QStringLiteral("The Author, or anyone associated in "));
        QCOMPARE(lines[3], QStringLiteral("partnership, is not liable for any financial or "));
        QCOMPARE(lines[4], QStringLiteral("resource burden that may occur due to "));
        QCOMPARE(lines[5], QStringLiteral("software malfunctions or data loss during "));
        QCOMPARE(lines[6], QStringLiteral("use of this application.  This application "));
        QCOMPARE(lines[7], QStringLiteral("provides no warranty and must not be used "));
        QCOMPARE(lines[8], QStringLiteral("under business critical circumstances."));
        QCOMPARE(lines[9], QString());
        QVERIFY(!text.contains(QStringLiteral("\r\r")) && !text.contains(QStringLiteral("\n\n")));
        QCOMPARE(text.size(), 318);

        frmAbout box;
        auto *shown = control<QPlainTextEdit>(box, "txtAboutDisclaimer");
        QVERIFY(shown->isReadOnly());
        QCOMPARE(shown->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QString expected = text;
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(shown->toPlainText(), expected);
        QCOMPARE(shown->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(shown->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void layoutFitsTheBox() {
        frmAbout box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.minimumSize(), box.maximumSize()); // fixed
        QVERIFY(!(box.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(box.windowFlags() & Qt::WindowMinimizeButtonHint));
        const QRect client = box.rect();
        const QRect picture = control<QLabel>(box, "imgAboutIcon")->geometry();
        for (const char *name : {"lblAboutName", "lblAboutProduct", "lblAboutAuthor"}) {
            const QLabel *label = control<QLabel>(box, name);
            // Sized to its text, beside the picture, and not cut off by the box's edge.
            QVERIFY2(label->width() >= label->sizeHint().width(), name);
            QVERIFY2(label->geometry().left() > picture.right(), name);
            QVERIFY2(client.contains(label->geometry()), name);
        }
        const auto *text = control<QPlainTextEdit>(box, "txtAboutDisclaimer");
        const QRect disclaimer = text->geometry();
        // Each designed line shows as one line, not wrapped a word early.
        if (text->font().pointSizeF() > 7.0) {
            for (QTextBlock b = text->document()->begin(); b.isValid(); b = b.next())
                QVERIFY2(b.layout()->lineCount() == 1, qPrintable(b.text()));
        }
        QVERIFY(client.contains(disclaimer));
        QVERIFY(disclaimer.left() > picture.right());
        const QFrame *strip = control<QFrame>(box, "picCommand");
        QVERIFY(strip->geometry().top() > disclaimer.bottom());
        for (const char *name : {"cmdAboutSysInfo", "btnAboutClose"}) {
            const QPushButton *button = control<QPushButton>(box, name);
            const QRect onBox(strip->mapTo(&box, button->pos()), button->size());
            QVERIFY2(client.contains(onBox), name);
            QVERIFY2(button->height() >= button->sizeHint().height() ||
                         onBox.bottom() == client.bottom(),
                     name);
        }
    }

    void systemInfoFollowsWhatIsInstalled() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const ScopedEnv path("PATH", QFile::encodeName(bin.path()));
        const ScopedEnv desktop("XDG_CURRENT_DESKTOP", "KDE");
        {
            frmAbout box;
            const auto *sysInfo = control<QPushButton>(box, "cmdAboutSysInfo");
            QVERIFY(!sysInfo->isEnabled());
            QVERIFY(!sysInfo->isHidden()); // visible, but disabled
        }
        QVERIFY(!writeScript(bin.path(), QStringLiteral("kinfocenter"), "true").isEmpty());
        frmAbout box;
        QVERIFY(control<QPushButton>(box, "cmdAboutSysInfo")->isEnabled());
    }

    void systemInfoStartsTheProgramAndStaysOpen() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString marker = bin.path() + QStringLiteral("/started");
        const ScopedEnv path("PATH", QFile::encodeName(bin.path()) + ":/usr/bin:/bin");
        const ScopedEnv desktop("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        const ScopedEnv markerEnv("DIRWISE_TEST_MARKER", QFile::encodeName(marker));
        QVERIFY(!writeScript(bin.path(), QStringLiteral("gnome-control-center"),
                             "printf '%s\\n' \"$@\" > \"$DIRWISE_TEST_MARKER.tmp\" && "
                             "mv \"$DIRWISE_TEST_MARKER.tmp\" \"$DIRWISE_TEST_MARKER\"")
                     .isEmpty());
        frmAbout box;
        box.show();
        QSignalSpy finished(&box, &QDialog::finished);
        QTest::mouseClick(control<QPushButton>(box, "cmdAboutSysInfo"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        QFile started(marker);
        QVERIFY(started.open(QIODevice::ReadOnly));
        QCOMPARE(started.readAll(), QByteArray("info-overview\n"));
        QVERIFY(box.isVisible());
        QCOMPARE(finished.count(), 0);
        QVERIFY(m_prompts.messages.isEmpty());
    }

    void systemInfoRemovedAfterLoadIsReported() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const ScopedEnv path("PATH", QFile::encodeName(bin.path()));
        const ScopedEnv desktop("XDG_CURRENT_DESKTOP", "KDE");
        const QString program = writeScript(bin.path(), QStringLiteral("kinfocenter"), "true");
        frmAbout box;
        auto *sysInfo = control<QPushButton>(box, "cmdAboutSysInfo");
        QVERIFY(sysInfo->isEnabled());
        QVERIFY(QFile::remove(program));
        QTest::mouseClick(sysInfo, Qt::LeftButton);
        QCOMPARE(m_prompts.messages.size(), 1);
        QVERIFY(!sysInfo->isEnabled());
    }

    void closeKeysAndButtonCloseTheBox_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        for (const char *focus : {"btnAboutClose", "txtAboutDisclaimer"}) {
            QTest::newRow(qPrintable(QStringLiteral("Esc on %1").arg(QLatin1String(focus))))
                << QString::fromLatin1(focus) << int(Qt::Key_Escape) << int(Qt::NoModifier);
            QTest::newRow(qPrintable(QStringLiteral("F8 on %1").arg(QLatin1String(focus))))
                << QString::fromLatin1(focus) << int(Qt::Key_F8) << int(Qt::NoModifier);
        }
        QTest::newRow("Shift+F8") << QStringLiteral("txtAboutDisclaimer") << int(Qt::Key_F8)
                                  << int(Qt::ShiftModifier);
        QTest::newRow("Enter: Close is the default button")
            << QStringLiteral("txtAboutDisclaimer") << int(Qt::Key_Return) << int(Qt::NoModifier);
    }
    void closeKeysAndButtonCloseTheBox() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        frmAbout box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto *target = box.findChild<QWidget *>(focus);
        QVERIFY(target);
        QSignalSpy finished(&box, &QDialog::finished);
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!box.isVisible());
    }

    void otherKeysLeaveTheBoxOpen() {
        frmAbout box;
        box.show();
        QSignalSpy finished(&box, &QDialog::finished);
        auto *text = control<QPlainTextEdit>(box, "txtAboutDisclaimer");
        for (Qt::Key key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_F7, Qt::Key_Down, Qt::Key_A})
            QTest::keyClick(text, key);
        QCOMPARE(finished.count(), 0);
        QString unchanged = frmAbout::disclaimerText();
        unchanged.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(text->toPlainText(), unchanged); // read-only: typing changed nothing
        QTest::mouseClick(control<QPushButton>(box, "btnAboutClose"), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(box.result(), int(QDialog::Rejected));
    }

    void pictureClickAsksForTheHomePage() {
        frmAbout box;
        box.show();
        QSignalSpy clicked(&box, &frmAbout::pictureClicked);
        QSignalSpy finished(&box, &QDialog::finished);
        auto *picture = control<QLabel>(box, "imgAboutIcon");
        QTest::mouseClick(picture, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QTest::mouseClick(picture, Qt::RightButton);
        QCOMPARE(clicked.count(), 1);
        // Pressed on the picture, released outside it: no click.
        QTest::mousePress(picture, Qt::LeftButton);
        QTest::mouseRelease(picture, Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(finished.count(), 0); // the box stays open
    }

private:
    RecordingPrompts m_prompts;
};

DIRWISE_REGISTER_TEST(AboutBoxTest);
#include "AboutBoxTest.moc"
