// The desktop program's start-up, its settings, and the main window's first state, layout
// pass, Begin rule, choosers and closing keys.
#include "AppInfo.h"
#include "AppTestSupport.h"
#include "modCommand.h"

#include <csignal>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class StartupTest : public WindowFixture {
protected:
    // Runs start-up with services that only record what they were asked to do.
    int run(const QString &args) {
        log.clear();
        return modCommand(
            args,
            {[this] { log << "about"; }, [this] { return log << "loop", 0; },
             [this](const QString &title, const QString &text) { log << title + "|" + text; },
             [this](frmDw &created) { created.SetProgramEnd([this] { ++ends; }); }},
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
};

using WindowTest = WindowFixture;

} // namespace

TEST_F(StartupTest, HelpRequestShowsOnlyTheAboutBoxAndOtherStringsStartNormally) {
    EXPECT_EQ(ArgumentString({"dw", "/?", "/?"}), "/? /?");
    // A settings file that would fail the load proves it is never read, nor written.
    const QString bad = "[Settings]\nSave=1\nCheckDate=abc\n";
    WriteSettings(bad);
    EXPECT_EQ(run("/?"), 0);
    EXPECT_EQ(log, QStringList{"about"});
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(ReadSettings(), bad);
    WriteSettings({});
    for (const char *args : {"", "/h", "-?", "/?/?", "/? ", "/? /?"}) {
        EXPECT_EQ(run(QString::fromLatin1(args)), 0) << args;
        EXPECT_EQ(log, QStringList{"loop"}) << args;
        EXPECT_TRUE(w && w->isVisible()) << args;
    }
}

TEST_F(StartupTest, BadStoredValueGoesToTheStartupErrorPath) {
    WriteSettings("[Settings]\nSave=1\nCheckDate=abc\n");
    EXPECT_EQ(run(QString()), 1);
    EXPECT_EQ(w, nullptr) << "the main window never appears";
    ASSERT_EQ(log.size(), 1) << "no event loop either";
    EXPECT_TRUE(log[0].startsWith("Dirwise : Error|Error loading main form: ") &&
                log[0].contains("\"abc\"") && log[0].contains(SettingsFile()))
        << log[0].toStdString();
    // The real failure path shows the critical message through the prompts.
    EXPECT_EQ(StartupErrorPath("boom", DefaultStartupServices()), 1);
    EXPECT_EQ(prompts.said, QStringList{"x Dirwise : Error: Error loading main form: boom"});
}

TEST_F(StartupTest, TerminationSignalsSaveTheSettingsAndEnd) {
    for (int sig : {SIGTERM, SIGHUP}) {
        WriteSettings({});
        ends = 0;
        ASSERT_EQ(run(QString()), 0);
        ::raise(sig);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ends > 0; })) << sig;
        EXPECT_TRUE(ReadSettings().contains("Save=1")) << sig;
        w->close(); // a second route finds the close steps done
        EXPECT_EQ(ends, 1) << sig;
    }
}

TEST_F(SettingsTest, RoundTripOfEveryControlAndUncheckedSaveOnExit) {
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
    // Unchecking "Save on Exit" deletes the file, leaving no empty one behind.
    child<QCheckBox>("chkSave")->click();
    w->close();
    EXPECT_FALSE(QFile::exists(SettingsFile()));
}

TEST_F(SettingsTest, SaveZeroAndASystemWideFileRestoreNothing) {
    const QString stored = "[Settings]\nSave=%1\nMasterDir=/x\nCheckDate=1\n";
    for (bool systemWide : {false, true}) {
        WriteSettings(stored.arg(systemWide ? 1 : 0), systemWide);
        open(false);
        EXPECT_EQ(state(), "1|1|0|0|1|||") << systemWide;
        WriteSettings({}, systemWide);
    }
}

