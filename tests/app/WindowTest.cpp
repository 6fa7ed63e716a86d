// The desktop program's start-up and the main window's first state, Begin rule, choosers,
// drops and keys.
#include "AppInfo.h"
#include "AppTestSupport.h"
#include "ProductInfo.h"
#include "Startup.h"

#include <csignal>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class StartupTest : public WindowFixture {
protected:
    // Runs start-up with services that only record what they were asked to do; a window it
    // makes lands in `w`.
    int run(const QStringList &args) {
        log.clear();
        tester.reset();
        w.reset();
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

const QString kStored = "[Settings]\nSave=1\nMasterDir=/m\nCompareDir=/c\n";

} // namespace

TEST(CommandLine, InformationOptionsAnswerWithoutADisplay) {
    const std::string usage = "Usage: dw [MASTER [COMPARE]]\n";
    const std::string noDisplay = "dw: no display to show the window on (neither DISPLAY nor "
                                  "WAYLAND_DISPLAY is set); dwc compares without one\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // how standard output starts
        std::string err; // how standard error starts
        bool exact;      // standard error is all of `err`
    } rows[] = {
        {.args = {"/tmp", "--help"}, .status = 0, .out = usage, .err = "", .exact = true},
        {.args = {"-h"}, .status = 0, .out = usage, .err = "", .exact = true},
        {.args = {"--version"}, .status = 0, .out = "dw 7.0.0\n", .err = "", .exact = true},
        {.args = {"--hlep"},
         .status = 2,
         .out = "",
         .err = "dw: unknown option \"--hlep\"\n",
         .exact = false},
        // An escape sequence in an option is shown, never sent to the terminal.
        {.args = {"--\x1b]0;x\x07\xff"},
         .status = 2,
         .out = "",
         .err = "dw: unknown option \"--\\x1b]0;x\\x07\\xff\"\n",
         .exact = false},
        // Past "--" nothing is an option, not even Qt's: the window is tried, and no display
        // gives one line, not an abort.
        {.args = {"--", "-h", "--platform"},
         .status = 1,
         .out = "",
         .err = noDisplay,
         .exact = true},
        {.args = {}, .status = 1, .out = "", .err = noDisplay, .exact = true},
    };
    for (const auto &row : rows) {
        std::vector<std::string> argv = {
            "env",      "-u",   "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb",
            "LC_ALL=C", DW_PATH};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        const ProcessResult r = RunProcess(argv, 20);
        const std::string name = row.args.empty() ? "(none)" : row.args[0];
        EXPECT_EQ(r.status, row.status) << name << ": " << r.err;
        EXPECT_TRUE(r.out.starts_with(row.out)) << name << ": " << r.out;
        EXPECT_TRUE(row.exact ? r.err == row.err : r.err.starts_with(row.err))
            << name << ": " << r.err;
        EXPECT_EQ(r.status == 2, r.err.find(usage) != std::string::npos) << name;
    }
}

TEST_F(StartupTest, TheCommandLineDecidesHowDwStarts) {
    // A stored value that fails the load shows where the settings are read; they are never
    // written, as no window closes.
    const QString bad = "[Settings]\nSave=1\nCheckDate=abc\n";
    const struct {
        QStringList args;
        QString stored;
        int status;
        QString log; // the one entry, or how it starts
        bool window;
    } rows[] = {
        {{"/?"}, bad, 0, "about", false},
        {{}, "", 0, "loop", true},
        {{"-?"}, "", 0, "loop", true},
        {{"/? "}, "", 0, "loop", true},
        {{"/?", "/x"}, "", 0, "loop", true},
        {{"/a", "/b", "/c"}, "", 2, "stderr|dw: too many arguments\nUsage: dw [MASTER", false},
        {{}, bad, 1, "Dirwise : Error|Error loading main form: ", false},
    };
    for (const auto &row : rows) {
        const QString name = row.args.join(' ') + " " + row.stored;
        WriteSettings(row.stored);
        EXPECT_EQ(run(row.args), row.status) << name;
        // Too many arguments are also said in a message box.
        ASSERT_EQ(log.size(), row.args.size() > 2 ? 2 : 1) << name << log.join('#');
        EXPECT_TRUE(log[0].startsWith(row.log)) << name << log[0];
        EXPECT_EQ(w != nullptr, row.window) << name;
        EXPECT_TRUE(!w || w->isVisible()) << name;
        EXPECT_EQ(ReadSettings(), row.stored) << name;
    }
    EXPECT_TRUE(log[0].contains("\"abc\"") && log[0].contains(SettingsFile())) << log[0];
    run({"/a", "/b", "/c"});
    EXPECT_EQ(log.value(1), "Dirwise : Error|Dirwise compares two folders at a time and was "
                            "given 3. Give it one or two: the master folder, then the compare "
                            "folder.");
}

