#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>

namespace {

QByteArray readDoc(const char *name) {
    QFile file(QStringLiteral(DIRWISE_DOCS_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Texts a reader of each document must find: the window's captions, the report's and
// the summary's exact words, and every dwc option and exit status.
const char *const dwcWords[] = {
    "--no-subdirs",    "--size",         "--no-size",   "--date",
    "--no-date",       "--hide-matches", "--include",   "--exclude",
    "--sort",          "--descending",   "-o",          "-q",
    "--help",          "--version",      "master-size", "compare-size",
    "master-date",     "compare-date",   "130",         "Dirwise stopped.",
    "Not Compared: N", "CR LF"};

} // namespace

class DocsTest : public QObject {
    Q_OBJECT

private slots:
    // The help page opens from a file with no network and no files beside it, so it must
    // be one well-formed document that loads nothing and whose links all land.
    void helpPageIsSelfContained() {
        const QByteArray page = readDoc("dw.htm");
        QVERIFY(!page.isEmpty());
        QXmlStreamReader xml(page);
        QSet<QString> ids;
        QStringList fragments;
        QString title;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QString tag = xml.name().toString();
            const QXmlStreamAttributes attrs = xml.attributes();
            QVERIFY2(!attrs.hasAttribute(QStringLiteral("src")), qPrintable(tag));
            for (const char *loader : {"link", "script", "img", "iframe", "object", "embed"})
                QVERIFY2(tag != QLatin1String(loader), loader);
            if (attrs.hasAttribute(QStringLiteral("id")))
                QVERIFY2(!ids.contains(attrs.value(QStringLiteral("id")).toString()),
                         "an id is used twice");
            ids.insert(attrs.value(QStringLiteral("id")).toString());
            if (attrs.hasAttribute(QStringLiteral("href"))) {
                const QString href = attrs.value(QStringLiteral("href")).toString();
                QVERIFY2(href.startsWith(u'#'), qPrintable(href));
                fragments << href.mid(1);
            }
            if (tag == QLatin1String("style")) {
                const QString css = xml.readElementText();
                QVERIFY(!css.contains(QLatin1String("url(")));
                QVERIFY(!css.contains(QLatin1String("@import")));
            }
            if (tag == QLatin1String("title"))
                title = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(title.contains(QLatin1String("Dirwise")));
        QVERIFY(!fragments.isEmpty());
        for (const QString &f : fragments)
            QVERIFY2(ids.contains(f), qPrintable(QStringLiteral("no target for #") + f));
    }

    void helpPageCoversTheProgram() {
        const QString page = QString::fromUtf8(readDoc("dw.htm"));
        QVERIFY(!page.isEmpty());
        const char *const words[] = {"Include Su",
                                     "Match File Si",
                                     "Match File ",
                                     "Don't Show Files that ",
                                     "Exclude Extentions &gt;",
                                     "Include Extentions &gt;",
                                     "Save on E",
                                     "Match",
                                     "Size&amp;Date",
                                     "Not Found",
                                     "000,001,234",
                                     "Not Compared",
                                     "Remove From List",
                                     "Delete",
                                     "Total Files: ",
                                     "Matching Files: ",
                                     "Different Files: ",
                                     "~/.config/Dirwise/Dirwise.conf",
                                     "XDG_CONFIG_HOME",
                                     "<kbd>F1</kbd>",
                                     "<kbd>F2</kbd>",
                                     "<kbd>F8</kbd>",
                                     "<kbd>Esc</kbd>",
                                     "dwc [options] MASTER COMPARE",
                                     "<code>tar.gz</code></td><td><code>gz</code>",
                                     "<code>\\t</code>",
                                     "<code>\\r</code>",
                                     "<code>\\n</code>",
                                     "<code>\\\\</code>",
                                     "Master Date",
                                     "Cannot Save File",
                                     "dw.txt"};
        for (const char *w : words)
            QVERIFY2(page.contains(QString::fromUtf8(w)), w);
        for (const char *w : dwcWords)
            QVERIFY2(page.contains(QString::fromUtf8(w)), w);
    }

    void manPageCoversDwc() {
        const QString man = QString::fromUtf8(readDoc("dwc.1"));
        QVERIFY(man.startsWith(QLatin1String(".TH DWC 1 ")));
        // In roff a "-" is written "\-"; compare against the page as it reads.
        QString text = man;
        text.replace(QLatin1String("\\-"), QLatin1String("-"));
        for (const char *w : dwcWords)
            QVERIFY2(text.contains(QString::fromUtf8(w)), w);

        const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
        if (groff.isEmpty())
            QSKIP("groff is not installed; the page's markup is not checked");
        QProcess run;
        run.start(groff, {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"),
                          QStringLiteral("-z"), QStringLiteral(DIRWISE_DOCS_DIR "/dwc.1")});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(run.readAllStandardError(), QByteArray()); // no warnings
    }

    // The desktop entry by the freedesktop rules: one group, each key once.
    void desktopEntryLaunchesDw() {
        const QList<QByteArray> lines = readDoc("dirwise.desktop").split('\n');
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.first(), QByteArray("[Desktop Entry]"));
        QHash<QByteArray, QByteArray> keys;
        for (const QByteArray &line : lines.mid(1)) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            QVERIFY2(!line.startsWith('['), "a second group");
            const qsizetype eq = line.indexOf('=');
            QVERIFY2(eq > 0, line.constData());
            const QByteArray key = line.left(eq);
            QVERIFY2(!keys.contains(key), key.constData());
            keys.insert(key, line.mid(eq + 1));
        }
        QCOMPARE(keys.value("Type"), QByteArray("Application"));
        QCOMPARE(keys.value("Name"), QByteArray("Dirwise"));
        QCOMPARE(keys.value("Exec"), QByteArray("dw"));
        QCOMPARE(keys.value("Icon"), QByteArray("dirwise"));
        QVERIFY(keys.value("Categories").split(';').contains("Utility"));
        QVERIFY(keys.value("Categories").endsWith(';'));
    }
};

DIRWISE_REGISTER_TEST(DocsTest);
#include "DocsTest.moc"
