// The window in German: every text of the sources translated, Dirwise's and Qt's own
// translations loaded together, access keys that stay one a key, and data left as it is.
#include "AppTestSupport.h"
#include "Translations.h"

#include <QDialogButtonBox>
#include <QProcess>
#include <QTemporaryDir>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class GermanWindowTest : public RunFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(installTranslations(QLocale(QLocale::German, QLocale::Germany)));
        RunFixture::SetUp();
    }
    void TearDown() override {
        RunFixture::TearDown();
        w.reset();
        // A translator leaves the application when it is deleted.
        qDeleteAll(qApp->findChildren<QTranslator *>());
    }
};

} // namespace

TEST(Translation, TheGermanFileTranslatesEveryTextOfTheSources) {
    const QString ts = QStringLiteral(SOURCE_DIR "/app/translations/dirwise_de.ts");
    if (!QFileInfo(QStringLiteral(LUPDATE_PATH)).isExecutable())
        GTEST_SKIP() << "Qt's lupdate is not installed (qt6-l10n-tools)";
    QTemporaryDir dir;
    const QString copy = dir.filePath("dirwise_de.ts");
    ASSERT_TRUE(QFile::copy(ts, copy));
    // What lupdate makes of the sources today: a text without its German stays unfinished,
    // and one the sources no longer hold is marked vanished.
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(SOURCE_DIR));
    lupdate.start(QStringLiteral(LUPDATE_PATH),
                  {"-locations", "none", "app", "shell", "about", "-ts", copy});
    ASSERT_TRUE(lupdate.waitForFinished(60000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_GT(text.count("<message>"), 150);
    for (const char *mark : {"type=\"unfinished\"", "type=\"vanished\"", "type=\"obsolete\""})
        EXPECT_EQ(text.count(QLatin1String(mark)), 0)
            << mark << " in " << copy.toStdString() << ": run lupdate and translate";
}

TEST_F(GermanWindowTest, EveryButtonSpeaksGerman) {
    EXPECT_EQ(child<QPushButton>("cmdBegin")->text(), "&Beginnen");
    EXPECT_EQ(w->model().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Ergebnis");
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Abbrechen")
        << "Qt's own translation (qt6-translations-l10n) is loaded too";
}

TEST_F(GermanWindowTest, AccessKeysStayOneAKeyInGerman) {
    EXPECT_EQ(AccessKeyFaults(*w, false), QStringList());
}

TEST_F(GermanWindowTest, ResultWordsStayAsData) {
    fill();
    EXPECT_TRUE(column(0).contains("Match")) << column(0);
    tree.dir("out");
    prompts.answers = {QString::fromStdString(tree.path("out/r.txt"))};
    w->saveList();
    EXPECT_TRUE(ReadFile(tree.path("out/r.txt")).starts_with("Size\t"));
}
