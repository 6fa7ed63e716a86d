// The desktop program's settings: what is stored and read back, what a damaged or odd
// settings file does at start, how the file is written and removed, and the window
// geometry the settings give.
#include "AppTestSupport.h"
#include "CheckValue.h"
#include "DisplayText.h"
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
    // The window's frame for a stored geometry in twips.
    QRect frameOf(double left, double top, double width, double height) {
        const int dpi = w->logicalDpiX();
        return {twipsToPixels(left, dpi), twipsToPixels(top, dpi), twipsToPixels(width, dpi),
                twipsToPixels(height, dpi)};
    }
};

} // namespace

TEST_F(SettingsTest, EveryChoiceRoundTripsInTheFixedKeyOrder) {
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
    EXPECT_EQ(storedKeys().join(' '),
              "Save MasterDir CompareDir SubDir CheckSize CheckDate "
              "NoShowMatch Ext1 Ext2 Ext3 Ext4 FormLeft FormTop "
              "FormHeight FormWidth TimeTolerance HourShifts ShowExtra "
              "VerifyContents FollowLinks SkipRules UseGitignore DiffTool RecentPairs");
    EXPECT_TRUE(ReadSettings().contains("CheckSize=0\n"));

    open(false);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(child("cmdBegin")->isEnabled()) << "both boxes and Date checked";
}

TEST(PathText, EveryByteStringComesBackFromItsBoxText) {
    const std::string cases[] = {"plain",          "caf\xe9",          "\xff\xfe",
                                 "a\xed\xa0\x80z", "\xf0\x9f\x98\x80", "cut \xc3",
                                 "\xc3\xa9\xe9"};
    for (const std::string &bytes : cases)
        EXPECT_EQ(PathBytes(PathText(bytes)), bytes) << DisplayText(bytes);
    EXPECT_EQ(PathText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9")) << "UTF-8 as it is";
    EXPECT_EQ(PathBytes(QString(QChar(0xd800))), "\xef\xbf\xbd") << "no byte behind it";
}

// A folder whose name is no UTF-8 keeps its bytes from the command line (also relative to
// such a working folder) through the box, the run and the stored settings; the folder whose
// name holds the replacement character instead is never compared.
TEST_F(SettingsTest, AFolderNameThatIsNoUtf8KeepsItsBytes) {
    const std::string bad = tree.path("caf\xe9");
    tree.file("caf\xe9/m/real.txt", 1);
    tree.file("caf\xef\xbf\xbd/m/decoy.txt", 1);
    tree.dir("c");
    open();
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(::chdir(bad.c_str()), 0);
    w->takeCommandLineDirectories(PathText("m"), PathText(tree.path("c")));
    ASSERT_EQ(::chdir(before), 0);
    w->beginCompare();
    EXPECT_EQ(column(2), "real.txt");
    EXPECT_EQ(toBytes(child<QLineEdit>("txtMasterDir")->text()), bad + "/m");
    w->close();
    EXPECT_EQ(PathBytes(WindowSettings::read(SettingsStore()).masterDir), bad + "/m");
    open(false);
    EXPECT_EQ(toBytes(child<QLineEdit>("txtMasterDir")->text()), bad + "/m");
}

TEST_F(SettingsTest, UncheckedSaveOnExitRemovesTheEntryButNeverALinksTarget) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("kept.conf");
    const QByteArray stored = "[Settings]\nSave=1\nMasterDir=/x\n";
    for (const bool link : {false, true}) {
        WriteSettings(QString::fromLatin1(stored));
        if (link) {
            WriteFile(target.toStdString(), stored.toStdString());
            QFile::remove(SettingsFile());
            ASSERT_TRUE(QFile::link(target, SettingsFile()));
        }
        open(false);
        child<QCheckBox>("chkSave")->click();
        w->close();
        EXPECT_FALSE(QFileInfo(SettingsFile()).exists() || QFileInfo(SettingsFile()).isSymLink())
            << link << ": no empty file left behind either";
    }
    EXPECT_EQ(ReadFile(target.toStdString()), stored.toStdString());
}

