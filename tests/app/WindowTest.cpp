// The desktop program's start-up, its settings, and the main window's first state, Begin
// rule, choosers and closing keys.
#include "AppInfo.h"
#include "AppTestSupport.h"
#include "SettingsStore.h"
#include "Startup.h"
#include "WindowHost.h"

#include <csignal>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class StartupTest : public WindowFixture {
protected:
    // Runs start-up with services that only record what they were asked to do.
    int run(const QString &args) {
        log.clear();
        return runStartup(
            args,
            {[this] { log << "about"; }, [this] { return log << "loop", 0; },
             [this](const QString &title, const QString &text) { log << title + "|" + text; },
             [this](MainWindow &created) { created.setProgramEnd([this] { ++ends; }); }},
            &w);
    }
    QStringList log;
};

class SettingsTest : public WindowFixture {
protected:
    QString state() {
        return props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave"}) + "|" +
               props("text", {"txtMasterDir", "txtCompareDir", "txtEXT3"});
    }
    // WindowSettings::read of a settings file holding `content` after "[Settings]".
    static WindowSettings readStored(const QString &content) {
        WriteSettings("[Settings]\n" + content + "\n");
        return WindowSettings::read(SettingsStore());
    }
};

using WindowTest = WindowFixture;

} // namespace

TEST_F(StartupTest, ArgumentsAreJoinedWithSingleBlanks) {
    EXPECT_EQ(joinArguments({"dw", "/?", "/?"}), "/? /?");
}

TEST_F(StartupTest, HelpRequestShowsOnlyTheAboutBox) {
    // A settings file that would fail the load proves it is never read, nor written.
    const QString bad = "[Settings]\nSave=1\nCheckDate=abc\n";
    WriteSettings(bad);
    EXPECT_EQ(run("/?"), 0);
    EXPECT_EQ(log, QStringList{"about"});
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(ReadSettings(), bad);
}

TEST_F(StartupTest, EveryOtherArgumentStringStartsTheWindow) {
    const struct {
        const char *name;
        const char *args;
    } rows[] = {{.name = "none", .args = ""},
                {.name = "another option", .args = "/h"},
                {.name = "a near miss", .args = "-?"},
                {.name = "the request twice, joined", .args = "/?/?"},
                {.name = "a trailing blank", .args = "/? "},
                {.name = "the request twice", .args = "/? /?"}};
    for (const auto &row : rows) {
        EXPECT_EQ(run(QString::fromLatin1(row.args)), 0) << row.name;
        EXPECT_EQ(log, QStringList{"loop"}) << row.name;
        EXPECT_TRUE(w && w->isVisible()) << row.name;
    }
}

TEST_F(StartupTest, BadStoredValueGoesToTheStartupFailure) {
    WriteSettings("[Settings]\nSave=1\nCheckDate=abc\n");
    EXPECT_EQ(run(QString()), 1);
    EXPECT_EQ(w, nullptr) << "the main window never appears";
    ASSERT_EQ(log.size(), 1) << "no event loop either";
    EXPECT_TRUE(log[0].startsWith("Dirwise : Error|Error loading main form: ") &&
                log[0].contains("\"abc\"") && log[0].contains(SettingsFile()))
        << log[0].toStdString();
}

TEST_F(StartupTest, TheRealFailureShowsACriticalMessage) {
    EXPECT_EQ(reportStartupFailure("boom", defaultStartupServices()), 1);
    EXPECT_EQ(prompts.said, QStringList{"x Dirwise : Error: Error loading main form: boom"});
}

TEST_F(StartupTest, TerminationSignalsSaveTheSettingsAndEnd) {
    const struct {
        const char *name;
        int signal;
    } rows[] = {{.name = "SIGTERM", .signal = SIGTERM}, {.name = "SIGHUP", .signal = SIGHUP}};
    for (const auto &row : rows) {
        WriteSettings({});
        ends = 0;
        ASSERT_EQ(run(QString()), 0);
        ::raise(row.signal);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ends > 0; })) << row.name;
        EXPECT_TRUE(ReadSettings().contains("Save=1")) << row.name;
        w->close(); // a second route finds the close steps done
        EXPECT_EQ(ends, 1) << row.name;
    }
}

TEST_F(SettingsTest, EveryControlRoundTrips) {
    open();
    child<QLineEdit>("txtMasterDir")->setText("/data/master dir, x=1");
    child<QLineEdit>("txtCompareDir")->setText("/data/compare");
    for (const char *name : {"chkSubDir", "chkSize", "chkDate", "chkHide"})
        child<QCheckBox>(name)->click();
    child<QLineEdit>("txtEXT3")->setText("e3");
    const QString before = state();
    w->close();
    EXPECT_EQ(ends, 1) << "closing ends the program";
    EXPECT_EQ(ReadSettings().split(QLatin1Char('\n')).filter("=").size(), 15);
    EXPECT_TRUE(ReadSettings().contains("CheckSize=0\n"));

    open(false);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(child("cmdBegin")->isEnabled()) << "both boxes and Date checked";
}

