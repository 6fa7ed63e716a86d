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

// The list in the user's language and number forms: sizes grouped as the status bar's
// counts are, dates in the German form, the Difference in German; the result words and the
// saved csv stay as they are.
TEST_F(GermanWindowTest, TheListShowsItsCellsInGermanForms) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    UseTimeZone("UTC0");
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    constexpr std::int64_t T0 = 1700000000; // 14.11.2023 22:13:20 UTC
    tree.file("m/big.bin", 1234567, T0);
    tree.file("c/big.bin", 1234568, T0 + 90061); // a day, an hour, a minute and a second later
    child<QCheckBox>("chkDate")->setChecked(true);
    fill();
    int row = 0;
    while (row < w->model().rowCount() && w->model().index(row, 2).data() != "big.bin")
        ++row;
    ASSERT_LT(row, w->model().rowCount());
    const auto cell = [&](int c) { return w->model().index(row, c).data().toString(); };
    EXPECT_EQ(cell(0), "Size&Date");
    EXPECT_EQ(cell(3), "1.234.567");
    EXPECT_EQ(cell(4), "1.234.568");
    EXPECT_EQ(cell(5), "14.11.2023 22:13:20");
    EXPECT_EQ(cell(6), "15.11.2023 23:14:21");
    EXPECT_EQ(cell(7), "+1 Byte; Vergleichsdatei neuer um 1 T 1 h 1 min 1 s");
    EXPECT_TRUE(w->statusText().startsWith("Dateien gesamt: 6")) << w->statusText();

    tree.dir("out");
    prompts.answers = {QString::fromStdString(tree.path("out/r.csv"))};
    prompts.fileType =
        QCoreApplication::translate("dirwise::MainWindow", "CSV File, all columns (*.csv)");
    w->saveList();
    EXPECT_NE(ReadFile(tree.path("out/r.csv"))
                  .find("Size&Date,big.bin,1234567,1234568,2023-11-14T22:13:20Z,"
                        "2023-11-15T23:14:21Z,+1 byte; compare newer by 1 d 1 h 1 min 1 s"),
              std::string::npos);
}
