// The desktop program's settings: what is stored and read back, what a damaged or odd
// settings file does at start, how the file is written and removed, and the window
// geometry the settings give.
#include "AppTestSupport.h"
#include "IniText.h"
#include "SettingsStore.h"
#include "WindowSettings.h"

#include <QSettings>

#include <sys/resource.h>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class SettingsTest : public WindowFixture {
protected:
    QString state() {
        return props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave"}) + "|" +
               props("text", {"txtMasterDir", "txtCompareDir", "txtEXT3"}) + "|" +
               props("checked", {"mnuTimeExact", "mnuTime1", "mnuTime2", "mnuHourShifts",
                                 "mnuShowExtra", "mnuVerify", "mnuFollowLinks"});
    }
    // WindowSettings::read of a settings file holding `content` after "[Settings]".
    static WindowSettings readStored(const QString &content) {
        WriteSettings("[Settings]\n" + content + "\n");
        return WindowSettings::read(SettingsStore());
    }
    // The keys of the settings file, in file order.
    static QStringList storedKeys() {
        QStringList keys;
        for (const QString &line : ReadSettings().split('\n'))
            if (line.contains('='))
                keys << line.section('=', 0, 0);
        return keys;
    }
};

} // namespace

TEST_F(SettingsTest, EveryControlAndMenuChoiceRoundTripsInTheFixedKeyOrder) {
    open();
    child<QLineEdit>("txtMasterDir")->setText("/data/master dir, x=1");
    child<QLineEdit>("txtCompareDir")->setText("/data/compare");
    for (const char *name : {"chkSubDir", "chkSize", "chkDate", "chkHide"})
        child<QCheckBox>(name)->click();
    child<QLineEdit>("txtEXT3")->setText("e3");
    for (const char *name : {"mnuTime2", "mnuHourShifts", "mnuVerify", "mnuFollowLinks"})
        child<QAction>(name)->trigger();
    const QString before = state();
    w->close();
    EXPECT_EQ(ends, 1) << "closing ends the program";
    EXPECT_EQ(storedKeys(),
              (QStringList{"Save",       "MasterDir",  "CompareDir",     "SubDir",
                           "CheckSize",  "CheckDate",  "NoShowMatch",    "Ext1",
                           "Ext2",       "Ext3",       "Ext4",           "FormLeft",
                           "FormTop",    "FormHeight", "FormWidth",      "TimeTolerance",
                           "HourShifts", "ShowExtra",  "VerifyContents", "FollowLinks"}));
    EXPECT_TRUE(ReadSettings().contains("CheckSize=0\n"));

    open(false);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(child("cmdBegin")->isEnabled()) << "both boxes and Date checked";
}

TEST_F(SettingsTest, UncheckedSaveOnExitRemovesTheEntryButNeverALinksTarget) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("kept.conf");
    const QByteArray stored = "[Settings]\nSave=1\nMasterDir=/x\n";
    const struct {
        const char *name;
        bool link; // the settings file is a link to `target`
    } rows[] = {{.name = "a file", .link = false}, {.name = "a link", .link = true}};
    for (const auto &row : rows) {
        WriteSettings(QString::fromLatin1(stored));
        if (row.link) {
            WriteFile(target.toStdString(), stored.toStdString());
            QFile::remove(SettingsFile());
            ASSERT_TRUE(QFile::link(target, SettingsFile()));
        }
        open(false);
        child<QCheckBox>("chkSave")->click();
        w->close();
        EXPECT_FALSE(QFileInfo(SettingsFile()).exists() || QFileInfo(SettingsFile()).isSymLink())
            << row.name << ": no empty file left behind either";
        if (row.link) {
            EXPECT_EQ(ReadFile(target.toStdString()), stored.toStdString()) << row.name;
        }
    }
}

TEST_F(SettingsTest, NothingSavedOpensAsTheFirstStart) {
    const struct {
        const char *name;
        const char *save;
        bool systemWide;
    } rows[] = {{.name = "Save=0", .save = "0", .systemWide = false},
                {.name = "only a system-wide file", .save = "1", .systemWide = true}};
    for (const auto &row : rows) {
        WriteSettings("[Settings]\nSave=" + QString::fromLatin1(row.save) +
                          "\nMasterDir=/x\nCheckDate=1\nVerifyContents=1\n",
                      row.systemWide);
        open(false);
        EXPECT_EQ(state(), "1|1|0|0|1||||1|0|0|0|0|0|1") << row.name;
        WriteSettings({}, row.systemWide);
    }
}