TEST_F(SettingsTest, UncheckedSaveOnExitDeletesTheFile) {
    WriteSettings("[Settings]\nSave=1\nMasterDir=/x\n");
    open(false);
    child<QCheckBox>("chkSave")->click();
    w->close();
    EXPECT_FALSE(QFile::exists(SettingsFile())) << "no empty file left behind either";
}

TEST_F(SettingsTest, SaveZeroRestoresNothing) {
    WriteSettings("[Settings]\nSave=0\nMasterDir=/x\nCheckDate=1\n");
    open(false);
    EXPECT_EQ(state(), "1|1|0|0|1|||");
}

TEST_F(SettingsTest, ASystemWideFileIsIgnored) {
    WriteSettings("[Settings]\nSave=1\nMasterDir=/x\nCheckDate=1\n", true);
    open(false);
    EXPECT_EQ(state(), "1|1|0|0|1|||");
}

TEST_F(SettingsTest, SaveZeroReadsNoOtherKey) {
    EXPECT_EQ(readStored("Save=0\nCheckDate=abc\nFormWidth=wide"), WindowSettings{});
}

TEST_F(SettingsTest, NumbersAreReadWithBlanksAndRoundedHalfToEven) {
    const WindowSettings s = readStored("Save=1\nSubDir= 1.5 \nCheckSize=0.5\nFormTop=-30.25");
    EXPECT_EQ(s.subDir, 2);
    EXPECT_EQ(s.checkSize, 0);
    EXPECT_EQ(s.formTop, -30.25);
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
        {.name = "a line without =", .content = "Save", .mustName = "cannot be read"}};
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
    SettingsStore store;
    ASSERT_TRUE(s.write(store));
    EXPECT_EQ(WindowSettings::read(store), s);
}

TEST_F(SettingsTest, SettingsWithoutGeometryKeepTheStoredGeometry) {
    WriteSettings("[Settings]\nSave=1\nFormWidth=9000\n");
    SettingsStore store;
    ASSERT_TRUE(WindowSettings{}.write(store));
    EXPECT_EQ(WindowSettings::read(store).formWidth, 9000);
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

TEST_F(WindowTest, FirstStartWithAnEmptyStore) {
    open();
    EXPECT_EQ(props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave", "optEX"}),
              "1|1|0|0|1|1");
    EXPECT_EQ(props("enabled", {"cmdBegin", "cmdSave"}), "0|0");
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}), "1|0");
    EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir", "optIN", "chkHide", "mnuHelpAbout"}),
              "||Include Extentions >|Don't Show Files that &Match|About Dirwise...");
    EXPECT_EQ(props("toolTip", {"cmdMasterDir", "cmdSave", "cmdBegin", "cmdStop"}),
              "Select Directory|Save Results|Begin Compare|Stop Compare");
    EXPECT_EQ(w->windowTitle(), "Dirwise 7.0.0");
    EXPECT_EQ(QApplication::focusWidget(), child("cmdMasterDir"));
    EXPECT_EQ(w->statusText(), "Ready");
    EXPECT_EQ(w->model().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), "Compare Date");
}

TEST_F(WindowTest, HelpControlsAreDisabledWithoutTheHelpPage) {
    QTemporaryDir programDir;
    SetProgramFilePathForTests(programDir.filePath("dw"));
    open(false);
    EXPECT_EQ(props("enabled", {"cmdHelp", "mnuHelpContents"}), "0|0");
    SetProgramFilePathForTests(QString());
}

TEST_F(WindowTest, HelpControlsAreEnabledWithTheHelpPage) {
    QTemporaryDir programDir;
    SetProgramFilePathForTests(programDir.filePath("dw"));
    WriteFile(programDir.filePath("dw.htm").toStdString(), "<html></html>");
    open(false);
    EXPECT_EQ(props("enabled", {"cmdHelp", "mnuHelpContents"}), "1|1");
    SetProgramFilePathForTests(QString());
}