TEST_F(SettingsTest, AnUnusableFileFailsTheLoad) {
    // The file after "[Settings]", and what the failure's description must name.
    const std::pair<const char *, const char *> rows[] = {
        {"Save=1\nCheckDate=abc", "\"abc\""},
        {"Save=1\nSubDir=3", "SubDir"}, // a check box value above 2
        {"Save=yes", "Save"},
        {"Save=1\nFormWidth=wide", "FormWidth"},
        {"Save=1\nNoShowMatch=99999", "NoShowMatch"}, // past a 16-bit integer
        {"Save=1\nFormLeft=1e39", "FormLeft"},        // past a single-precision number
        {"Save=1\n[Settings", "cannot be read"},
        {"Save", "cannot be read"},
        {"Save=1\nTimeTolerance=3", "\"TimeTolerance\" holds \"3\""},
        {"Save=1\nHourShifts=2", "HourShifts"},
        {"Save=1\nFollowLinks=-1", "\"FollowLinks\" holds \"-1\""},
    };
    for (const auto &[content, mustName] : rows) {
        try {
            (void)readStored(QString::fromLatin1(content));
            ADD_FAILURE() << "loaded: " << content;
        } catch (const LoadError &e) {
            const QString what = QString::fromUtf8(e.what());
            EXPECT_TRUE(what.contains(mustName) && what.contains(SettingsFile())) << e.what();
        }
    }
}

TEST_F(SettingsTest, ASettingsFileThatIsNoPlainFileFailsTheLoadAtOnce) {
    const std::string file = SettingsFile().toStdString();
    const char *const odd = "it is not a regular file";
    QDir().mkpath(QFileInfo(SettingsFile()).absolutePath());
    const std::tuple<const char *, std::function<bool()>, const char *> rows[] = {
        {"a FIFO nobody writes", [&] { return ::mkfifo(file.c_str(), 0600) == 0; }, odd},
        {"a directory", [&] { return ::mkdir(file.c_str(), 0700) == 0; }, odd},
        {"a link to a device", [&] { return ::symlink("/dev/full", file.c_str()) == 0; }, odd},
        {"a 2 MiB file",
         [&] {
             WriteFile(file, "[Settings]\nSave=1\n");
             return ::truncate(file.c_str(), 2 << 20) == 0;
         },
         "it is larger than 1 MiB"},
    };
    for (const auto &[name, make, says] : rows) {
        ::rmdir(file.c_str());
        ::unlink(file.c_str());
        ASSERT_TRUE(make()) << name;
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
        EXPECT_EQ(r.status, 0) << name << ": a second or more, or no answer";
        EXPECT_TRUE(r.out.find(file) != std::string::npos && r.out.find(says) != std::string::npos)
            << name << ": " << r.out;
    }
    ::rmdir(file.c_str());
    ::unlink(file.c_str());
}

TEST_F(SettingsTest, AFailedWriteLeavesTheStoredFileAsItWas) {
    const std::string file = SettingsFile().toStdString();
    const std::string old = "[Settings]\nSave=1\nMasterDir=/old\n" + std::string(200, ';') + "\n";
    // The file is a link to /dev/full, or else the disk is "full".
    for (const bool deviceLink : {true, false}) {
        WriteSettings({});
        open(false);
        if (deviceLink)
            ASSERT_EQ(::symlink("/dev/full", file.c_str()), 0);
        else
            WriteFile(file, old);
        const ChildResult r = RunInChild([&](std::string &) {
            // Files may not grow past 64 bytes: the write runs out of room as on a full disk.
            const rlimit small{64, 64};
            ::signal(SIGXFSZ, SIG_IGN);
            if (!deviceLink && ::setrlimit(RLIMIT_FSIZE, &small) != 0)
                return 77;
            w->close();
            return ends == 1 ? 0 : 1;
        });
        EXPECT_EQ(r.status, 0) << deviceLink << ": the program ends all the same";
        if (deviceLink)
            EXPECT_EQ(QFileInfo(SettingsFile()).symLinkTarget(), "/dev/full");
        else
            EXPECT_EQ(ReadFile(file), old);
        ::unlink(file.c_str());
    }
}

// Numbers with blanks and fractions, a later version's key and another section.
const char *const OddNumbers = "Save=1\nSubDir= 1.5 \nCheckSize=0.5\nFormTop=-30.25\n"
                               "FormWidth=9000.0001\nFormHeight=0.1\nLater=x\n\n[Other]\nKey=1";

TEST_F(SettingsTest, NumbersReadWithBlanksRounded) {
    const WindowSettings s = readStored(OddNumbers);
    EXPECT_EQ(s.subDir, 2) << "half to even";
    EXPECT_EQ(s.checkSize, 0);
    EXPECT_EQ(s.formTop, -30.25);
    EXPECT_EQ(s.formWidth, 9000) << "beyond single precision";
    EXPECT_EQ(s.formHeight, double(0.1f));
    EXPECT_FALSE(s.formLeft.has_value()) << "an absent key is not stored geometry";
}