TEST_F(SettingsTest, SaveZeroReadsNoOtherKey) {
    EXPECT_EQ(readStored("Save=0\nCheckDate=abc\nFormWidth=wide"), WindowSettings{});
}

TEST_F(SettingsTest, NumbersAreReadWithBlanksAndRoundedHalfToEvenGeometryInSinglePrecision) {
    const WindowSettings s = readStored(
        "Save=1\nSubDir= 1.5 \nCheckSize=0.5\nFormTop=-30.25\nFormWidth=9000.0001\nFormHeight=0.1");
    EXPECT_EQ(s.subDir, 2);
    EXPECT_EQ(s.checkSize, 0);
    EXPECT_EQ(s.formTop, -30.25);
    EXPECT_EQ(s.formWidth, 9000) << "beyond single precision";
    EXPECT_EQ(s.formHeight, double(0.1f));
    EXPECT_FALSE(s.formLeft.has_value()) << "an absent key is not stored geometry";
}

TEST_F(SettingsTest, UnusableValuesAndUnparsableFilesFailTheLoad) {
    const struct {
        const char *name;
        const char *content;  // the file after "[Settings]"
        const char *mustName; // what the failure's description must name
    } rows[] = {
        {.name = "a letter where a number belongs",
         .content = "Save=1\nCheckDate=abc",
         .mustName = "\"abc\""},
        {.name = "a check box value above 2", .content = "Save=1\nSubDir=3", .mustName = "SubDir"},
        {.name = "a word for the gate", .content = "Save=yes", .mustName = "Save"},
        {.name = "a word for a size", .content = "Save=1\nFormWidth=wide", .mustName = "FormWidth"},
        {.name = "past a 16-bit integer",
         .content = "Save=1\nNoShowMatch=99999",
         .mustName = "NoShowMatch"},
        {.name = "past a single-precision number",
         .content = "Save=1\nFormLeft=1e39",
         .mustName = "FormLeft"},
        {.name = "an open section header",
         .content = "Save=1\n[Settings",
         .mustName = "cannot be read"},
        {.name = "a line without =", .content = "Save", .mustName = "cannot be read"},
        {.name = "a time tolerance of 3 seconds",
         .content = "Save=1\nTimeTolerance=3",
         .mustName = "\"TimeTolerance\" holds \"3\""},
        {.name = "hour shifts of 2", .content = "Save=1\nHourShifts=2", .mustName = "HourShifts"},
        {.name = "a menu switch of -1",
         .content = "Save=1\nFollowLinks=-1",
         .mustName = "\"FollowLinks\" holds \"-1\""}};
    for (const auto &row : rows) {
        try {
            (void)readStored(QString::fromLatin1(row.content));
            ADD_FAILURE() << "loaded: " << row.name;
        } catch (const LoadError &e) {
            const QString what = QString::fromUtf8(e.what());
            EXPECT_TRUE(what.contains(row.mustName) && what.contains(SettingsFile()))
                << row.name << ": " << e.what();
        }
    }
}

TEST_F(SettingsTest, ASettingsFileThatIsNoPlainFileFailsTheLoadAtOnce) {
    const std::string file = SettingsFile().toStdString();
    QDir().mkpath(QFileInfo(SettingsFile()).absolutePath());
    const struct {
        const char *name;
        std::function<bool()> make;
        const char *says;
    } rows[] = {
        {.name = "a FIFO nobody writes",
         .make = [&] { return ::mkfifo(file.c_str(), 0600) == 0; },
         .says = "it is not a regular file"},
        {.name = "a directory",
         .make = [&] { return ::mkdir(file.c_str(), 0700) == 0; },
         .says = "it is not a regular file"},
        {.name = "a link to a device",
         .make = [&] { return ::symlink("/dev/full", file.c_str()) == 0; },
         .says = "it is not a regular file"},
        {.name = "a file over 1 MiB",
         .make =
             [&] {
                 WriteFile(file, "[Settings]\nSave=1\n" + std::string(1024 * 1024, ';'));
                 return true;
             },
         .says = "it is larger than 1 MiB"},
    };
    for (const auto &row : rows) {
        ::rmdir(file.c_str());
        ::unlink(file.c_str());
        ASSERT_TRUE(row.make()) << row.name;
        // In a child, so that a read that blocks fails this test instead of hanging the run.
        const ChildResult r = RunInChild(
            [](std::string &out) {
                QElapsedTimer clock;
                clock.start();
                try {
                    (void)WindowSettings::read(SettingsStore());
                    out = "loaded";
                } catch (const LoadError &e) {
                    out = e.what();
                }
                return clock.elapsed() < 1000 ? 0 : 1;
            },
            10);
        EXPECT_EQ(r.status, 0) << row.name << ": a second or more, or no answer";
        EXPECT_TRUE(r.out.find(file) != std::string::npos &&
                    r.out.find(row.says) != std::string::npos)
            << row.name << ": " << r.out;
    }
    ::rmdir(file.c_str());
    ::unlink(file.c_str());
}

