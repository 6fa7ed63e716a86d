// Snapshots from the window: File > Save Snapshot, a snapshot file or a folder on another
// machine in a directory box, and what the window refuses before a run.
#include "AppTestSupport.h"
#include "PrivateSshd.h"

#include <QCompleter>
#include <QFileSystemModel>

#include <cstring>
#include <unistd.h>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class SnapshotWindow : public RunFixture {
protected:
    // File > Save Snapshot of the master box, the save chooser answering `path`.
    void saveSnapshot(const std::string &path) {
        prompts.answers = {QString::fromStdString(path)};
        prompts.said.clear();
        w->saveSnapshot();
    }
    void setMaster(const std::string &path) {
        child<QLineEdit>("txtMasterDir")->setText(QString::fromStdString(path));
    }
    // DWC_RSH for the window's remote roots: `sshd`'s ssh, the remote shell running the dwc
    // of this build (installed nowhere: its folder goes first on the remote PATH). Undone as
    // the test ends.
    void useRemoteShell(PrivateSshd &sshd) {
        const std::string bin = std::string(DWC_PATH).substr(0, std::string(DWC_PATH).rfind('/'));
        m_rshBefore = qgetenv("DWC_RSH");
        m_rshSet = true;
        qputenv("DWC_RSH",
                QByteArray::fromStdString("sh -c 'exec " + sshd.rsh() + " \"$1\" \"PATH=" + bin +
                                          ":\\$PATH; $2\"' rsh"));
    }
    void TearDown() override {
        if (m_rshSet)
            m_rshBefore.isNull() ? qunsetenv("DWC_RSH") : qputenv("DWC_RSH", m_rshBefore);
        RunFixture::TearDown();
    }
    // Whether the window is back at rest: Begin shown, Stop hidden.
    bool atRest() {
        return child<QPushButton>("cmdBegin")->isVisible() &&
               child<QPushButton>("cmdStop")->isHidden();
    }

private:
    QByteArray m_rshBefore;
    bool m_rshSet = false;
};

TEST_F(SnapshotWindow, ASavedSnapshotPassesMtree) {
    if (::access("/usr/bin/mtree", X_OK) != 0)
        GTEST_SKIP() << "NetBSD's mtree is not installed (mtree-netbsd)";
    tree.dir("out");
    child<QAction>("mnuVerify")->setChecked(true);
    saveSnapshot(tree.path("out/m.mtree"));
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].startsWith("i Complete: ")) << prompts.said[0];
    EXPECT_TRUE(atRest());
    const std::string snapshot = ReadFile(tree.path("out/m.mtree"));
    EXPECT_TRUE(snapshot.starts_with("#mtree\n"));
    EXPECT_NE(snapshot.find("./sub/c.txt type=file size=100 "), std::string::npos) << snapshot;
    // NetBSD's mtree checks every entry, digests included, against the folder.
    const ProcessResult check =
        RunProcess({"mtree", "-f", tree.path("out/m.mtree"), "-p", tree.path("m")});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

// The snapshot in the master box compares as the folder would, contents by digests.
TEST_F(SnapshotWindow, ASnapshotComparesAsItsFolder) {
    tree.dir("out");
    child<QAction>("mnuVerify")->setChecked(true);
    saveSnapshot(tree.path("out/m.mtree"));
    setMaster(tree.path("out/m.mtree"));
    child<QLineEdit>("txtCompareDir")->setText(QString::fromStdString(tree.path("m")));
    w->beginCompare();
    EXPECT_EQ(column(0), "Match,Match,Match,Match,Match");
    EXPECT_EQ(column(1).split(',').first(), QString::fromStdString(tree.path("m") + "/"));
}

TEST_F(SnapshotWindow, SnapshotIsNeverWrittenInsideItsFolder) {
    saveSnapshot(tree.path("m/sub/m.mtree"));
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].contains("inside the folder it describes")) << prompts.said[0];
    EXPECT_NE(::access(tree.path("m/sub/m.mtree").c_str(), F_OK), 0);
}

TEST_F(SnapshotWindow, StoppedSnapshotLeavesTheFileAsItWas) {
    tree.dir("out");
    WriteFile(tree.path("out/m.mtree"), "old");
    w->host().setYieldHook([this](std::int64_t n) {
        if (n == 3)
            w->stopCompare(); // as a click on Stop at the third entry
    });
    saveSnapshot(tree.path("out/m.mtree"));
    EXPECT_EQ(ReadFile(tree.path("out/m.mtree")), "old");
    EXPECT_EQ(prompts.said, QStringList{"i Stopped: The snapshot was stopped; nothing was saved."});
    EXPECT_TRUE(atRest());
}

