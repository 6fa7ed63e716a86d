// The desktop program's start-up, its settings, and the main window's first state, Begin
// rule, choosers and closing keys.
#include "AppInfo.h"
#include "AppTestSupport.h"
#include "ProductInfo.h"
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
    int run(const QStringList &args) {
        log.clear();
        return runStartup(
            args,
            {[this] { log << "about"; }, [this] { return log << "loop", 0; },
             [this](const QString &title, const QString &text) { log << title + "|" + text; },
             [this](MainWindow &created) { created.setProgramEnd([this] { ++ends; }); },
             [this](const QString &text) { log << "stderr|" + text; }},
            &w);
    }
    QStringList log;
};

using WindowTest = WindowFixture;

} // namespace

TEST(CommandLine, InformationOptionsAnswerWithoutADisplay) {
    const std::string usage = "Usage: dw [MASTER [COMPARE]]\n";
    const struct {
        const char *option;
        int status;
        const char *out; // what standard output starts with
        const char *err; // what standard error starts with
    } rows[] = {
        {.option = "--help", .status = 0, .out = usage.c_str(), .err = ""},
        {.option = "--version", .status = 0, .out = "dw 7.0.0\n", .err = ""},
        {.option = "--hlep", .status = 2, .out = "", .err = "dw: unknown option \"--hlep\"\n"},
    };
    for (const auto &row : rows) {
        // No display to connect to: the answer must come before Qt looks for one.
        const ProcessResult r = RunProcess({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                            "QT_QPA_PLATFORM=xcb", DW_PATH, "/tmp", row.option},
                                           20);
        EXPECT_EQ(r.status, row.status) << row.option << ": " << r.err;
        EXPECT_TRUE(r.out.starts_with(row.out)) << row.option << ": " << r.out;
        EXPECT_TRUE(r.err.starts_with(row.err)) << row.option << ": " << r.err;
        EXPECT_EQ(r.status == 2, r.err.find(usage) != std::string::npos) << row.option;
    }
}

TEST_F(StartupTest, HelpRequestShowsOnlyTheAboutBox) {
    // A settings file that would fail the load proves it is never read, nor written.
    const QString bad = "[Settings]\nSave=1\nCheckDate=abc\n";
    WriteSettings(bad);
    EXPECT_EQ(run({"/?"}), 0);
    EXPECT_EQ(log, QStringList{"about"});
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(ReadSettings(), bad);
}

TEST_F(StartupTest, EveryOtherCommandLineStartsTheWindow) {
    const struct {
        const char *name;
        QStringList args;
    } rows[] = {{.name = "none", .args = {}},
                {.name = "a near miss", .args = {"-?"}},
                {.name = "the request with a trailing blank", .args = {"/? "}},
                {.name = "the request and a directory", .args = {"/?", "/x"}}};
    for (const auto &row : rows) {
        EXPECT_EQ(run(row.args), 0) << row.name;
        EXPECT_EQ(log, QStringList{"loop"}) << row.name;
        EXPECT_TRUE(w && w->isVisible()) << row.name;
    }
}

TEST_F(StartupTest, AThirdDirectoryPrintsTheUsage) {
    EXPECT_EQ(run({"/a", "/b", "/c"}), 2);
    ASSERT_EQ(log.size(), 1) << "neither window nor event loop";
    EXPECT_TRUE(log[0].startsWith("stderr|dw: too many arguments\nUsage: dw [MASTER [COMPARE]]"))
        << log[0].toStdString();
}

