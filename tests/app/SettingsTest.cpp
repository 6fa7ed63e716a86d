// Settings: the store itself, the restore at load and the close steps.
#include "AppTestSupport.h"
#include "SettingsStore.h"
#include "frmDw.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveUserSettings();
        QFile::remove(SystemSettingsFile());
    }
    void TearDown() override {
        RemoveUserSettings();
        QFile::remove(SystemSettingsFile());
    }
    ScopedPrompts prompts;
};

template <typename T> T *child(frmDw &w, const char *name) {
    return w.findChild<T *>(QString::fromLatin1(name));
}

// The keys of the file in the order they appear in it.
QStringList keysInFile() {
    QStringList keys;
    for (const QString &line : ReadUserSettings().split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys << line.left(eq);
    }
    return keys;
}

} // namespace

TEST_F(SettingsTest, StoreKeepsStringsAndDeletesTheWholeFile) {
    SettingsStore store;
    const QString app = QStringLiteral("Dirwise");
    EXPECT_EQ(store.GetValue(app, QStringLiteral("Settings"), QStringLiteral("Nope"),
                             QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_FALSE(store.DeleteApplication(app)) << "nothing to delete is a failure";
    ASSERT_TRUE(store.SetValue(app, QStringLiteral("Settings"), QStringLiteral("MasterDir"),
                               QStringLiteral("/a, b/c=d")));
    EXPECT_EQ(store.FileName(app), UserSettingsFile());
    EXPECT_EQ(
        store.GetValue(app, QStringLiteral("Settings"), QStringLiteral("MasterDir"), QString()),
        QStringLiteral("/a, b/c=d"));
    EXPECT_TRUE(store.DeleteApplication(app));
    EXPECT_FALSE(QFile::exists(UserSettingsFile())) << "no empty file is left behind";
    EXPECT_EQ(
        store.GetValue(app, QStringLiteral("Settings"), QStringLiteral("MasterDir"), QString()),
        QString());
}

TEST_F(SettingsTest, RoundTripOfEveryControlInOrder) {
    {
        auto t = MakeWindow(true);
        frmDw &w = *t->window;
        child<QLineEdit>(w, "txtMasterDir")->setText(QStringLiteral("/data/master dir"));
        child<QLineEdit>(w, "txtCompareDir")->setText(QStringLiteral("/data/compare"));
        child<QCheckBox>(w, "chkSubDir")->setChecked(false);
        child<QCheckBox>(w, "chkSize")->setChecked(false);
        child<QCheckBox>(w, "chkDate")->setChecked(true);
        child<QCheckBox>(w, "chkHide")->setChecked(true);
        for (int i = 0; i < 4; ++i)
            w.findChild<QLineEdit *>(QStringLiteral("txtEXT%1").arg(i))
                ->setText(QStringLiteral("e%1").arg(i));
        w.close();
        EXPECT_EQ(t->ends, 1) << "closing ends the program";
    }
    const QString file = ReadUserSettings();
    EXPECT_TRUE(file.contains(QStringLiteral("[Settings]")));
    EXPECT_TRUE(file.contains(QStringLiteral("Save=1\n")));
    EXPECT_TRUE(file.contains(QStringLiteral("CheckSize=0\n")));
    EXPECT_TRUE(file.contains(QStringLiteral("CheckDate=1\n")));
    const QStringList keys = keysInFile();
    for (const char *key :
         {"Save", "MasterDir", "CompareDir", "SubDir", "CheckSize", "CheckDate", "NoShowMatch",
          "Ext1", "Ext2", "Ext3", "Ext4", "FormLeft", "FormTop", "FormHeight", "FormWidth"})
        EXPECT_TRUE(keys.contains(QString::fromLatin1(key))) << key;
    EXPECT_EQ(keys.size(), 15);

    auto t = MakeWindow();
    frmDw &w = *t->window;
    EXPECT_EQ(child<QLineEdit>(w, "txtMasterDir")->text(), QStringLiteral("/data/master dir"));
    EXPECT_EQ(child<QLineEdit>(w, "txtCompareDir")->text(), QStringLiteral("/data/compare"));
    EXPECT_FALSE(child<QCheckBox>(w, "chkSubDir")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(w, "chkSize")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w, "chkDate")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w, "chkHide")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w, "chkSave")->isChecked());
    EXPECT_EQ(child<QLineEdit>(w, "txtEXT3")->text(), QStringLiteral("e3"));
    EXPECT_TRUE(child<QWidget>(w, "cmdBegin")->isEnabled()) << "both boxes and Date checked";
}

TEST_F(SettingsTest, SaveZeroRestoresNothing) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=0\nMasterDir=/x\nCheckDate=1\nSubDir=0\n"));
    auto t = MakeWindow();
    frmDw &w = *t->window;
    EXPECT_TRUE(child<QLineEdit>(w, "txtMasterDir")->text().isEmpty());
    EXPECT_TRUE(child<QCheckBox>(w, "chkSubDir")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w, "chkSize")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(w, "chkDate")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w, "chkSave")->isChecked());
}