TEST_F(WindowTest, BeginRuleFollowsChoicesAndMatchOptionClicks) {
    open(false);
    auto *size = child<QCheckBox>("chkSize");
    auto *date = child<QCheckBox>("chkDate");
    QString seen; // Begin's state after each step
    auto step = [&](const std::function<void()> &act) {
        act();
        seen += child("cmdBegin")->isEnabled() ? u'1' : u'0';
    };
    prompts.answers = {"/m", "/c", "/m2"};
    step([&] { w->chooseMasterDirectory(); }); // the compare box still empty
    step([&] { w->chooseCompareDirectory(); });
    step([&] { size->click(); }); // neither option checked
    step([&] { date->click(); });
    step([&] { date->click(); });
    child("cmdBegin")->setEnabled(true);
    step([&] { w->chooseMasterDirectory(); }); // a choice never disables Begin
    child<QLineEdit>("txtCompareDir")->setText(" ");
    step([&] { size->click(); }); // a box of blanks counts as filled
    EXPECT_EQ(seen, "0101011");
}

TEST_F(WindowTest, AGrayedMatchOptionDoesNotEnableBegin) {
    WriteSettings("[Settings]\nSave=1\nMasterDir=/m\nCompareDir=/c\nCheckSize=2\nCheckDate=0\n");
    open(false);
    EXPECT_FALSE(child("cmdBegin")->isEnabled());
}

TEST_F(WindowTest, ChoosingDirectoriesThroughButtonsAndPictures) {
    open();
    // Steps in order, each starting from the boxes the step before left.
    const struct {
        const char *control; // clicked
        const char *answer;  // the chooser's ("" cancels)
        const char *boxes;   // both boxes after the step
        const char *shows;
    } steps[] = {{.control = "imgMaster",
                  .answer = "",
                  .boxes = "/old|/data/Set",
                  .shows = "a cancel changes nothing"},
                 {.control = "cmdMasterDir",
                  .answer = "/data/Set",
                  .boxes = "/old|/data/Set",
                  .shows = "the other box's directory is refused"},
                 {.control = "cmdMasterDir",
                  .answer = "/data/set",
                  .boxes = "/data/set|/data/Set",
                  .shows = "another case is another directory"},
                 {.control = "imgCompare",
                  .answer = "/data/set",
                  .boxes = "/data/set|/data/Set",
                  .shows = "the compare side refuses the master's"},
                 {.control = "cmdCompareDir",
                  .answer = "/mnt/x/",
                  .boxes = "/data/set|/mnt/x",
                  .shows = "the trailing separator goes"},
                 {.control = "imgCompare",
                  .answer = "/",
                  .boxes = "/data/set|/",
                  .shows = "the root keeps its own"}};
    child<QLineEdit>("txtMasterDir")->setText("/old");
    child<QLineEdit>("txtCompareDir")->setText("/data/Set");
    for (const auto &step : steps) {
        prompts.answers = {QString::fromLatin1(step.answer)};
        QTest::mouseClick(child(step.control), Qt::LeftButton);
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}), QString::fromLatin1(step.boxes))
            << step.shows;
    }
    EXPECT_EQ(prompts.asked.value(0), "Select Master Directory...|/old");
    EXPECT_EQ(prompts.asked.value(5), "Select Compare Directory...|/mnt/x");
    const QString refused = "! Invalid Path: Cannot specify same directory as %1.";
    EXPECT_EQ(prompts.said,
              (QStringList{refused.arg("compare directory"), refused.arg("master directory")}));
}

TEST_F(WindowTest, EscapeF8AndExitRunTheCloseSteps) {
    const struct {
        const char *name;
        Qt::Key key; // Qt::Key_unknown: File > Exit
    } routes[] = {{.name = "Escape", .key = Qt::Key_Escape},
                  {.name = "F8", .key = Qt::Key_F8},
                  {.name = "File > Exit", .key = Qt::Key_unknown}};
    for (const auto &route : routes) {
        WriteSettings({});
        ends = 0;
        open();
        if (route.key == Qt::Key_unknown)
            child<QAction>("mnuFileExit")->trigger();
        else
            QTest::keyClick(child("lvDw"), route.key);
        EXPECT_EQ(ends, 1) << route.name;
        EXPECT_FALSE(w->isVisible()) << route.name;
        EXPECT_TRUE(QFile::exists(SettingsFile())) << route.name;
    }
}

TEST_F(WindowTest, AnAccessKeySharedByTwoControlsMovesTheFocusBetweenThem) {
    WriteSettings("[Settings]\nSave=1\nMasterDir=/m\nCompareDir=/c\n");
    open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    // Alt+B is "Include Su&bdirectories" and "&Begin": each press moves the focus on and
    // acts on neither.
    QStringList focused;
    for (int press = 0; press < 3; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_B, Qt::AltModifier);
        focused << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(focused, (QStringList{"chkSubDir", "cmdBegin", "chkSubDir"}));
    EXPECT_TRUE(child<QCheckBox>("chkSubDir")->isChecked());
    EXPECT_EQ(w->host().yields(), 0) << "no run began";
}