TEST_F(SettingsTest, UnusableValuesAndUnparsableFilesFailTheLoad) {
    // The file after "[Settings]", and what the failure's description must name.
    const std::pair<const char *, const char *> cases[] = {
        {"Save=1\nCheckDate=abc", "\"abc\""},
        {"Save=1\nSubDir=3", "SubDir"},
        {"Save=yes", "Save"},
        {"Save=1\nFormWidth=wide", "FormWidth"},
        {"Save=1\nNoShowMatch=99999", "NoShowMatch"},
        {"Save=1\n[Settings", "cannot be read"},
        {"Save", "cannot be read"}};
    for (const auto &[content, mustName] : cases) {
        WriteSettings("[Settings]\n" + QString::fromLatin1(content) + "\n");
        try {
            open(false);
            ADD_FAILURE() << "loaded: " << content;
        } catch (const LoadError &e) {
            const QString what = QString::fromUtf8(e.what());
            EXPECT_TRUE(what.contains(mustName) && what.contains(SettingsFile())) << e.what();
        }
    }
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
        EXPECT_EQ(w->frameGeometry(), QRect(w->TwipsToPixels(1800), w->TwipsToPixels(2400),
                                            w->TwipsToPixels(9600), w->TwipsToPixels(7200)))
            << "start " << start;
        w->close();
    }
}

TEST_F(WindowTest, FirstStartWithAnEmptyStoreAndTheHelpPage) {
    QTemporaryDir programDir;
    SetProgramFilePathForTests(programDir.filePath("dw"));
    open();
    EXPECT_EQ(props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave", "optEX"}),
              "1|1|0|0|1|1");
    EXPECT_EQ(props("enabled", {"cmdBegin", "cmdSave", "cmdHelp", "mnuHelpContents"}), "0|0|0|0");
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}), "1|0");
    EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir", "optIN", "chkHide", "mnuHelpAbout"}),
              "||Include Extentions >|Don't Show Files that &Match|About Dirwise...");
    EXPECT_EQ(props("toolTip", {"cmdMasterDir", "cmdSave", "cmdBegin", "cmdStop"}),
              "Select Directory|Save Results|Begin Compare|Stop Compare");
    EXPECT_EQ(w->windowTitle(), "Dirwise 7.0.0");
    EXPECT_EQ(QApplication::focusWidget(), child("cmdMasterDir"));
    EXPECT_EQ(w->StatusText(), "Ready");
    EXPECT_EQ(w->Model().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), "Compare Date");

    WriteFile(programDir.filePath("dw.htm").toStdString(), "<html></html>");
    open(false);
    EXPECT_EQ(props("enabled", {"cmdHelp", "mnuHelpContents"}), "1|1");
    SetProgramFilePathForTests(QString());
}

