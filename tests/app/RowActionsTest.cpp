// Acting on the results: the row commands through the desktop (fake programs on a private
// PATH stand in for the diff tool and xdg-open), the clipboard, the filter bar, failures as
// rows, Escape and closing during a run, and the directory pairs.
#include "AppTestSupport.h"
#include "FilterBar.h"
#include "PathFilter.h"

#include <QProxyStyle>

using namespace dirwise;
using namespace dirwise::test;

namespace {

// Each fake program logs its arguments as one line "[a] [b]" in <bin>/<its name>.log.
constexpr char kFakeProgram[] = R"(#!/bin/sh
line=; for a in "$@"; do line="$line[$a] "; done
printf '%s\n' "${line% }" >> "$0.log"
)";

// A window on the trees with a private PATH: <root>/bin only, then the system's tools.
class RowActions : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        m_path = qgetenv("PATH");
        tree.dir("bin");
        qputenv("PATH", QByteArray::fromStdString(tree.path("bin")) + ":/usr/bin:/bin");
    }
    void TearDown() override {
        qputenv("PATH", m_path);
        RunFixture::TearDown();
    }
    void fakeProgram(const std::string &name) {
        const std::string path = tree.path("bin/" + name);
        WriteFile(path, kFakeProgram);
        ::chmod(path.c_str(), 0755);
    }
    // The calls a fake program logged, once `count` have come (they run detached).
    QStringList calls(const std::string &name, int count = 1) {
        const std::string log = tree.path("bin/" + name + ".log");
        QStringList lines;
        (void)QTest::qWaitFor(
            [&] {
                lines = QString::fromStdString(ReadFile(log)).split(u'\n', Qt::SkipEmptyParts);
                return lines.size() >= count;
            },
            10000);
        return lines;
    }
    // Makes the view row showing `name` current and the only one selected.
    void pick(const QString &name) {
        for (int r = 0; r < w->model().rowCount(); ++r)
            if (w->model().index(r, 2).data().toString() == name) {
                lv()->selectionModel()->setCurrentIndex(w->model().index(r, 0),
                                                        QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
                return;
            }
        ADD_FAILURE() << "no row " << name;
    }
    QAction *action(const char *name) { return child<QAction>(name); }
    QString m(const char *rel) {
        return QString::fromStdString(tree.path(std::string("m/") + rel));
    }
    QString c(const char *rel) {
        return QString::fromStdString(tree.path(std::string("c/") + rel));
    }

    QByteArray m_path;
};

// Answers "no" to the menu bar's keyboard navigation, as Adwaita does: a menu closed with Esc
// leaves the keyboard with the control that had it.
class NoMenuBarKeys final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

} // namespace