TEST_F(StartupTest, TheRealFailureShowsACriticalMessage) {
    EXPECT_EQ(reportStartupFailure("boom", defaultStartupServices()), 1);
    EXPECT_EQ(prompts.said, QStringList{"x Dirwise : Error: Error loading main form: boom"});
}

TEST_F(StartupTest, CommandLineDirectoriesFillTheBoxesAsAChooserWould) {
    const QString refused = "! Invalid Path: Cannot specify same directory as compare directory.";
    // The boxes afterwards ("@": the working directory); the settings held /m and /c.
    const struct {
        QStringList args;
        QString boxes, said;
    } rows[] = {
        {{"/no/such/", "/x/../y"}, "/no/such|/y", ""}, // missing directories shown as given
        {{"rel"}, "@/rel|/c", ""},
        {{"/c", "/m"}, "/c|/m", ""},
        {{"/c"}, "/m|/c", refused}, // MASTER equal to the stored COMPARE
        {{"/d", "/d/"}, "/m|/d", refused},
    };
    for (const auto &row : rows) {
        WriteSettings(kStored);
        prompts.said.clear();
        ASSERT_EQ(run(row.args), 0) << row.args.join(' ');
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}),
                  QString(row.boxes).replace("@", QDir::currentPath()));
        EXPECT_EQ(prompts.said.join('#'), row.said) << row.args.join(' ');
        EXPECT_TRUE(child("cmdBegin")->isEnabled()) << row.args.join(' ');
        EXPECT_EQ(w->host().yields(), 0) << row.args.join(' ') << ": no run starts";
    }
}

TEST_F(WindowTest, StoresThatSaveNothingOpenAsAFirstStart) {
    // Save=0 reads no other key: the values that would fail the load are never read.
    const QString unsaved = "[Settings]\nSave=0\nMasterDir=/x\nCheckDate=abc\nFormWidth=wide\n";
    const QString systemWide = "[Settings]\nSave=1\nMasterDir=/x\nCheckDate=1\nVerifyContents=1\n";
    for (const QString &stored : {QString(), unsaved, systemWide}) {
        WriteSettings(stored == systemWide ? QString() : stored);
        WriteSettings(stored == systemWide ? stored : QString(), true);
        open();
        EXPECT_EQ(state(), "1|1|0|0|1||||1|0|0|0|0|0|1") << stored;
        EXPECT_EQ(props("checked", {"optEX"}) + props("enabled", {"cmdBegin", "cmdSave"}), "10|0");
        EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}), "1|0");
        EXPECT_EQ(QApplication::focusWidget(), child("cmdMasterDir"));
        EXPECT_EQ(w->statusText(), "Ready");
    }
}

TEST_F(WindowTest, HelpControlsFollowTheHelpPageBesideTheProgram) {
    for (const bool page : {false, true}) {
        QTemporaryDir programDir;
        SetProgramFilePathForTests(programDir.filePath("dw"));
        if (page)
            WriteFile(programDir.filePath("dw.htm").toStdString(), "<html></html>");
        open(false);
        EXPECT_EQ(props("enabled", {"cmdHelp", "mnuHelpContents"}), page ? "1|1" : "0|0");
    }
    SetProgramFilePathForTests("/opt/dir wise/dw");
    if (productinfo::homePage[0] == '\0') { // else the build's own address
        EXPECT_EQ(HomePageAddress(), "file:///opt/dir%20wise/dw.htm");
    }
    SetProgramFilePathForTests(QString());
}

// Without xdg-open on the PATH nothing can show the page: Help says so and names the page.
TEST_F(WindowTest, HelpWithNothingToShowThePageSaysWhere) {
    QTemporaryDir programDir, emptyPath;
    SetProgramFilePathForTests(programDir.filePath("dw"));
    WriteFile(programDir.filePath("dw.htm").toStdString(), "<html></html>");
    open(false);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", emptyPath.path().toUtf8());
    child<QPushButton>("cmdHelp")->click();
    qputenv("PATH", path);
    SetProgramFilePathForTests(QString());
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].startsWith("! Help: No program was found")) << prompts.said[0];
    EXPECT_TRUE(prompts.said[0].contains(programDir.filePath("dw.htm"))) << prompts.said[0];
}

