#include "Art.h"
#include "SystemInfo.h"
#include "frmAbout.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

using namespace dirwise;

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void captionAndLabels() {
        frmAbout box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Dirwise"));
        const char *const controls[][3] = {
            {"lblAboutName", "Dirwise 7.0.0", "Product Title"},
            {"lblAboutProduct", "Dirwise utility", "Product Description"},
            {"lblAboutAuthor", "Copyright 2026 The Dirwise Authors\u00a9", "Author Info"},
            {"cmdAboutSysInfo", "&System Info...", "System Information"},
            {"btnAboutClose", "&Close", "Close"}};
        for (const auto &[name, text, tip] : controls) {
            const QWidget *control = box.findChild<QWidget *>(QLatin1String(name));
            QVERIFY2(control, name);
            QCOMPARE(control->property("text").toString(), QString::fromUtf8(text));
            QCOMPARE(control->toolTip(), QString::fromUtf8(tip));
        }
        // The picture asks for the home page on a left click only; the box stays open.
        auto *picture = box.findChild<QLabel *>("imgAboutIcon");
        QVERIFY(!picture->pixmap().isNull());
        QSignalSpy clicked(&box, &frmAbout::pictureClicked);
        QTest::mouseClick(picture, Qt::RightButton);
        QTest::mouseClick(picture, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void disclaimerIsExactAndReadOnly() {
        const QString text = QStringLiteral("Disclaimer:\r\n\r\n"
                                            "The Author, or anyone associated in \r\n"
                                            "partnership, is not liable for any financial or \r\n"
                                            "resource burden that may occur due to \r\n"
                                            "software malfunctions or data loss during \r\n"
                                            "use of this application.  This application \r\n"
                                            "provides no warranty and must not be used \r\n"
                                            "under business critical circumstances.\r\n\r\n");
        QCOMPARE(frmAbout::disclaimerText(), text);
        frmAbout box;
        auto *shown = box.findChild<QPlainTextEdit *>("txtAboutDisclaimer");
        QTest::keyClicks(shown, "typed"); // read-only
        QCOMPARE(shown->toPlainText(), QString(text).replace("\r\n", "\n"));
    }

    void desktopListPicksCandidatesInOrder() {
        const QString gnome = "gnome-control-center info-overview", kde = "kinfocenter",
                      any = "hardinfo";
        // Known names in their order, whatever their case and blanks, each program once;
        // unknown, partial and empty names are passed over.
        const std::pair<QString, QStringList> cases[] = {
            {QString(), {any}},
            {"X-Cinnamon:KDEX:GNOME-Flashback", {any}},
            {"KDE:GNOME", {kde, gnome, any}},
            {" ubuntu : gnome ::kde:KDE:XFCE:LXQt",
             {gnome, kde, "xfce4-about", "lxqt-about", any}}};
        for (const auto &[desktops, expected] : cases) {
            QStringList got;
            for (const SystemInfoProgram &p : systemInfoCandidates(desktops))
                got << (QStringList{p.program} + p.arguments).join(u' ');
            QVERIFY2(got == expected, qPrintable(desktops + " gave " + got.join(", ")));
        }
    }

    void escAndF8CloseFromAnyControl() {
        for (const char *focus : {"btnAboutClose", "txtAboutDisclaimer"}) {
            for (Qt::Key key : {Qt::Key_Escape, Qt::Key_F8}) {
                frmAbout box;
                box.show();
                QWidget *target = box.findChild<QWidget *>(QLatin1String(focus));
                QSignalSpy finished(&box, &QDialog::finished);
                QTest::keyClick(target, Qt::Key_F7); // another key leaves it open
                QCOMPARE(finished.count(), 0);
                QTest::keyClick(target, key);
                QCOMPARE(finished.count(), 1);
                QVERIFY(!box.isVisible());
            }
        }
    }

    void artworkHasItsSizesOnATransparentGround() {
        std::vector<std::pair<QPixmap, QSize>> pictures{{art::masterFolderPixmap(), {30, 25}},
                                                        {art::compareFolderPixmap(), {35, 32}},
                                                        {art::aboutPixmap(), {80, 161}}};
        for (int key : {0, 1, 2})
            pictures.push_back({art::resultIcon(key).pixmap(16, 16), {16, 16}});
        for (int s : {16, 32, 48, 64, 128, 256})
            pictures.push_back({art::windowIconPixmap(s), {s, s}});
        for (const auto &[pixmap, size] : pictures) {
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
    }

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

    // A fake program on PATH that records its arguments stands for the desktop's tool.
    // It runs last: the PATH and desktop it sets are left for nothing else to see.
    void systemInfoFollowsPathAndDesktop() {
        QTemporaryDir bin;
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        const auto enabled = [] {
            return frmAbout().findChild<QPushButton *>("cmdAboutSysInfo")->isEnabled();
        };
        QVERIFY(!enabled()); // nothing installed
        QFile script(bin.path() + "/gnome-control-center");
        QVERIFY(script.open(QIODevice::WriteOnly) &&
                script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n") > 0);
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qunsetenv("XDG_CURRENT_DESKTOP");
        QVERIFY(!enabled()); // installed, but not for this desktop
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        frmAbout box;
        box.show();
        auto *button = box.findChild<QPushButton *>("cmdAboutSysInfo");
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        const auto args = [&] {
            QFile file(script.fileName() + ".args");
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(args(), QByteArray("info-overview\n"), 10000);
        QVERIFY(box.isVisible());
    }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
