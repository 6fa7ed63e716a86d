#include "AboutBox.h"
#include "Art.h"
#include "SystemInfo.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

using namespace dirwise;

namespace {

// Sets the application's style and font size (0: the default font) until it goes.
class LookScope {
public:
    LookScope(const QString &style, qreal pointSize)
        : m_style(QApplication::style()->name()), m_font(QApplication::font()) {
        QApplication::setStyle(style);
        if (pointSize > 0) {
            QFont font = m_font;
            font.setPointSizeF(pointSize);
            QApplication::setFont(font);
        }
    }
    ~LookScope() {
        QApplication::setFont(m_font);
        QApplication::setStyle(m_style);
    }
    LookScope(const LookScope &) = delete;
    LookScope &operator=(const LookScope &) = delete;

private:
    QString m_style;
    QFont m_font;
};

// A look's rows: every installed style at the default font and at 14 points.
void addLookRows() {
    QTest::addColumn<QString>("style");
    QTest::addColumn<qreal>("pointSize");
    for (const QString &style : QStyleFactory::keys()) {
        QTest::newRow(qPrintable(style + " default font")) << style << qreal(0);
        QTest::newRow(qPrintable(style + " 14pt")) << style << qreal(14);
    }
}

} // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void captionReadsAboutDirwise() { QCOMPARE(AboutBox().windowTitle(), "About Dirwise"); }

    void controlsShowTheirTextsAndTips_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::newRow("name and version") << "lblAboutName"
                                          << "Dirwise 7.0.0"
                                          << "Product Title";
        QTest::newRow("description") << "lblAboutProduct"
                                     << "Dirwise utility"
                                     << "Product Description";
        QTest::newRow("author line with the sign right after the notice")
            << "lblAboutAuthor" << QString::fromUtf8("Copyright 2026 The Dirwise Authors\u00a9")
            << "Author Info";
        QTest::newRow("System Info button") << "cmdAboutSysInfo"
                                            << "&System Info..."
                                            << "System Information";
        QTest::newRow("Close button") << "btnAboutClose"
                                      << "&Close"
                                      << "Close";
    }
    void controlsShowTheirTextsAndTips() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        AboutBox box;
        const QWidget *control = box.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->property("text").toString(), text);
        QCOMPARE(control->toolTip(), tip);
    }

    void pictureAsksForTheHomePageOnALeftClickOnly() {
        AboutBox box;
        auto *picture = box.findChild<QLabel *>("imgAboutIcon");
        QVERIFY(!picture->pixmap().isNull());
        QSignalSpy clicked(&box, &AboutBox::pictureClicked);
        QTest::mouseClick(picture, Qt::RightButton);
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(picture, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void disclaimerIsExact() {
        const QString text = QStringLiteral("Disclaimer:\r\n\r\n"
                                            "The Author, or anyone associated in \r\n"
                                            "partnership, is not liable for any financial or \r\n"
                                            "resource burden that may occur due to \r\n"
                                            "software malfunctions or data loss during \r\n"
                                            "use of this application.  This application \r\n"
                                            "provides no warranty and must not be used \r\n"
                                            "under business critical circumstances.\r\n\r\n");
        QCOMPARE(AboutBox::disclaimerText(), text);
        AboutBox box;
        QCOMPARE(box.findChild<QPlainTextEdit *>("txtAboutDisclaimer")->toPlainText(),
                 QString(text).replace("\r\n", "\n"));
    }

    void disclaimerIsReadOnly() {
        AboutBox box;
        auto *shown = box.findChild<QPlainTextEdit *>("txtAboutDisclaimer");
        const QString before = shown->toPlainText();
        QTest::keyClicks(shown, "typed");
        QCOMPARE(shown->toPlainText(), before);
    }

    void disclaimerFollowsADarkPalette() {
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        QApplication::setPalette(dark);
        const QPalette shown =
            AboutBox().findChild<QPlainTextEdit *>("txtAboutDisclaimer")->palette();
        QApplication::setPalette(before);
        QCOMPARE(shown.color(QPalette::Base), dark.color(QPalette::Base));
        QCOMPARE(shown.color(QPalette::Text), dark.color(QPalette::Text));
    }

    void desktopListPicksCandidatesInOrder_data() {
        QTest::addColumn<QString>("desktops");
        QTest::addColumn<QStringList>("expected");
        const QString gnome = "gnome-control-center info-overview", kde = "kinfocenter",
                      any = "hardinfo";
        QTest::newRow("no desktop: the tool for any desktop") << QString() << QStringList{any};
        QTest::newRow("unknown and partial names are passed over")
            << "X-Cinnamon:KDEX:GNOME-Flashback" << QStringList{any};
        QTest::newRow("known names in their order") << "KDE:GNOME" << QStringList{kde, gnome, any};
        QTest::newRow("any case and blanks, each program once")
            << " ubuntu : gnome ::kde:KDE:XFCE:LXQt"
            << QStringList{gnome, kde, "xfce4-about", "lxqt-about", any};
    }
    void desktopListPicksCandidatesInOrder() {
        QFETCH(QString, desktops);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const SystemInfoProgram &p : systemInfoCandidates(desktops))
            got << (QStringList{p.program} + p.arguments).join(u' ');
        QCOMPARE(got, expected);
    }

    void escAndF8CloseFromAnyControl_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        for (const char *focus : {"btnAboutClose", "txtAboutDisclaimer"}) {
            QTest::newRow(qPrintable(QStringLiteral("Esc in %1").arg(focus)))
                << focus << int(Qt::Key_Escape);
            QTest::newRow(qPrintable(QStringLiteral("F8 in %1").arg(focus)))
                << focus << int(Qt::Key_F8);
        }
    }
    void escAndF8CloseFromAnyControl() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        AboutBox box;
        box.show();
        QWidget *target = box.findChild<QWidget *>(focus);
        QSignalSpy finished(&box, &QDialog::finished);
        QTest::keyClick(target, Qt::Key_F7); // another key leaves it open
        QCOMPARE(finished.count(), 0);
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!box.isVisible());
    }

    void noCaptionIsClipped_data() { addLookRows(); }
    void noCaptionIsClipped() {
        QFETCH(QString, style);
        QFETCH(qreal, pointSize);
        const LookScope look(style, pointSize);
        AboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QList<QWidget *> captioned;
        for (QLabel *l : box.findChildren<QLabel *>())
            if (!l->text().isEmpty())
                captioned << l;
        for (QPushButton *b : box.findChildren<QPushButton *>())
            captioned << b;
        QCOMPARE(captioned.size(), 5);
        for (const QWidget *c : captioned) {
            QVERIFY2(c->width() >= c->sizeHint().width(), qPrintable(c->objectName()));
            QVERIFY2(c->height() >= c->sizeHint().height(), qPrintable(c->objectName()));
        }
    }

    void controlsDoNotOverlap_data() { addLookRows(); }
    void controlsDoNotOverlap() {
        QFETCH(QString, style);
        QFETCH(qreal, pointSize);
        const LookScope look(style, pointSize);
        AboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QStringList names = {"imgAboutIcon",   "lblAboutName",       "lblAboutProduct",
                                   "lblAboutAuthor", "txtAboutDisclaimer", "cmdAboutSysInfo",
                                   "btnAboutClose"};
        QList<QRect> places;
        for (const QString &name : names) {
            const QWidget *c = box.findChild<QWidget *>(name);
            places << QRect(c->mapTo(&box, QPoint(0, 0)), c->size());
            QVERIFY2(box.rect().contains(places.last()), qPrintable(name));
        }
        for (qsizetype i = 0; i < places.size(); ++i)
            for (qsizetype j = i + 1; j < places.size(); ++j)
                QVERIFY2(!places[i].intersects(places[j]), qPrintable(names[i] + " " + names[j]));
    }

    // The lines were broken by hand: none may wrap again in the box.
    void disclaimerLinesNeverWrap_data() { addLookRows(); }
    void disclaimerLinesNeverWrap() {
        QFETCH(QString, style);
        QFETCH(qreal, pointSize);
        const LookScope look(style, pointSize);
        AboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QTextDocument *doc =
            box.findChild<QPlainTextEdit *>("txtAboutDisclaimer")->document();
        QCOMPARE(doc->blockCount(), 11);
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            QVERIFY2(b.layout()->lineCount() <= 1, qPrintable(b.text()));
    }

    void theBoxHasAFixedSize() {
        AboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.size(), box.minimumSize());
    }

    void aLargerFontMakesALargerBox() {
        const QString style = QApplication::style()->name();
        QSize small;
        {
            const LookScope look(style, 0);
            AboutBox box;
            box.show();
            small = box.size();
        }
        const LookScope look(style, 14);
        AboutBox box;
        box.show();
        QVERIFY(box.width() > small.width());
        QVERIFY(box.height() >= small.height());
    }

    void artworkHasItsSizesOnATransparentGround_data() {
        QTest::addColumn<QPixmap>("pixmap");
        QTest::addColumn<QSize>("size");
        QTest::newRow("master folder") << art::masterFolderPixmap() << QSize(30, 25);
        QTest::newRow("compare folder") << art::compareFolderPixmap() << QSize(35, 32);
        QTest::newRow("About picture") << art::aboutPixmap() << QSize(80, 161);
        const char *const keys[] = {"Match", "Different", "NotFound", "Extra"};
        for (int key = 0; key < 4; ++key)
            QTest::newRow(keys[key]) << art::resultIcon(key).pixmap(16, 16) << QSize(16, 16);
        for (int s : {16, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QStringLiteral("window icon %1").arg(s)))
                << art::windowIconPixmap(s) << QSize(s, s);
    }
    void artworkHasItsSizesOnATransparentGround() {
        QFETCH(QPixmap, pixmap);
        QFETCH(QSize, size);
        QCOMPARE(pixmap.size(), size);
        const QImage img = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        const int r = img.width() - 1, b = img.height() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b)})
            QCOMPARE(qAlpha(img.pixel(corner)), 0);
        // Not an empty picture: a fair share of it is opaque.
        const auto *px = reinterpret_cast<const QRgb *>(img.constBits());
        QVERIFY(std::count_if(px, px + img.width() * img.height(), [](QRgb p) {
                    return qAlpha(p) > 200;
                }) > img.width() * img.height() / 5);
    }

    void anUnknownIconKeyGivesNoPicture() { QVERIFY(art::resultIcon(4).isNull()); }

    // The help page opens from a file with no network and nothing beside it: one
    // well-formed document that loads nothing and whose links all land inside it.
    void helpPageIsSelfContained() {
        QFile file(DIRWISE_DOCS_DIR "/dw.htm");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList ids, links;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QString tag = xml.name().toString();
            const QXmlStreamAttributes attrs = xml.attributes();
            QVERIFY2(!attrs.hasAttribute("src"), qPrintable(tag));
            for (const char *loader : {"link", "script", "img", "iframe", "object", "embed"})
                QVERIFY2(tag != QLatin1String(loader), loader);
            ids << attrs.value("id").toString();
            if (attrs.hasAttribute("href"))
                links << attrs.value("href").toString();
            const QString css = tag == "style" ? xml.readElementText() : QString();
            QVERIFY(!css.contains("url(") && !css.contains("@import"));
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        for (const QString &link : links)
            QVERIFY2(link.startsWith(u'#') && ids.contains(link.mid(1)), qPrintable(link));
    }

    // A fake program on PATH that records its arguments stands for the desktop's tool. These
    // run last: the PATH and desktop they set are left for nothing else to see.
    void systemInfoIsDisabledWhenNothingIsInstalled() {
        const QTemporaryDir bin;
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        QVERIFY(!AboutBox().findChild<QPushButton *>("cmdAboutSysInfo")->isEnabled());
    }

    void systemInfoIsDisabledForAnotherDesktopsProgram() {
        const QTemporaryDir bin;
        installFakeTool(bin, "gnome-control-center");
        qunsetenv("XDG_CURRENT_DESKTOP");
        QVERIFY(!AboutBox().findChild<QPushButton *>("cmdAboutSysInfo")->isEnabled());
    }

    void systemInfoStartsTheDesktopsProgram() {
        const QTemporaryDir bin;
        const QString tool = installFakeTool(bin, "gnome-control-center");
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        AboutBox box;
        box.show();
        auto *button = box.findChild<QPushButton *>("cmdAboutSysInfo");
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        const auto args = [&] {
            QFile file(tool + ".args");
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(args(), QByteArray("info-overview\n"), 10000);
        QVERIFY(box.isVisible());
    }

private:
    // Puts an executable `name` that writes its arguments to `<itself>.args` alone on PATH.
    static QString installFakeTool(const QTemporaryDir &bin, const char *name) {
        qputenv("PATH", QFile::encodeName(bin.path()));
        QFile script(bin.filePath(QString::fromLatin1(name)));
        if (!script.open(QIODevice::WriteOnly) ||
            script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n") <= 0)
            qFatal("cannot write the fake tool");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script.fileName();
    }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