TEST_F(SettingsTest, AFailedWriteLeavesTheStoredFileAsItWas) {
    const std::string file = SettingsFile().toStdString();
    const std::string old = "[Settings]\nSave=1\nMasterDir=/old\n" + std::string(200, ';') + "\n";
    const struct {
        const char *name;
        bool deviceLink; // the file is a link to /dev/full; otherwise the disk is "full"
    } rows[] = {{.name = "a link to a device", .deviceLink = true},
                {.name = "a full disk", .deviceLink = false}};
    for (const auto &row : rows) {
        WriteSettings({});
        open(false);
        if (row.deviceLink) {
            ASSERT_EQ(::symlink("/dev/full", file.c_str()), 0);
        } else {
            WriteFile(file, old);
        }
        const ChildResult r = RunInChild([&](std::string &) {
            // Files may not grow past 64 bytes: the write runs out of room as on a full disk.
            const rlimit small{64, 64};
            ::signal(SIGXFSZ, SIG_IGN);
            if (!row.deviceLink && ::setrlimit(RLIMIT_FSIZE, &small) != 0)
                return 77;
            w->close();
            return ends == 1 ? 0 : 1;
        });
        ASSERT_NE(r.status, 77) << row.name;
        EXPECT_EQ(r.status, 0) << row.name << ": the program ends all the same";
        if (row.deviceLink) {
            EXPECT_EQ(QFileInfo(SettingsFile()).symLinkTarget(), "/dev/full") << row.name;
        } else {
            EXPECT_EQ(ReadFile(file), old) << row.name;
        }
        ::unlink(file.c_str());
    }
}

TEST_F(SettingsTest, WrittenSettingsReadBackAlike) {
    WindowSettings s;
    s.save = 1;
    s.masterDir = "/a b, c=d";
    s.checkDate = 2;
    s.extensions = {"txt", "", " x ", "*.gz"};
    s.formLeft = -45;
    s.formTop = 1234.5;
    s.formHeight = 7000;
    s.formWidth = 9000.25;
    s.timeTolerance = 1;
    s.showExtra = 1;
    s.followLinks = 0;
    SettingsStore store;
    ASSERT_TRUE(s.write(store));
    EXPECT_EQ(WindowSettings::read(store), s);
}

TEST_F(SettingsTest, AWriteKeepsWhatItDoesNotSet) {
    WriteSettings("[Settings]\nSave=1\nFormWidth=9000\nLater=x\n\n[Other]\nKey=1\n");
    SettingsStore store;
    ASSERT_TRUE(WindowSettings{}.write(store));
    EXPECT_EQ(WindowSettings::read(store).formWidth, 9000) << "no geometry: the stored stays";
    ini::Document stored;
    ASSERT_EQ(store.Read("Dirwise", stored).status, SettingsStore::ReadStatus::Ok);
    EXPECT_EQ(stored.value("Settings", "Later"), "x") << "a later version's key";
    EXPECT_EQ(stored.value("Other", "Key"), "1") << "another section";
}