// Each is refused with its reason before anything is compared: the list stays empty.
TEST_F(SnapshotWindow, SnapshotsThatCannotServeAreRefusedBeforeTheRun) {
    const std::string undated = "#mtree\n. type=dir\n./a.txt type=file size=100\n";
    const std::string dated = "#mtree\n. type=dir\n./a.txt type=file size=100 time=1.0\n";
    struct Case {
        std::string content;
        const char *option; // the Options menu's action or check box switched on, or ""
        const char *says;
    } const cases[] = {
        {.content = dated, .option = "mnuVerify", .says = "no sha256 digest"},
        {.content = undated, .option = "chkDate", .says = "no modification time"},
        {.content = "#mtree\n. type=dir\n./a size=x\n", .option = "", .says = "line 3"},
        {.content = "hello\n", .option = "", .says = "neither a folder nor a snapshot"},
    };
    for (const Case &c : cases) {
        openOnTrees();
        WriteFile(tree.path("snap"), c.content);
        setMaster(tree.path("snap"));
        if (std::string(c.option) == "chkDate")
            child<QCheckBox>("chkDate")->setChecked(true);
        else if (*c.option)
            child<QAction>(c.option)->setChecked(true);
        prompts.said.clear();
        w->beginCompare();
        ASSERT_EQ(prompts.said.size(), 1) << c.says;
        EXPECT_TRUE(prompts.said[0].startsWith("! Invalid Path: ")) << prompts.said[0];
        EXPECT_TRUE(prompts.said[0].contains(c.says)) << prompts.said[0];
        EXPECT_EQ(w->model().rowCount(), 0) << c.says;
        EXPECT_TRUE(atRest()) << c.says;
    }
}

// bsdtar writes the snapshot without times; compared by size, its side shows no dates.
TEST_F(SnapshotWindow, SnapshotWithoutTimesShowsNoMasterDates) {
    const ProcessResult bsdtar =
        RunProcess({"bsdtar", "--format=mtree", "--options=!all,type,size", "-cf",
                    tree.path("notime.mtree"), "-C", tree.path("m"), "."});
    if (bsdtar.status == 127 || bsdtar.status == -1)
        GTEST_SKIP() << "bsdtar is not installed (libarchive-tools)";
    ASSERT_EQ(bsdtar.status, 0) << bsdtar.err;
    setMaster(tree.path("notime.mtree"));
    w->beginCompare();
    EXPECT_EQ(column(0), "Size,Match,Match,Match,Not Found");
    EXPECT_EQ(column(5), ",,,,");
    EXPECT_FALSE(column(6).split(',').first().isEmpty()) << column(6);
}

// The File menu's snapshot choosers and the menus on the boxes' "..." buttons (whose click
// chooses a folder, see WindowTest).
TEST_F(SnapshotWindow, EveryChooserPutsItsAnswerInItsBox) {
    const struct {
        const char *button; // the "..." button whose menu holds the action, or none
        const char *action, *box, *title;
    } choosers[] = {
        {.button = "",
         .action = "mnuMasterSnapshot",
         .box = "txtMasterDir",
         .title = "Choose Master Snapshot...|"},
        {.button = "",
         .action = "mnuCompareSnapshot",
         .box = "txtCompareDir",
         .title = "Choose Compare Snapshot...|"},
        {.button = "cmdMasterDir",
         .action = "cmdMasterDirSnapshot",
         .box = "txtMasterDir",
         .title = "Choose Master Snapshot...|"},
        {.button = "cmdCompareDir",
         .action = "cmdCompareDirSnapshot",
         .box = "txtCompareDir",
         .title = "Choose Compare Snapshot...|"},
        {.button = "cmdCompareDir",
         .action = "cmdCompareDirFolder",
         .box = "txtCompareDir",
         .title = "Select Compare Directory...|"},
    };
    for (const auto &c : choosers) {
        auto *action = child<QAction>(c.action);
        if (*c.button) {
            EXPECT_TRUE(child<QToolButton>(c.button)->menu()->actions().contains(action))
                << c.action;
        }
        const QString chosen = QString::fromStdString(tree.path(c.action));
        prompts.answers = {chosen};
        prompts.asked.clear();
        action->trigger();
        EXPECT_EQ(child<QLineEdit>(c.box)->text(), chosen) << c.action;
        ASSERT_EQ(prompts.asked.size(), 1) << c.action;
        EXPECT_TRUE(prompts.asked[0].startsWith(c.title)) << prompts.asked[0];
        EXPECT_EQ(prompts.asked[0].contains("(*.mtree)"), QString(c.title).contains("Snapshot"))
            << prompts.asked[0];
    }
}