TEST_F(SettingsTest, GrayedCheckBoxRestoresAndCountsAsUnchecked) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nMasterDir=/a\nCompareDir=/b\n"
                                     "CheckSize=2\nCheckDate=0\n"));
    auto t = MakeWindow();
    EXPECT_EQ(child<QCheckBox>(*t->window, "chkSize")->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(child<QWidget>(*t->window, "cmdBegin")->isEnabled());
}

TEST_F(SettingsTest, UnusableValuesFailTheLoadNamingKeyValueAndFile) {
    struct Case {
        const char *content;
        const char *mustName;
    };
    const Case cases[] = {
        {"[Settings]\nSave=1\nCheckDate=abc\n", "CheckDate"},
        {"[Settings]\nSave=1\nSubDir=3\n", "SubDir"},
        {"[Settings]\nSave=yes\n", "Save"},
        {"[Settings]\nSave=1\nFormWidth=wide\n", "FormWidth"},
        {"[Settings]\nSave=1\nNoShowMatch=99999\n", "NoShowMatch"},
    };
    for (const Case &c : cases) {
        WriteUserSettings(QString::fromLatin1(c.content));
        auto w = std::make_unique<frmDw>();
        w->SetProgramEnd([] {});
        try {
            w->Load();
            ADD_FAILURE() << "loaded: " << c.content;
        } catch (const LoadError &e) {
            const QString what = QString::fromUtf8(e.what());
            EXPECT_TRUE(what.contains(QString::fromLatin1(c.mustName))) << e.what();
            EXPECT_TRUE(what.contains(UserSettingsFile())) << e.what();
        }
    }
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nCheckDate=abc\n"));
    auto w = std::make_unique<frmDw>();
    try {
        w->Load();
    } catch (const LoadError &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("\"abc\"")));
    }
}

TEST_F(SettingsTest, UnparsableFileFailsTheLoad) {
    for (const char *content : {"[Settings\nSave=1\n", "[Settings]\nSave\n"}) {
        WriteUserSettings(QString::fromLatin1(content));
        auto w = std::make_unique<frmDw>();
        w->SetProgramEnd([] {});
        EXPECT_THROW(w->Load(), LoadError) << content;
    }
}

TEST_F(SettingsTest, UncheckedSaveOnExitDeletesTheSettings) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nMasterDir=/x\n"));
    {
        auto t = MakeWindow();
        child<QCheckBox>(*t->window, "chkSave")->setChecked(false);
        t->window->close();
        EXPECT_EQ(t->ends, 1);
    }
    EXPECT_FALSE(QFile::exists(UserSettingsFile()));
    auto t = MakeWindow();
    EXPECT_TRUE(child<QCheckBox>(*t->window, "chkSave")->isChecked()) << "first start again";
    EXPECT_TRUE(child<QLineEdit>(*t->window, "txtMasterDir")->text().isEmpty());
}

TEST_F(SettingsTest, MaximisedCloseKeepsTheLastNormalGeometry) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=1500\nFormTop=1500\n"
                                     "FormHeight=7000\nFormWidth=9000\n"));
    {
        auto t = MakeWindow();
        t->window->showMaximized();
        (void)QTest::qWaitForWindowExposed(t->window.get());
        child<QLineEdit>(*t->window, "txtMasterDir")->setText(QStringLiteral("/after"));
        t->window->close();
    }
    const QString file = ReadUserSettings();
    EXPECT_TRUE(file.contains(QStringLiteral("MasterDir=/after"))) << "control keys written";
    EXPECT_TRUE(file.contains(QStringLiteral("FormWidth=9000"))) << qPrintable(file);
    EXPECT_TRUE(file.contains(QStringLiteral("FormLeft=1500")));
}

TEST_F(SettingsTest, SystemWideFileIsIgnored) {
    QDir().mkpath(QFileInfo(SystemSettingsFile()).absolutePath());
    {
        QFile f(SystemSettingsFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\nSave=1\nMasterDir=/from/system\nCheckDate=1\n");
    }
    auto t = MakeWindow();
    EXPECT_TRUE(child<QLineEdit>(*t->window, "txtMasterDir")->text().isEmpty());
    EXPECT_FALSE(child<QCheckBox>(*t->window, "chkDate")->isChecked());
}

TEST_F(SettingsTest, GeometryIsStableOverRestarts) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=1800\nFormTop=2400\n"
                                     "FormHeight=7200\nFormWidth=9600\n"));
    QRect first;
    for (int start = 0; start < 3; ++start) {
        auto t = MakeWindow(true);
        const QRect frame = t->window->frameGeometry();
        if (start == 0)
            first = frame;
        EXPECT_EQ(frame, first) << "start " << start;
        EXPECT_EQ(frame.width(), t->window->TwipsToPixels(9600));
        EXPECT_EQ(frame.height(), t->window->TwipsToPixels(7200));
        t->window->close();
    }
    const QString file = ReadUserSettings();
    EXPECT_TRUE(file.contains(QStringLiteral("FormWidth=9600"))) << qPrintable(file);
    EXPECT_TRUE(file.contains(QStringLiteral("FormHeight=7200"))) << qPrintable(file);
}

TEST_F(SettingsTest, AStoredPositionFarOffScreenIsAppliedAsStored) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=150000\nFormTop=300\n"));
    auto t = MakeWindow();
    EXPECT_EQ(t->window->frameGeometry().x(), t->window->TwipsToPixels(150000));
}