TEST_F(WindowTest, BeginFollowsTheChoices) {
    open(false);
    auto *size = child<QCheckBox>("chkSize");
    auto *date = child<QCheckBox>("chkDate");
    QString seen; // Begin's state after each step
    auto step = [&](const std::function<void()> &act) {
        act();
        seen += child("cmdBegin")->isEnabled() ? u'1' : u'0';
    };
    prompts.answers = {"/m", "/c", "/m2", "/m3"};
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

TEST_F(WindowTest, AGrayedMatchBoxKeepsBeginDisabled) {
    WriteSettings(kStored + "CheckSize=2\nCheckDate=0\n");
    open(false);
    EXPECT_FALSE(child("cmdBegin")->isEnabled()) << "a grayed Match box, after the load";
    w->chooseMasterDirectory();
    EXPECT_FALSE(child("cmdBegin")->isEnabled()) << "a grayed Match box, after a choice";
}

TEST_F(WindowTest, DirectoriesAreChosenThroughEveryControl) {
    open();
    // Steps in order, each from the boxes the step before left: the control clicked, the
    // chooser's answer ("" cancels), both boxes afterwards.
    const struct {
        const char *control, *answer, *boxes, *shows;
    } steps[] = {
        {"imgMaster", "", "/old|/data/Set", "a cancel changes nothing"},
        {"cmdMasterDir", "/data/Set", "/old|/data/Set", "the other box's directory is refused"},
        {"cmdMasterDir", "/data/set", "/data/set|/data/Set", "another case is another directory"},
        {"imgCompare", "/data/set", "/data/set|/data/Set", "the compare side refuses the master's"},
        {"cmdCompareDir", "/mnt/x/", "/data/set|/mnt/x", "the trailing separator goes"},
        {"imgCompare", "/", "/data/set|/", "the root keeps its own"},
    };
    child<QLineEdit>("txtMasterDir")->setText("/old");
    child<QLineEdit>("txtCompareDir")->setText("/data/Set");
    for (const auto &step : steps) {
        prompts.answers = {QString::fromLatin1(step.answer)};
        QTest::mouseClick(child(step.control), Qt::LeftButton);
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}), step.boxes) << step.shows;
    }
    EXPECT_EQ(prompts.asked.value(0), "Select Master Directory...|/old");
    EXPECT_EQ(prompts.asked.value(5), "Select Compare Directory...|/mnt/x");
    const QString refused = "! Invalid Path: Cannot specify same directory as %1.";
    EXPECT_EQ(prompts.said,
              (QStringList{refused.arg("compare directory"), refused.arg("master directory")}));
    // Enter presses the focused button.
    for (const char *button : {"cmdCompareDir", "cmdBegin"}) {
        child(button)->setFocus();
        QTest::keyClick(child(button), Qt::Key_Return);
    }
    EXPECT_EQ(prompts.asked.last(), "Select Compare Directory...|/");
    EXPECT_EQ(prompts.said.last(), "! Invalid Path: Master directory not found: /data/set");
}