TEST_F(SettingsTest, AWriteKeepsWhatItDoesNotSet) {
    (void)readStored(OddNumbers);
    SettingsStore store;
    ASSERT_TRUE(WindowSettings{}.write(store));
    EXPECT_EQ(WindowSettings::read(store).formWidth, 9000) << "no geometry: the stored stays";
    ini::Document stored;
    ASSERT_EQ(store.Read("Dirwise", stored).status, SettingsStore::ReadStatus::Ok);
    EXPECT_EQ(stored.value("Settings", "Later"), "x") << "a later version's key";
    EXPECT_EQ(stored.value("Other", "Key"), "1") << "another section";
}

TEST_F(SettingsTest, WrittenValuesReadBackExactly) {
    WindowSettings s = readStored(OddNumbers);
    SettingsStore store;
    s.checkDate = 2;
    // Texts that a careless writer would trim, quote, split or take for Qt's own forms.
    s.masterDir = " /a b;c=d \"e\" \\f ";
    s.compareDir = "@ByteArray(/x)";
    s.extensions = {"txt", "", " x ", "*.gz"};
    s.formLeft = -45;
    s.formTop = 1234.5625; // eight digits of single precision
    s.formWidth = 9000.25;
    s.timeTolerance = 1;
    s.showExtra = 1;
    s.followLinks = 0;
    ASSERT_TRUE(s.write(store));
    EXPECT_EQ(WindowSettings::read(store), s);
}

TEST(IniText, ValuesRoundTripWithQSettings) {
    // Blanks, separators, quotes, escapes, Qt's own prefixes, controls, characters beyond
    // ASCII and a NUL.
    // clang-format off
    const QStringList values = {
        "plain", "", "/a b, c=d", " lead", "trail ", "semi;colon", "quote\"back\\slash", "@at",
        "@ByteArray(x)", "tab\tnew\nline\rbell\a",
        QString::fromUtf8("\xc3\xbcn\xc3\xaf \xe2\x82\xac \xf0\x9f\x98\x80"),
        QString::fromLatin1(QByteArray("nul\0009 esc\x1b\x66", 11))};
    // clang-format on
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

TEST_F(SettingsTest, UsableGeometryIsKeptUnusableGivesAUsableWindowTheRealOneIsStored) {
    const char *const rows[] = {
        "FormLeft=1e30\nFormTop=-1e30",  // far off every screen
        "FormLeft=-150000\nFormTop=300", // wholly left of the screen
        "FormWidth=0\nFormHeight=0",
        "FormWidth=-900\nFormHeight=-5",
        "FormWidth=300\nFormHeight=300",   // below the minimum
        "FormWidth=1e30\nFormHeight=3e38", // beyond the desktop
        "FormLeft=-150000\nFormWidth=1e30",
        "FormLeft=1e9\nFormTop=1e9\nFormWidth=300\nFormHeight=300",     // off-screen and too small
        "FormLeft=1800\nFormTop=2400\nFormHeight=8400\nFormWidth=9600", // usable: kept (the last
                                                                        // row)
    };
    for (const char *geometry : rows) {
        WriteSettings("[Settings]\nSave=1\n" + QString::fromLatin1(geometry) + "\n");
        open();
        const QRect frame = w->frameGeometry();
        if (geometry == std::end(rows)[-1]) {
            EXPECT_EQ(frame, frameOf(1800, 2400, 9600, 8400));
        }
        const QScreen *screen = w->screen();
        EXPECT_TRUE(screen->availableGeometry().intersects(frame)) << geometry;
        // Placed before the window manager's frame is known: its border may overhang.
        if (std::string_view(geometry).starts_with("FormLeft=1e9")) {
            EXPECT_TRUE(screen->availableGeometry().adjusted(-16, -16, 16, 16).contains(frame))
                << geometry << ": grown to the minimum, then moved onto the screen";
        }
        EXPECT_TRUE(screen->availableVirtualGeometry()
                        .size()
                        .expandedTo(w->minimumSizeHint())
                        .boundedTo(frame.size()) == frame.size())
            << geometry << ": not beyond the desktop";
        EXPECT_EQ(w->size().expandedTo(w->minimumSizeHint()), w->size()) << geometry;
        w->close();
        const WindowSettings stored = WindowSettings::read(SettingsStore());
        EXPECT_EQ(frameOf(*stored.formLeft, *stored.formTop, *stored.formWidth, *stored.formHeight),
                  frame)
            << geometry << ": the real geometry is stored";
    }
    // A maximised close keeps the last normal geometry.
    open();
    w->showMaximized();
    (void)QTest::qWaitForWindowExposed(w.get());
    child<QLineEdit>("txtMasterDir")->setText("/after");
    w->close();
    for (const char *line : {"MasterDir=/after\n", "FormWidth=9600\n", "FormLeft=1800\n"})
        EXPECT_TRUE(ReadSettings().contains(QString::fromLatin1(line))) << line;
}