TEST_F(StartupTest, CommandLineDirectoriesFillTheBoxesAsAChooserWould) {
    const QString here = QDir::currentPath();
    const QString refused = "! Invalid Path: Cannot specify same directory as %1 directory.";
    const struct {
        const char *name;
        QStringList args;
        const char *boxes; // both boxes afterwards; the settings held /m and /c
        QString said;
    } rows[] = {
        {.name = "a pair, missing directories shown as given",
         .args = {"/no/such/", "/x/../y"},
         .boxes = "/no/such|/y",
         .said = {}},
        {.name = "MASTER alone, relative", .args = {"rel"}, .boxes = "@/rel|/c", .said = {}},
        {.name = "the stored pair swapped", .args = {"/c", "/m"}, .boxes = "/c|/m", .said = {}},
        {.name = "MASTER equal to the stored COMPARE",
         .args = {"/c"},
         .boxes = "/m|/c",
         .said = refused.arg("compare")},
        {.name = "the same directory twice",
         .args = {"/d", "/d/"},
         .boxes = "/m|/d",
         .said = refused.arg("compare")},
    };
    for (const auto &row : rows) {
        WriteSettings("[Settings]\nSave=1\nMasterDir=/m\nCompareDir=/c\n");
        prompts.said.clear();
        ASSERT_EQ(run(row.args), 0) << row.name;
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}),
                  QString::fromLatin1(row.boxes).replace("@", here))
            << row.name;
        EXPECT_EQ(prompts.said.join('#'), row.said) << row.name;
        EXPECT_TRUE(child("cmdBegin")->isEnabled()) << row.name;
        EXPECT_EQ(w->host().yields(), 0) << row.name << ": no run starts";
    }
}

TEST_F(StartupTest, BadStoredValueGoesToTheStartupFailure) {
    WriteSettings("[Settings]\nSave=1\nCheckDate=abc\n");
    EXPECT_EQ(run({}), 1);
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
        ASSERT_EQ(run({}), 0);
        ::raise(row.signal);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ends > 0; })) << row.name;
        EXPECT_TRUE(ReadSettings().contains("Save=1")) << row.name;
        w->close(); // a second route finds the close steps done
        EXPECT_EQ(ends, 1) << row.name;
    }
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

TEST_F(WindowTest, HelpControlsFollowTheHelpPageBesideTheProgram) {
    for (const bool page : {false, true}) {
        QTemporaryDir programDir;
        SetProgramFilePathForTests(programDir.filePath("dw"));
        if (page)
            WriteFile(programDir.filePath("dw.htm").toStdString(), "<html></html>");
        open(false);
        EXPECT_EQ(props("enabled", {"cmdHelp", "mnuHelpContents"}), page ? "1|1" : "0|0");
        SetProgramFilePathForTests(QString());
    }
}

