// The About box: its texts, keys, picture and layout under every installed style, the
// System Information look-up, the artwork and the help page.
#include "AboutBox.h"
#include "Art.h"
#include "LookCheck.h"
#include "SystemInfo.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>

using namespace dirwise;
using namespace dirwise::test;

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void captionsCarryTheirTips() {
        AboutBox box;
        QCOMPARE(box.windowTitle(), "About Dirwise");
        // The author line has the sign right after the notice.
        const char *const rows[][3] = {
            {"lblAboutName", "Dirwise 7.0.0", "Product Title"},
            {"lblAboutProduct", "Dirwise utility", "Product Description"},
            {"lblAboutAuthor", "Copyright 2026 The Dirwise Authors\u00a9", "Author Info"},
            {"cmdAboutSysInfo", "&System Info...", "System Information"},
            {"btnAboutClose", "&Close", "Close"},
        };
        for (const auto &[name, text, tip] : rows) {
            const QWidget *control = box.findChild<QWidget *>(name);
            QVERIFY2(control, name);
            QCOMPARE(control->property("text").toString(), QString::fromUtf8(text));
            QCOMPARE(control->toolTip(), tip);
        }
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

    // The disclaimer's own words are a constant; what matters is how the box shows them.
    void disclaimerFollowsADarkPalette() {
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        QApplication::setPalette(dark);
        AboutBox box;
        auto *shown = box.findChild<QPlainTextEdit *>("txtAboutDisclaimer");
        const QPalette palette = shown->palette();
        QApplication::setPalette(before);
        QCOMPARE(palette.color(QPalette::Base), dark.color(QPalette::Base));
        QCOMPARE(palette.color(QPalette::Text), dark.color(QPalette::Text));
    }

    void disclaimerIsReadOnlyPlainText() {
        AboutBox box;
        auto *shown = box.findChild<QPlainTextEdit *>("txtAboutDisclaimer");
        const QString text = shown->toPlainText();
        QVERIFY(text.startsWith("Disclaimer:\n\nThe Author") && !text.contains(u'\r'));
        QTest::keyClicks(shown, "typed");
        QCOMPARE(shown->toPlainText(), text);
    }

    void desktopListPicksCandidatesInOrder() {
        const QString gnome = "gnome-control-center info-overview", kde = "kinfocenter",
                      any = "hardinfo";
        const std::pair<QString, QStringList> rows[] = {
            {"", {any}},                                // no desktop: the tool for any desktop
            {"X-Cinnamon:KDEX:GNOME-Flashback", {any}}, // unknown and partial names
            {"KDE:GNOME", {kde, gnome, any}},
            {" ubuntu : gnome ::kde:KDE:XFCE:LXQt", {gnome, kde, "xfce4-about", "lxqt-about", any}},
        };
        for (const auto &[desktops, expected] : rows) {
            QStringList got;
            for (const SystemInfoProgram &p : systemInfoCandidates(desktops))
                got << (QStringList{p.program} + p.arguments).join(u' ');
            QCOMPARE(got, expected);
        }
    }

    void closeKeysWorkFromAnyControl() {
        for (const char *focus : {"btnAboutClose", "txtAboutDisclaimer"}) {
            for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_F8}) {
                AboutBox box;
                box.show();
                QWidget *target = box.findChild<QWidget *>(focus);
                QSignalSpy finished(&box, &QDialog::finished);
                QTest::keyClick(target, Qt::Key_F7); // another key leaves it open
                QCOMPARE(finished.count(), 0);
                QTest::keyClick(target, key);
                QVERIFY2(finished.count() == 1 && !box.isVisible(), focus);
            }
        }
    }

    // Under every look: whole captions, no overlaps, a fixed size that grows with the font,
    // and disclaimer lines, broken by hand, that never wrap again.
    void layoutInEveryLook() {
        const QStringList names = {"imgAboutIcon",   "lblAboutName",       "lblAboutProduct",
                                   "lblAboutAuthor", "txtAboutDisclaimer", "cmdAboutSysInfo",
                                   "btnAboutClose"};
        const auto restore = qScopeGuard([] { UseLook(); });
        QSize small; // the style's size at the default font
        for (const Look &look : InstalledLooks()) {
            UseLook(look);
            AboutBox box;
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            const QStringList faults = LayoutFaults(&box, box.rect(), names, 5);
            QVERIFY2(faults.isEmpty(), qPrintable(look.name() + ": " + faults.join(", ")));
            QCOMPARE(box.minimumSize(), box.maximumSize());
            QCOMPARE(box.size(), box.minimumSize());
            const QTextDocument *doc =
                box.findChild<QPlainTextEdit *>("txtAboutDisclaimer")->document();
            QCOMPARE(doc->blockCount(), 11);
            for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
                QVERIFY2(b.layout()->lineCount() <= 1, qPrintable(look.name() + b.text()));
            if (look.pointSize == 0)
                small = box.size();
            else
                QVERIFY2(box.width() > small.width() && box.height() >= small.height(),
                         qPrintable(look.name()));
        }
    }

    void artworkHasItsSizesOnATransparentGround() {
        QVERIFY(art::resultIcon(4).isNull()); // an unknown key
        std::vector<std::pair<QPixmap, QSize>> pictures = {
            {art::masterFolderPixmap(), {30, 25}},
            {art::compareFolderPixmap(), {35, 32}},
            {art::aboutPixmap(), {80, 161}},
        };
        for (int key = 0; key < 4; ++key) // Match, Different, NotFound, Extra
            pictures.emplace_back(art::resultIcon(key).pixmap(16, 16), QSize(16, 16));
        for (int s : {16, 32, 48, 64, 128, 256})
            pictures.emplace_back(art::windowIconPixmap(s), QSize(s, s));
        for (const auto &[pixmap, size] : pictures) {
            QCOMPARE(pixmap.size(), size);
            const QImage img = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
            const int r = img.width() - 1, b = img.height() - 1;
            for (const QPoint corner : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b)})
                QCOMPARE(qAlpha(img.pixel(corner)), 0);
            // Not an empty picture: a fair share of it is opaque.
            const auto *px = reinterpret_cast<const QRgb *>(img.constBits());
            const int n = img.width() * img.height();
            QVERIFY(std::count_if(px, px + n, [](QRgb p) { return qAlpha(p) > 200; }) > n / 5);
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

    // A fake program alone on PATH that records its arguments stands for the desktop's
    // tool. This runs last: the PATH and desktop it sets are left for nothing else to see.
    void systemInfoStartsOnlyTheDesktopsInstalledProgram() {
        const QTemporaryDir bin;
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        QVERIFY2(!AboutBox().findChild<QPushButton *>("cmdAboutSysInfo")->isEnabled(),
                 "nothing installed");
        QFile script(bin.filePath("gnome-control-center"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qunsetenv("XDG_CURRENT_DESKTOP");
        QVERIFY2(!AboutBox().findChild<QPushButton *>("cmdAboutSysInfo")->isEnabled(),
                 "another desktop's program");
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        AboutBox box;
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