TEST(IniText, ValuesReadAndWriteAsQSettingsDoes) {
    const QStringList values = {
        "plain",
        "",
        "/a b, c=d",
        " lead",
        "trail ",
        "semi;colon",
        "quote\"back\\slash",
        "@at",
        "@ByteArray(x)",
        "tab\tnew\nline\rbell\a",
        QString::fromUtf8("\xc3\xbcn\xc3\xaf \xe2\x82\xac \xf0\x9f\x98\x80"),
        QString::fromLatin1(QByteArray("nul\0"
                                       "9 esc\x1b"
                                       "f",
                                       11))};
    QTemporaryDir dir;
    const QString theirs = dir.filePath("qsettings.conf"), ours = dir.filePath("ours.conf");
    ini::Document written;
    {
        QSettings qt(theirs, QSettings::IniFormat);
        for (qsizetype i = 0; i < values.size(); ++i) {
            qt.setValue(QString("Settings/k%1").arg(i), values[i]);
            written.set("Settings", QString("k%1").arg(i), values[i]);
        }
    }
    WriteFile(ours.toStdString(), ini::Format(written).toStdString());
    ini::Document read;
    ASSERT_TRUE(ini::Parse(QByteArray::fromStdString(ReadFile(theirs.toStdString())), read));
    const QSettings qt(ours, QSettings::IniFormat);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString key = QString("k%1").arg(i);
        EXPECT_EQ(read.value("Settings", key), values[i]) << "read here: " << i;
        EXPECT_EQ(qt.value("Settings/" + key).toString(), values[i]) << "read by QSettings: " << i;
    }
    EXPECT_EQ(qt.status(), QSettings::NoError);
}

TEST_F(SettingsTest, MaximisedCloseKeepsTheLastNormalGeometry) {
    WriteSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=1500\nFormTop=1500\n"
                                 "FormHeight=7000\nFormWidth=9000\n"));
    open(false).showMaximized();
    (void)QTest::qWaitForWindowExposed(w.get());
    child<QLineEdit>("txtMasterDir")->setText("/after");
    w->close();
    for (const char *line : {"MasterDir=/after\n", "FormWidth=9000\n", "FormLeft=1500\n"})
        EXPECT_TRUE(ReadSettings().contains(QString::fromLatin1(line))) << line;
}

TEST_F(SettingsTest, GeometryIsStableOverRestarts) {
    WriteSettings(QStringLiteral("[Settings]\nSave=1\nFormLeft=1800\nFormTop=2400\n"
                                 "FormHeight=7200\nFormWidth=9600\n"));
    for (int start = 0; start < 3; ++start) {
        open();
        const int dpi = w->logicalDpiX();
        EXPECT_EQ(w->frameGeometry(), QRect(twipsToPixels(1800, dpi), twipsToPixels(2400, dpi),
                                            twipsToPixels(9600, dpi), twipsToPixels(7200, dpi)))
            << "start " << start;
        w->close();
    }
    EXPECT_TRUE(ReadSettings().contains("FormWidth=9600\n")) << ReadSettings().toStdString();
}

TEST_F(SettingsTest, UnusableGeometryGivesAUsableWindowWhoseRealGeometryIsStored) {
    const struct {
        const char *name;
        const char *geometry;
    } rows[] = {
        {.name = "far off every screen", .geometry = "FormLeft=1e30\nFormTop=-1e30"},
        {.name = "wholly left of the screen", .geometry = "FormLeft=-150000\nFormTop=300"},
        {.name = "no size", .geometry = "FormWidth=0\nFormHeight=0"},
        {.name = "a negative size", .geometry = "FormWidth=-900\nFormHeight=-5"},
        {.name = "below the minimum", .geometry = "FormWidth=300\nFormHeight=300"},
        {.name = "beyond the desktop", .geometry = "FormWidth=1e30\nFormHeight=3e38"},
        {.name = "beyond the desktop from off the screen",
         .geometry = "FormLeft=-150000\nFormWidth=1e30"},
    };
    for (const auto &row : rows) {
        WriteSettings("[Settings]\nSave=1\n" + QString::fromLatin1(row.geometry) + "\n");
        open();
        const QRect frame = w->frameGeometry();
        const QScreen *screen = w->screen();
        EXPECT_TRUE(screen->availableGeometry().intersects(frame)) << row.name;
        EXPECT_TRUE(screen->availableVirtualGeometry()
                        .size()
                        .expandedTo(w->minimumSizeHint())
                        .boundedTo(frame.size()) == frame.size())
            << row.name << ": not beyond the desktop";
        EXPECT_EQ(w->size().expandedTo(w->minimumSizeHint()), w->size()) << row.name;
        w->close();
        const WindowSettings stored = WindowSettings::read(SettingsStore());
        const int dpi = w->logicalDpiX();
        EXPECT_EQ(QRect(twipsToPixels(*stored.formLeft, dpi), twipsToPixels(*stored.formTop, dpi),
                        twipsToPixels(*stored.formWidth, dpi),
                        twipsToPixels(*stored.formHeight, dpi)),
                  frame)
            << row.name << ": the real geometry is stored";
    }
}