TEST_F(WindowTest, DroppedRootsAreChosen) {
    tree.dir("a");
    tree.dir("b");
    tree.file("f.txt");
    WriteFile(tree.path("s.mtree"), "#mtree\n. type=dir\n");
    const QString a = QString::fromStdString(tree.path("a")),
                  b = QString::fromStdString(tree.path("b")),
                  file = QString::fromStdString(tree.path("f.txt")),
                  snap = QString::fromStdString(tree.path("s.mtree")), before = "/m|" + b;
    // Where it is dropped ("" for the window), what, the boxes afterwards (they held /m and
    // b), and how the message said begins, if one is said. A drag is refused exactly when
    // it leaves the boxes so without a word.
    const struct {
        const char *on;
        QStringList drop;
        QString boxes, says;
    } rows[] = {
        {.on = "txtMasterDir", .drop = {a + "/"}, .boxes = a + "|" + b, .says = {}},
        {.on = "imgCompare", .drop = {a}, .boxes = "/m|" + a, .says = {}},
        {.on = "", .drop = {a, b}, .boxes = a + "|" + b, .says = {}},
        {.on = "txtEXT0", .drop = {b, a}, .boxes = b + "|" + a, .says = {}}, // the window's
        {.on = "", .drop = {a}, .boxes = before, .says = {}},
        {.on = "txtCompareDir", .drop = {snap}, .boxes = "/m|" + snap, .says = {}},
        {.on = "imgMaster", .drop = {snap}, .boxes = snap + "|" + b, .says = {}},
        {.on = "", .drop = {snap, a}, .boxes = snap + "|" + a, .says = {}},
        // A file that is no snapshot: on a box refused in the words a typed one gets; in a
        // pair refused outright.
        {.on = "txtCompareDir",
         .drop = {file},
         .boxes = before,
         .says = "! Invalid Path: Compare directory is neither a folder nor a snapshot: " + file},
        {.on = "", .drop = {a, file}, .boxes = before, .says = {}},
        {.on = "txtMasterDir", .drop = {a, b, a}, .boxes = before, .says = "! Too Many Folders: 3"},
    };
    for (const auto &row : rows) {
        const QString name = row.on + QStringLiteral(" ") + row.drop.join(' ');
        WriteSettings("[Settings]\nSave=1\nMasterDir=/m\nCompareDir=" + b + "\n");
        open();
        QWidget *on = *row.on ? child(row.on) : w.get();
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : row.drop)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        data.setText(row.drop.join('\n')); // as file managers offer them
        const QPoint at = on->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        EXPECT_EQ(enter.isAccepted(), row.boxes != before || !row.says.isEmpty()) << name;
        prompts.said.clear();
        if (enter.isAccepted()) {
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(on, &drop);
            QCoreApplication::processEvents(); // the drop is taken once it is over
        }
        EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir", "txtEXT0"}), row.boxes + "|")
            << name << ": no text dropped in";
        EXPECT_EQ(prompts.said.size(), row.says.isEmpty() ? 0 : 1) << name;
        EXPECT_TRUE(prompts.said.value(0).startsWith(row.says)) << name << prompts.said.join('#');
    }
}

// A dropped file the user may not read is refused with its reason, not called no snapshot.
TEST_F(WindowTest, ADroppedFileThatCannotBeReadSaysWhy) {
    ASSERT_EQ(::chmod(tree.root().c_str(), 0755), 0);
    WriteFile(tree.path("locked.mtree"), "#mtree\n. type=dir\n");
    ASSERT_EQ(::chmod(tree.path("locked.mtree").c_str(), 0), 0);
    open();
    QWidget *box = child("txtMasterDir");
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild())
            return 77;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(tree.path("locked.mtree")))});
        const QPoint at = box->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &drop);
        QCoreApplication::processEvents();
        out = prompts.said.join(u'#').toStdString();
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "! Invalid Path: Master directory cannot be read: " +
                         tree.path("locked.mtree") + ": Permission denied");
}

TEST_F(StartupTest, EveryCloseRouteEndsWithTheSettingsSaved) {
    // A key on the list, File > Exit (Qt::Key_unknown) or a termination signal.
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> routes[] = {
        {Qt::Key_Escape, Qt::NoModifier, 0}, {Qt::Key_F8, Qt::NoModifier, 0},
        {Qt::Key_Q, Qt::ControlModifier, 0}, {Qt::Key_unknown, Qt::NoModifier, 0},
        {Qt::Key_unknown, {}, SIGTERM},      {Qt::Key_unknown, {}, SIGHUP},
    };
    for (const auto &[key, modifiers, signal] : routes) {
        WriteSettings({});
        ends = 0;
        ASSERT_EQ(run({}), 0);
        (void)QTest::qWaitForWindowActive(w.get());
        if (signal != 0)
            ::raise(signal);
        else if (key == Qt::Key_unknown)
            child<QAction>("mnuFileExit")->trigger();
        else
            QTest::keyClick(child("lvDw"), key, modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ends > 0; })) << key << " " << signal;
        EXPECT_TRUE(signal != 0 || !w->isVisible()) << key;
        EXPECT_TRUE(ReadSettings().contains("Save=1")) << key << " " << signal;
        w->close(); // a second route finds the close steps done
        EXPECT_EQ(ends, 1) << key << " " << signal;
    }
}

TEST_F(WindowTest, EscapeOnTheMenuBarOnlyLeavesIt) {
    WriteSettings(kStored);
    open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    // As after tapping Alt, or after Esc closed a menu: the menu bar has the keyboard, and
    // Esc only leaves it.
    w->menuBar()->setFocus(Qt::MenuBarFocusReason);
    QTest::keyClick(w->menuBar(), Qt::Key_Escape);
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(w->isVisible());
}