TEST_F(WindowTest, LayoutPassWidensAndShrinks) {
    open(false);
    auto rect = [&](const char *name) { return w->TwipsRectOf(child(name)); };
    // Each control with whether it moves and grows with the window's width.
    const std::tuple<const char *, int, int> anchors[] = {
        {"lvDw", 0, 1},       {"txtMasterDir", 0, 1}, {"txtCompareDir", 0, 1},
        {"picCommand", 0, 1}, {"cmdMasterDir", 1, 0}, {"cmdCompareDir", 1, 0},
        {"chkSave", 1, 0},    {"cmdSave", 1, 0},      {"cmdAbout", 1, 0},
        {"cmdHelp", 1, 0},    {"cmdBegin", 1, 0},     {"cmdStop", 1, 0},
        {"txtEXT0", 0, 0},    {"optEX", 0, 0}};
    w->LayoutPass(8295, 6030);
    std::vector<TwipsRect> before;
    for (const auto &[name, moves, grows] : anchors)
        before.push_back(rect(name));
    w->LayoutPass(8295 + 1500, 6030 + 900);
    for (std::size_t i = 0; i < std::size(anchors); ++i) {
        const auto &[name, moves, grows] = anchors[i];
        EXPECT_EQ(rect(name).left, before[i].left + 1500 * moves) << name;
        EXPECT_EQ(rect(name).width, before[i].width + 1500 * grows) << name;
    }
    EXPECT_EQ(rect("lvDw").top + rect("lvDw").height, 6030 + 900 - 735);
    EXPECT_EQ(rect("picCommand").top, 6030 + 900 - 630);
    EXPECT_EQ(child("lvDw")->width(), w->TwipsToPixels(8295 + 1500 - 840));

    // Shrinking: a width or height that would be negative is skipped, buttons move on.
    w->LayoutPass(8295, 6030);
    w->LayoutPass(1000, 6030); // the list (840) still fits, the boxes (1320) do not
    EXPECT_EQ(rect("lvDw").width, 160);
    EXPECT_EQ(rect("txtMasterDir").width, 6975) << "kept its last valid width";
    w->LayoutPass(500, 3000);
    EXPECT_EQ(rect("lvDw").width, 160);
    EXPECT_EQ(rect("lvDw").height, 2775);
    EXPECT_EQ(rect("picCommand").top, 3000 - 630);
    EXPECT_EQ(rect("cmdBegin").left, 500 - 1275);
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
    step([&] { w->ChooseMasterDirectory(); }); // the compare box still empty
    step([&] { w->ChooseCompareDirectory(); });
    step([&] { size->click(); }); // neither option checked
    step([&] { date->click(); });
    step([&] { date->click(); });
    child("cmdBegin")->setEnabled(true);
    step([&] { w->ChooseMasterDirectory(); }); // a choice never disables Begin
    child<QLineEdit>("txtCompareDir")->setText(" ");
    step([&] { size->click(); }); // a box of blanks counts as filled
    EXPECT_EQ(seen, "0101011");
}

TEST_F(WindowTest, ChoosingDirectoriesThroughButtonsAndPictures) {
    open();
    // Each step: the control clicked, the chooser's answer ("" cancels), both boxes after.
    const std::tuple<const char *, const char *, const char *> steps[] = {
        {"imgMaster", "", "/old|/data/Set"},
        {"cmdMasterDir", "/data/Set", "/old|/data/Set"},      // the other box's: refused
        {"cmdMasterDir", "/data/set", "/data/set|/data/Set"}, // another case: accepted
        {"imgCompare", "/data/set", "/data/set|/data/Set"},
        {"cmdCompareDir", "/mnt/x/", "/data/set|/mnt/x"}, // the trailing separator goes
        {"imgCompare", "/", "/data/set|/"}};              // but the root keeps its own
    child<QLineEdit>("txtMasterDir")->setText("/old");
    child<QLineEdit>("txtCompareDir")->setText("/data/Set");
    for (const auto &[control, answer, boxes] : steps) {
        prompts.answers = {QString::fromLatin1(answer)};
        QTest::mouseClick(child(control), Qt::LeftButton);
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}), QString::fromLatin1(boxes))
            << control << " " << answer;
    }
    EXPECT_EQ(prompts.asked.value(0), "Select Master Directory...|/old");
    EXPECT_EQ(prompts.asked.value(5), "Select Compare Directory...|/mnt/x");
    const QString refused = "! Invalid Path: Cannot specify same directory as %1.";
    EXPECT_EQ(prompts.said,
              (QStringList{refused.arg("compare directory"), refused.arg("master directory")}));
}

TEST_F(WindowTest, EscapeF8AndExitRunTheCloseSteps) {
    for (int route = 0; route < 3; ++route) {
        WriteSettings({});
        ends = 0;
        open();
        if (route == 2)
            child<QAction>("mnuFileExit")->trigger();
        else
            QTest::keyClick(child("lvDw"), route == 0 ? Qt::Key_Escape : Qt::Key_F8);
        EXPECT_EQ(ends, 1) << route;
        EXPECT_FALSE(w->isVisible()) << route;
        EXPECT_TRUE(QFile::exists(SettingsFile())) << route;
    }
}