TEST(AppInfo, HelpOnTheWebFindsThePageBesideTheProgramUnlessAnAddressIsBuiltIn) {
    if (productinfo::homePage[0] != '\0')
        GTEST_SKIP() << "this build has the home page " << productinfo::homePage;
    SetProgramFilePathForTests("/opt/dir wise/dw");
    EXPECT_EQ(HomePageAddress(), "file:///opt/dir%20wise/dw.htm");
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
    EXPECT_FALSE(child("cmdBegin")->isEnabled()) << "after the load";
    prompts.answers = {"/m2"};
    w->chooseMasterDirectory();
    EXPECT_FALSE(child("cmdBegin")->isEnabled()) << "after a choice";
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

TEST_F(WindowTest, EscapeF8CtrlQAndExitRunTheCloseSteps) {
    const struct {
        const char *name;
        Qt::Key key; // Qt::Key_unknown: File > Exit
        Qt::KeyboardModifiers modifiers;
    } routes[] = {{.name = "Escape", .key = Qt::Key_Escape, .modifiers = Qt::NoModifier},
                  {.name = "F8", .key = Qt::Key_F8, .modifiers = Qt::NoModifier},
                  {.name = "Ctrl+Q", .key = Qt::Key_Q, .modifiers = Qt::ControlModifier},
                  {.name = "File > Exit", .key = Qt::Key_unknown, .modifiers = Qt::NoModifier}};
    for (const auto &route : routes) {
        WriteSettings({});
        ends = 0;
        open();
        if (route.key == Qt::Key_unknown)
            child<QAction>("mnuFileExit")->trigger();
        else
            QTest::keyClick(child("lvDw"), route.key, route.modifiers);
        EXPECT_EQ(ends, 1) << route.name;
        EXPECT_FALSE(w->isVisible()) << route.name;
        EXPECT_TRUE(QFile::exists(SettingsFile())) << route.name;
    }
}

TEST_F(WindowTest, EscapeOnAnActiveMenuBarOnlyLeavesIt) {
    open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    // As after tapping Alt, or after Esc closed a menu: the menu bar has the keyboard.
    w->menuBar()->setFocus(Qt::MenuBarFocusReason);
    QTest::keyClick(w->menuBar(), Qt::Key_Escape);
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(WindowTest, EnterPressesTheFocusedButton) {
    WriteSettings("[Settings]\nSave=1\nMasterDir=/m\nCompareDir=/c\n");
    const struct {
        const char *button;
        const char *shows; // the first question or message it brings
    } rows[] = {{.button = "cmdMasterDir", .shows = "Select Master Directory...|/m"},
                {.button = "cmdBegin", .shows = "! Invalid Path: Master directory not found: /m"}};
    for (const auto &row : rows) {
        open();
        prompts.asked.clear();
        prompts.said.clear();
        child(row.button)->setFocus();
        QTest::keyClick(child(row.button), Qt::Key_Return);
        EXPECT_EQ((prompts.asked + prompts.said).join('#'), row.shows) << row.button;
    }
}

TEST_F(WindowTest, DroppedFoldersAreChosen) {
    tree.dir("a");
    tree.dir("b");
    tree.file("f.txt");
    const QString a = QString::fromStdString(tree.path("a")),
                  b = QString::fromStdString(tree.path("b")),
                  file = QString::fromStdString(tree.path("f.txt"));
    const struct {
        const char *name;
        const char *target; // where it is dropped ("" for the window)
        QStringList dropped;
        bool accepted;
        QString boxes; // afterwards; they held /m and b
        QString said;
    } rows[] = {
        {.name = "a folder on the master box",
         .target = "txtMasterDir",
         .dropped = {a + "/"},
         .accepted = true,
         .boxes = a + "|" + b,
         .said = {}},
        {.name = "a folder on the compare picture",
         .target = "imgCompare",
         .dropped = {a},
         .accepted = true,
         .boxes = "/m|" + a,
         .said = {}},
        {.name = "two folders on the window",
         .target = "",
         .dropped = {a, b},
         .accepted = true,
         .boxes = a + "|" + b,
         .said = {}},
        {.name = "two folders on an extension box",
         .target = "txtEXT0",
         .dropped = {b, a},
         .accepted = true,
         .boxes = b + "|" + a,
         .said = {}},
        {.name = "one folder on the window",
         .target = "",
         .dropped = {a},
         .accepted = false,
         .boxes = "/m|" + b,
         .said = {}},
        {.name = "a file on a box",
         .target = "txtCompareDir",
         .dropped = {file},
         .accepted = false,
         .boxes = "/m|" + b,
         .said = {}},
        {.name = "the other box's folder",
         .target = "imgMaster",
         .dropped = {b},
         .accepted = true,
         .boxes = "/m|" + b,
         .said = "! Invalid Path: Cannot specify same directory as compare directory."},
    };
    for (const auto &row : rows) {
        WriteSettings("[Settings]\nSave=1\nMasterDir=/m\nCompareDir=" + b + "\n");
        open();
        prompts.said.clear();
        QWidget *target = *row.target ? child(row.target) : w.get();
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : row.dropped)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        data.setText(row.dropped.join('\n')); // as file managers offer them
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_EQ(enter.isAccepted(), row.accepted) << row.name;
        if (enter.isAccepted()) {
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
            QCoreApplication::processEvents(); // the drop is taken once it is over
        }
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}), row.boxes) << row.name;
        EXPECT_EQ(prompts.said.join('#'), row.said) << row.name;
        EXPECT_EQ(props("text", {"txtEXT0"}), "") << row.name << ": no text dropped in";
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