TEST_F(RowActions, CompareFilesStartsTheFirstInstalledDiffToolWithBothFiles) {
    fakeProgram("kompare"); // meld and kdiff3 absent: the third of the list
    fakeProgram("diffuse");
    fill();
    pick("a.txt");
    ASSERT_TRUE(action("mnuCompareFiles")->isEnabled());
    QTest::keyClick(lv(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(calls("kompare"), QStringList{"[" + m("a.txt") + "] [" + c("a.txt") + "]"});
    EXPECT_TRUE(prompts.said.isEmpty());
}

TEST_F(RowActions, CompareFilesUsesTheDiffToolSettingWithItsOwnArguments) {
    fakeProgram("meld");
    fakeProgram("mydiff");
    WriteSettings("[Settings]\nSave=1\nDiffTool=" +
                  QString::fromStdString(tree.path("bin/mydiff")) + " --ro\n");
    openOnTrees();
    fill();
    pick("a.txt");
    action("mnuCompareFiles")->trigger();
    EXPECT_EQ(calls("mydiff"), QStringList{"[--ro] [" + m("a.txt") + "] [" + c("a.txt") + "]"});
}

TEST_F(RowActions, CompareFilesWithoutADiffToolNamesTheToolsToInstall) {
    fill();
    pick("a.txt");
    action("mnuCompareFiles")->trigger();
    EXPECT_EQ(prompts.said, QStringList{"! Compare Files: No diff tool is installed. Install one "
                                        "of meld, kdiff3, kompare, diffuse, or name one in the "
                                        "DiffTool setting."});
}

TEST_F(RowActions, ANotFoundRowHasNoCompareFileToOpenOrCompare) {
    fill();
    pick("c.txt");
    EXPECT_EQ(props("enabled", {"mnuCompareFiles", "mnuOpenMaster", "mnuOpenCompare",
                                "mnuOpenFolder", "mnuCopyPath"}),
              "0|1|0|1|1");
    action("mnuCompareFiles")->trigger(); // disabled: nothing happens
    EXPECT_TRUE(prompts.said.isEmpty());
    lv()->selectionModel()->clear();
    EXPECT_EQ(props("enabled", {"mnuOpenMaster", "mnuCopyPath"}), "0|0") << "no row";
}

TEST_F(RowActions, OpenFileCommandsHandEachSideToTheDesktop) {
    fakeProgram("xdg-open");
    fill();
    pick("a.txt");
    // Each launch is a process of its own: the second key waits for the first one's call, so
    // that the log's order is the keys' order.
    QTest::keyClick(lv(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(calls("xdg-open"), QStringList{"[" + m("a.txt") + "]"});
    QTest::keyClick(lv(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(calls("xdg-open", 2), (QStringList{"[" + m("a.txt") + "]", "[" + c("a.txt") + "]"}));
}

TEST_F(RowActions, OpenContainingFolderWithoutAFileManagerOpensTheFolder) {
    fakeProgram("xdg-open");
    // No session bus here, or one where no file manager answers: the folder itself opens.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    fill();
    pick("c.txt");
    action("mnuOpenFolder")->trigger();
    EXPECT_EQ(calls("xdg-open"), QStringList{"[" + m("sub") + "]"});
}

TEST_F(RowActions, CopyPathPutsTheSelectedRowsPathsOnTheClipboard) {
    fill();
    select({0, 4}); // a.txt and sub/c.txt
    QTest::keyClick(lv(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "a.txt\nsub/c.txt");
    QTest::keyClick(lv(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), m("a.txt") + "\n" + m("sub/c.txt"));
}

TEST_F(RowActions, KindSwitchesHideTheirRows) {
    fill();
    FilterBar &bar = w->filterBar();
    auto *match = bar.findChild<QToolButton *>("fltMatch");
    EXPECT_EQ(match->text(), "Match (3)");
    EXPECT_EQ(bar.findChild<QToolButton *>("fltNotFound")->text(), "Not Found (1)");
    EXPECT_FALSE(bar.findChild<QToolButton *>("fltExtra")->isVisible()) << "no Extra rows";
    QTest::mouseClick(match, Qt::LeftButton);
    EXPECT_EQ(column(2), "a.txt,c.txt");
    EXPECT_EQ(child<QLabel>("lblRows")->text(), "2 of 5 rows");
    EXPECT_TRUE(match->isVisible()) << "switched off, it stays to be switched on again";
}

TEST_F(RowActions, FilterTextKeepsPathsContainingItWithCaseFolded) {
    tree.file("m/SUB/Émile.txt", 1);
    fill();
    QLineEdit *text = w->filterBar().textBox();
    EXPECT_TRUE(text->accessibleName().contains("Filter"));
    QTest::keyClicks(text, "sub/");
    w->filterBar().applyNow();
    EXPECT_EQ(column(2), "Émile.txt,c.txt"); // "SUB" before "sub", in byte order
    text->setText("éMILE");
    w->filterBar().applyNow();
    EXPECT_EQ(column(2), "Émile.txt");
    auto *match = w->filterBar().findChild<QToolButton *>("fltMatch");
    EXPECT_EQ(match->text(), "Match (0)") << "the counts follow the text";
    EXPECT_TRUE(match->isVisible()) << "a kind of the run stays while the text hides its rows";
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_EQ(w->model().rowCount(), 6) << "Esc empties the box";
    EXPECT_EQ(ends, 0) << "and leaves the window open";
}

TEST_F(RowActions, ListCommandsActOnlyOnTheRowsShown) {
    fill();
    QTest::mouseClick(w->filterBar().findChild<QToolButton *>("fltMatch"), Qt::LeftButton);
    w->sortByColumn(2); // descending
    EXPECT_EQ(column(2), "c.txt,a.txt");
    select({1});
    QTest::keyClick(lv(), Qt::Key_Delete);
    EXPECT_EQ(w->results().Count(), 4u);
    EXPECT_EQ(column(2), "c.txt");
    EXPECT_TRUE(lv()->selectionModel()->isRowSelected(0, {})) << "the next row is selected";
    tree.dir("out");
    prompts.answers = {QString::fromStdString(tree.path("out/r.txt"))};
    w->saveList();
    EXPECT_TRUE(prompts.asked.last().startsWith("Save Results As... (1 of 4 rows)|"));
    const std::string saved = ReadFile(tree.path("out/r.txt"));
    EXPECT_TRUE(saved.starts_with("Not Found\t")) << saved;
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 1) << saved;
}

TEST_F(RowActions, PlacesNotComparedAreRows) {
    tree.symlink("m/looping.txt", "looping.txt"); // a loop of links: not compared
    w->beginCompare();
    EXPECT_EQ(prompts.said.join(u'#'),
              "! Complete: Dirwise complete.\n\nTotal Files: 5\nMatching Files: 3\nDifferent "
              "Files: 2\nNot Compared: 1\n\nThe places not compared are listed as \"Not "
              "Compared\" rows.");
    EXPECT_TRUE(prompts.details.value(0).isEmpty()) << "no list in the box's details";
    pick("looping.txt");
    const int r = lv()->currentIndex().row();
    EXPECT_EQ(w->model().index(r, 0).data().toString(), "Not Compared");
    EXPECT_EQ(w->model().index(r, 7).data().toString(),
              "cannot read the master file: Too many levels of symbolic links");
    EXPECT_EQ(w->filterBar().findChild<QToolButton *>("fltNotCompared")->text(),
              "Not Compared (1)");
    tree.dir("out");
    for (const char *type : {"Text File (*.txt)", "CSV File, all columns (*.csv)"}) {
        prompts.answers = {QString::fromStdString(tree.path("out/r"))};
        prompts.fileType = type;
        w->saveList();
        const std::string saved = ReadFile(tree.path("out/r"));
        const std::string line =
            type[0] == 'T' ? "Not Compared\t" + tree.path("c") + "/\tlooping.txt\t\t\t\r\n"
                           : "Not Compared,looping.txt,,,,,cannot read the master file: "
                             "Too many levels of symbolic links\n";
        EXPECT_NE(saved.find(line), std::string::npos) << type << "\n" << saved;
    }
}

TEST_F(RowActions, ACompareFolderGoneDuringTheRunLeavesNoNotFoundRows) {
    const std::string moved = tree.path("c.moved");
    w->host().setYieldHook([&](std::int64_t n) {
        if (n == 1) {
            ASSERT_EQ(::rename(tree.path("c").c_str(), moved.c_str()), 0);
        }
    });
    w->beginCompare();
    ASSERT_EQ(w->model().rowCount(), 5);
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(w->model().index(r, 0).data().toString(), "Not Compared");
        EXPECT_EQ(w->model().index(r, 7).data().toString(), "compare folder went away");
    }
    ASSERT_EQ(::rename(moved.c_str(), tree.path("c").c_str()), 0);
}

TEST_F(RowActions, EscapeDuringARunOnlyStopsTheRun) {
    for (int i = 0; i < 40; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    turnAtEveryYield();
    bool pressed = false; // once rows have come
    w->host().setYieldHook([&](std::int64_t) {
        if (!pressed && w->results().Count() > 3) {
            pressed = true;
            QTimer::singleShot(0, [this] { QTest::keyClick(lv(), Qt::Key_Escape); });
        }
    });
    w->beginCompare();
    EXPECT_EQ(prompts.said, QStringList{"i Stopped: Dirwise stopped."});
    EXPECT_GT(w->results().Count(), 0u);
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(RowActions, ClosingDuringARunStopsItThenCloses) {
    for (int i = 0; i < 40; ++i)
        tree.file("m/many/f" + std::to_string(i), 1);
    turnAtEveryYield();
    std::int64_t yields = 0;
    w->host().setYieldHook([&](std::int64_t n) {
        yields = n;
        if (n == 5)
            QTimer::singleShot(0, [this] { w->close(); });
    });
    w->beginCompare();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(yields, 5) << "the run stopped at once";
    EXPECT_TRUE(prompts.said.isEmpty()) << "no summary for a closed window";
}

TEST_F(RowActions, EscapeThatClosesAMenuNeverClosesTheWindowUnderAStyleWithoutMenuBarKeys) {
    QApplication::setStyle(new NoMenuBarKeys);
    openOnTrees();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    auto *file = child<QMenu>("mnuFile");
    w->menuBar()->setActiveAction(file->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }));
    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !file->isVisible(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(ends, 0) << "the second Esc only ends the menus";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(ends, 1) << "the next one closes as ever";
    QApplication::setStyle(QStringLiteral("Fusion"));
}

TEST_F(RowActions, SwapExchangesTheDirectoryBoxes) {
    const QString master = child<QLineEdit>("txtMasterDir")->text();
    const QString compare = child<QLineEdit>("txtCompareDir")->text();
    fill();
    QTest::keyClick(lv(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}), compare + "|" + master);
}

TEST_F(RowActions, ARecentPairFillsTheDirectoryBoxes) {
    const QString master = child<QLineEdit>("txtMasterDir")->text();
    const QString compare = child<QLineEdit>("txtCompareDir")->text();
    fill(); // remembered
    child<QLineEdit>("txtMasterDir")->setText(compare);
    child<QLineEdit>("txtCompareDir")->setText(master);
    w->takeRecentPair(0);
    EXPECT_EQ(props("text", {"txtMasterDir", "txtCompareDir"}), master + "|" + compare);
    // Kept over a restart, the newest first, ten at most, a ";" in a name surviving.
    for (int i = 0; i < 11; ++i) {
        tree.dir("p;" + std::to_string(i));
        child<QLineEdit>("txtMasterDir")
            ->setText(QString::fromStdString(tree.path("p;" + std::to_string(i))));
        w->beginCompare();
    }
    w->close();
    openOnTrees();
    w->takeRecentPair(0);
    EXPECT_EQ(child<QLineEdit>("txtMasterDir")->text(), QString::fromStdString(tree.path("p;10")));
    w->takeRecentPair(9);
    EXPECT_EQ(child<QLineEdit>("txtMasterDir")->text(), QString::fromStdString(tree.path("p;1")));
    auto *recent = child<QMenu>("mnuRecentPairs");
    emit recent->aboutToShow();
    EXPECT_EQ(recent->actions().size(), 10);
}

TEST(PathFilter, ATextWithASlashReachesAcrossTheDirectoryIntoTheName) {
    ResultsList list;
    const struct {
        const char *dir, *name;
    } rows[] = {
        {"/Docs/", "Readme.TXT"}, // 0
        {"/", "docs"},            // 1
        {"/x/A/b/", "File.c"},    // 2
        {"/a/b/c/", "file.c"},    // 3
        {"/q/a/b/", "other"},     // 4
        {"/\xc3\x9c"
         "ber/",
         "Z"}, // 5: "/Über/"
    };
    for (const auto &r : rows)
        list.Append({.name = r.name, .dir = list.InternDirectory(r.dir)});
    // The rows each text keeps, as a string of row numbers.
    const struct {
        const char *text, *kept;
    } cases[] = {
        {"DOCS/read", "0"},
        {"txt", "0"},
        {"a/b/fi", "2"},
        {"/a/b/", "234"},
        {"b/", "234"},
        {"/", "012345"},
        {"c/file", "3"},
        {"docs/readme.txt", "0"},
        {"s/readme.txt/", ""},
        {"\xc3\xbc"
         "ber/z",
         "5"},
        {"r/z", "5"},
        {"x/a", "2"},
    };
    PathFilter f;
    for (const auto &c : cases) {
        f.setText(c.text);
        std::string kept;
        for (std::size_t i = 0; i < list.Count(); ++i)
            if (f.matches(list, i))
                kept += std::to_string(i);
        EXPECT_EQ(kept, c.kept) << c.text;
    }
}

// Names are folded as they are tested: ASCII names letter by letter, others whole (the Kelvin
// sign folds to "k", bytes that are not UTF-8 stay bytes). The table holds after the rows
// are sorted and one removed, so what the list knows of each name moves with its row.
TEST(PathFilter, NamesMatchWithCaseFoldedWhateverTheirBytes) {
    ResultsList list;
    const std::uint32_t root = list.InternDirectory("/");
    const std::uint32_t d = list.InternDirectory("/D/");
    // clang-format off
    const struct {
        std::uint32_t dir;
        const char *name;
    } rows[] = {
        {root, "README.md"},
        {root, "\xe2\x84\xaa" "elvin.txt"}, // "Kelvin" with the Kelvin sign
        {root, "bad\xff" "NAME"},
        {d, "\xc3\x9c" "nter"},              // "Ünter"
        {d, "unter"},
    };
    // The names each text keeps, sorted, joined by ",".
    const struct {
        const char *text, *kept;
    } cases[] = {
        {"readme.MD", "README.md"},
        {"ME.M", "README.md"},
        {"KEL", "\xe2\x84\xaa" "elvin.txt"},
        {"\xe2\x84\xaa" "ELVIN", "\xe2\x84\xaa" "elvin.txt"},
        {"\xff" "name", "bad\xff" "NAME"},
        {"\xc3\xbc", "\xc3\x9c" "nter"},
        {"d/\xc3\xbc" "N", "\xc3\x9c" "nter"},
        {"d/U", "unter"},
        {"nter", "unter,\xc3\x9c" "nter"},
        {"readme.md.", ""},
        {"txt.", ""},
    };
    // clang-format on
    for (const auto &r : rows)
        list.Append({.name = r.name, .dir = r.dir});
    auto check = [&](const char *when) {
        PathFilter f;
        for (const auto &c : cases) {
            f.setText(c.text);
            std::vector<std::string> kept;
            for (std::size_t i = 0; i < list.Count(); ++i)
                if (f.matches(list, i))
                    kept.emplace_back(list.Name(i));
            std::sort(kept.begin(), kept.end());
            std::string joined;
            for (const std::string &k : kept)
                joined += (joined.empty() ? "" : ",") + k;
            EXPECT_EQ(joined, c.kept) << when << ": " << c.text;
        }
    };
    check("as appended");
    list.Sort(Column::FileName, SortOrder::Descending);
    const std::string first(list.Name(0));
    list.Remove(0);
    list.Append({.name = first, .dir = d});
    check("sorted, removed and appended");
}
