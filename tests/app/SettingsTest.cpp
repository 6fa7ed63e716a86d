// Settings: the restore at load, its failures, and the close steps.
#include "AppTestSupport.h"

#include <QCheckBox>
#include <QFile>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class SettingsTest : public WindowFixture {
protected:
    void TearDown() override {
        WindowFixture::TearDown();
        WriteSettings({}, true);
    }
    QString state() {
        return props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave"}) + "|" +
               props("text", {"txtMasterDir", "txtCompareDir", "txtEXT3"});
    }
};

} // namespace

TEST_F(SettingsTest, RoundTripOfEveryControlAndUncheckedSaveOnExit) {
    open();
    child<QLineEdit>("txtMasterDir")->setText(QStringLiteral("/data/master dir, x=1"));
    child<QLineEdit>("txtCompareDir")->setText(QStringLiteral("/data/compare"));
    for (const char *name : {"chkSubDir", "chkSize", "chkDate", "chkHide"})
        child<QCheckBox>(name)->click();
    child<QLineEdit>("txtEXT3")->setText(QStringLiteral("e3"));
    const QString before = state();
    w->close();
    EXPECT_EQ(ends, 1) << "closing ends the program";
    EXPECT_EQ(ReadSettings().split(QLatin1Char('\n')).filter(QStringLiteral("=")).size(), 15);
    EXPECT_TRUE(ReadSettings().contains(QStringLiteral("CheckSize=0\n")));

    open(false);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(child("cmdBegin")->isEnabled()) << "both boxes and Date checked";
    // Unchecking "Save on Exit" deletes the file, leaving no empty one behind.
    child<QCheckBox>("chkSave")->click();
    w->close();
    EXPECT_FALSE(QFile::exists(SettingsFile()));
}

TEST_F(SettingsTest, SaveZeroAndASystemWideFileRestoreNothing) {
    const QString stored = QStringLiteral("[Settings]\nSave=%1\nMasterDir=/x\nCheckDate=1\n");
    for (bool systemWide : {false, true}) {
        WriteSettings(stored.arg(systemWide ? 1 : 0), systemWide);
        open(false);
        EXPECT_EQ(state(), QStringLiteral("1|1|0|0|1|||")) << systemWide;
        WriteSettings({}, systemWide);
    }
}

TEST_F(SettingsTest, UnusableValuesAndUnparsableFilesFailTheLoad) {
    const std::pair<const char *, const char *> cases[] = {
        {"[Settings]\nSave=1\nCheckDate=abc\n", "\"abc\""},
        {"[Settings]\nSave=1\nSubDir=3\n", "SubDir"},
        {"[Settings]\nSave=yes\n", "Save"},
        {"[Settings]\nSave=1\nFormWidth=wide\n", "FormWidth"},
        {"[Settings]\nSave=1\nNoShowMatch=99999\n", "NoShowMatch"},
        {"[Settings\nSave=1\n", "cannot be read"},
        {"[Settings]\nSave\n", "cannot be read"}};
    for (const auto &[content, mustName] : cases) {
        WriteSettings(QString::fromLatin1(content));
        try {
            open(false);
            ADD_FAILURE() << "loaded: " << content;
        } catch (const LoadError &e) {
            const QString what = QString::fromUtf8(e.what());
            EXPECT_TRUE(what.contains(QString::fromLatin1(mustName))) << e.what();
            EXPECT_TRUE(what.contains(SettingsFile())) << e.what();
        }
    }
}

TEST_F(SettingsTest, MaximisedCloseKeepsTheLastNormalGeometry) {
    WriteSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=1500\nFormTop=1500\n"
                                 "FormHeight=7000\nFormWidth=9000\n"));
    open(false).showMaximized();
    (void)QTest::qWaitForWindowExposed(w.get());
    child<QLineEdit>("txtMasterDir")->setText(QStringLiteral("/after"));
    w->close();
    for (const char *line : {"MasterDir=/after\n", "FormWidth=9000\n", "FormLeft=1500\n"})
        EXPECT_TRUE(ReadSettings().contains(QString::fromLatin1(line))) << line;
}

TEST_F(SettingsTest, GeometryIsStableOverRestarts) {
    WriteSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=1800\nFormTop=2400\n"
                                 "FormHeight=7200\nFormWidth=9600\n"));
    for (int start = 0; start < 3; ++start) {
        open();
        EXPECT_EQ(w->frameGeometry(), QRect(w->TwipsToPixels(1800), w->TwipsToPixels(2400),
                                            w->TwipsToPixels(9600), w->TwipsToPixels(7200)))
            << "start " << start;
        w->close();
    }
}