// Typing in a box completes folders and snapshot files, never other files.
TEST_F(SnapshotWindow, TypingCompletesFoldersAndSnapshots) {
    tree.dir("pick/folder");
    tree.file("pick/f.mtree", 10);
    tree.file("pick/f.txt", 10);
    QCompleter *completer = child<QLineEdit>("txtMasterDir")->completer();
    ASSERT_NE(completer, nullptr);
    auto *files = qobject_cast<QFileSystemModel *>(completer->model());
    ASSERT_NE(files, nullptr);
    const QModelIndex pick = files->index(QString::fromStdString(tree.path("pick")));
    ASSERT_TRUE(pick.isValid());
    const auto offered = [&] {
        if (files->canFetchMore(pick))
            files->fetchMore(pick);
        QStringList names;
        for (int r = 0; r < files->rowCount(pick); ++r)
            names << files->fileName(files->index(r, 0, pick));
        names.sort();
        return names.join(',');
    };
    // The model lists the folder on a thread of its own: once the subfolder is offered, the
    // files of the same listing have been filtered too.
    ASSERT_TRUE(QTest::qWaitFor([&] { return offered().contains("folder"); }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(offered(), QStringLiteral("f.mtree,folder"));
}

// A real sshd on 127.0.0.1 serves the master folder; the remote shell runs the dwc of this
// build, which is installed nowhere, so DWC_RSH puts its folder first on the remote PATH.
TEST_F(SnapshotWindow, RemoteDirectoryComparesAsTheLiveFolder) {
    tree.dir("sshd");
    PrivateSshd sshd(tree.path("sshd"));
    if (!sshd.skipReason().empty())
        GTEST_SKIP() << sshd.skipReason();
    useRemoteShell(sshd);
    child<QCheckBox>("chkDate")->setChecked(true);
    w->beginCompare();
    QStringList live;
    for (int c = 0; c < ColumnCount; ++c)
        live << column(c);
    ASSERT_EQ(w->model().rowCount(), 5);

    setMaster("127.0.0.1:" + tree.path("m"));
    prompts.said.clear();
    w->beginCompare();
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].startsWith("i Complete: ")) << prompts.said[0];
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(column(c), live[c]) << c;
    // The master side is not on this machine: nothing there to open.
    lv()->setCurrentIndex(w->model().index(0, 0));
    EXPECT_FALSE(child<QAction>("mnuOpenMaster")->isEnabled());
    EXPECT_TRUE(child<QAction>("mnuOpenCompare")->isEnabled());
}

// The run compares with a remote tree as it arrives; one that is slow to come (its dwc
// digests a huge sparse file) leaves the window answering while the run waits, and Stop
// ends the run and the transport.
TEST_F(SnapshotWindow, StopEndsTheWaitForARemoteTree) {
    tree.dir("sshd");
    PrivateSshd sshd(tree.path("sshd"));
    if (!sshd.skipReason().empty())
        GTEST_SKIP() << sshd.skipReason();
    useRemoteShell(sshd);
    tree.file("slow/a.txt", 1);
    ASSERT_EQ(::truncate(tree.path("slow/a.txt").c_str(), 200LL << 30), 0) << std::strerror(errno);
    child<QLineEdit>("txtCompareDir")
        ->setText(QString::fromStdString("127.0.0.1:" + tree.path("slow")));
    child<QAction>("mnuVerify")->setChecked(true);
    // Stop once the run compares: its first file waits for the remote side's digests.
    bool stopped = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!stopped && w->statusText().startsWith("Comparing")) {
            stopped = true;
            child<QPushButton>("cmdStop")->click();
        }
    });
    poll.start(50);
    w->beginCompare();
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(atRest());
    EXPECT_EQ(w->statusText(), "Stopped");
}

} // namespace
