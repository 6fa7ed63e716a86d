// The results list's commands in the window: sorting by the headers, the context menu,
// removal, Save List and the properties of a row.
#include "AppTestSupport.h"
#include "FilePropertiesDialog.h"

using namespace dirwise;
using namespace dirwise::test;

namespace {

using ListCommandsTest = RunFixture;

// The paths of the properties window that shows up (which is then closed).
QStringList propertiesShown(QWidget *owner) {
    FilePropertiesDialog *d = nullptr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (d = owner->findChild<FilePropertiesDialog *>()) != nullptr; }, 8000));
    QStringList out;
    for (int i = 0; d && i < d->fileCount(); ++i)
        out << d->fieldText(i, FilePropertiesDialog::Field::Path);
    delete d;
    return out;
}

} // namespace

TEST_F(ListCommandsTest, HeaderClicksAlternateTheOrder) {
    clickHeader(2);
    EXPECT_FALSE(w->sortDescending()) << "an empty list ignores a click";
    fill();
    clickHeader(2);
    EXPECT_TRUE(w->sortDescending()) << "the first click sorts descending";
    EXPECT_EQ(column(2), "e.txt,d.txt,c.txt,b.txt,a.txt");
    clickHeader(0);
    EXPECT_EQ(column(0), "Match,Match,Match,Not Found,Size");
    clickHeader(2);
    tree.file("m/f.txt", 1);
    w->beginCompare(); // by the remembered key and order
    EXPECT_EQ(column(2), "f.txt,e.txt,d.txt,c.txt,b.txt,a.txt");
    clickHeader(1);
    EXPECT_FALSE(w->sortDescending()) << "the alternation goes on across runs";
}

TEST_F(ListCommandsTest, ContextMenuRoutes) {
    // In turn on one window: whether the list holds rows (once filled, it stays so), the mouse
    // button released over it (Qt::NoButton: the key pressed), whether the menu shows. The
    // keys open it below the current row, the third.
    const struct {
        bool filled;
        Qt::MouseButton button;
        QKeyCombination key;
        bool shows;
    } routes[] = {
        {false, Qt::RightButton, {}, false},
        {false, Qt::NoButton, Qt::Key_Menu, false},
        {true, Qt::LeftButton, {}, false},
        {true, Qt::RightButton, {}, true},
        {true, Qt::MiddleButton, {}, true},
        {true, Qt::NoButton, Qt::ShiftModifier | Qt::Key_F10, true},
        {true, Qt::NoButton, Qt::Key_Menu, true},
    };
    for (const auto &route : routes) {
        const std::string name = "route " + std::to_string(&route - routes);
        if (route.filled && w->model().rowCount() == 0) {
            fill();
            lv()->setCurrentIndex(w->model().index(2, 0));
        }
        if (route.button != Qt::NoButton) {
            QTest::mouseRelease(lv()->viewport(), route.button, Qt::NoModifier, {5, 5});
        } else {
            lv()->setFocus();
            QTest::keyClick(lv(), route.key.key(), route.key.keyboardModifiers());
        }
        // A menu that does not show is waited for a little while only.
        const bool shown =
            QTest::qWaitFor([&] { return menu()->isVisible(); }, route.shows ? 5000 : 50);
        EXPECT_EQ(shown, route.shows) << name;
        if (shown && route.button == Qt::NoButton) {
            const QRect row = lv()->visualRect(w->model().index(2, 0));
            EXPECT_EQ(menu()->pos(), lv()->viewport()->mapToGlobal(row.bottomLeft())) << name;
        }
        menu()->hide();
    }
}

TEST_F(ListCommandsTest, SavedListsHoldTheRowsLeftAsShown) {
    fill();
    QAction *remove = menu()->findChild<QAction *>("mnuRemove");
    select({});
    remove->trigger();
    EXPECT_EQ(w->results().Count(), 5u) << "nothing selected, nothing removed";
    select({1, 3});     // b and e, still selected after the sort
    w->sortByColumn(2); // descending: e d c b a
    remove->trigger();  // the removed rows are not next to each other
    tree.dir("out");
    const std::string path = tree.path("out/report.txt");
    w->saveList();
    EXPECT_TRUE(prompts.said.isEmpty()) << "a cancelled save writes and says nothing";
    WriteFile(path, std::string(10000, 'x')); // a longer old file is replaced whole
    prompts.answers = {QString::fromStdString(path)};
    QTest::mouseClick(child("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(prompts.asked.last(), "Save Results As...|dw.txt|Text File (*.txt);;CSV "
                                    "File, all columns (*.csv);;HTML page (*.html)");
    EXPECT_EQ(prompts.said, QStringList{"i Complete: File save complete"});
    const QString out = QString::fromStdString(tree.path("out"));
    // The report's bytes in every form: the results tests.
    const std::string c = tree.path("c"), at = "\t09/09/2001 01:46:40\r\n";
    EXPECT_EQ(ReadFile(path), "Match\t" + c + "/\td.txt\t000,000,100\t000,000,100" + at +
                                  "Not Found\t" + c + "/sub/\tc.txt\t000,000,100\t" + at +
                                  "Size\t" + c + "/\ta.txt\t000,000,100\t000,000,007" + at);
    // The CSV file type writes every column, whatever the name.
    prompts.answers = {QString::fromStdString(path)};
    prompts.fileType = "CSV File, all columns (*.csv)";
    w->saveList();
    EXPECT_TRUE(prompts.asked.last().startsWith("Save Results As...|" + out + "/dw.txt|"))
        << "the chooser starts in the folder used last: " << prompts.asked.last();
    EXPECT_TRUE(ReadFile(path).starts_with("result,path,master_size,compare_size,master_date,"
                                           "compare_date,difference\nMatch,d.txt,100,100,"));
}

TEST_F(ListCommandsTest, AFailedSaveSaysWhy) {
    fill();
    prompts.answers = {QString::fromStdString(tree.path("no/such/dir/r.txt"))};
    w->saveList();
    ASSERT_EQ(prompts.said.size(), 1);
    EXPECT_TRUE(prompts.said[0].startsWith("x Cannot Save File: ") && prompts.said[0].size() > 20)
        << prompts.said[0];
}

TEST_F(ListCommandsTest, TheDeleteKeyRemovesTheSelectedRows) {
    fill();
    select({0, 1, 2, 3, 4});
    QTest::keyClick(lv(), Qt::Key_Delete);
    EXPECT_EQ(w->results().Count(), 0u);
    EXPECT_FALSE(child("cmdSave")->isEnabled()) << "nothing left to save";
}

TEST_F(ListCommandsTest, SaveListRefusesEveryPlaceInsideATree) {
    fill();
    tree.dir("out");
    ASSERT_EQ(::link(tree.path("m/b.txt").c_str(), tree.path("out/hard.txt").c_str()), 0);
    tree.symlink("out/into-master", "../m");
    const struct {
        const char *what;
        const char *target;
        const char *tree;
        const char *file; // the tree's file that must stay as it was ("": none made)
    } cases[] = {
        {"a master file by another name", "out/hard.txt", "master", "m/b.txt"},
        {"a master file through a folder link", "out/into-master/d.txt", "master", "m/d.txt"},
        {"a new name in a compare folder", "c/new.txt", "compare", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        prompts.said.clear();
        prompts.answers = {QString::fromStdString(tree.path(c.target))};
        w->saveList();
        ASSERT_EQ(prompts.said.size(), 1);
        EXPECT_TRUE(prompts.said[0].startsWith("x Cannot Save File: ")) << prompts.said[0];
        EXPECT_TRUE(prompts.said[0].contains(QString("inside the %1 directory").arg(c.tree)))
            << prompts.said[0];
        if (*c.file)
            EXPECT_EQ(ReadFile(tree.path(c.file)), std::string(100, 'x'));
        else
            EXPECT_EQ(::access(tree.path(c.target).c_str(), F_OK), -1) << "a file was made";
    }
}

TEST_F(ListCommandsTest, EveryOpeningRouteShowsTheRowsFiles) {
    const QString root = QString::fromStdString(tree.root());
    // Row 0 is a.txt, which differs in size: both files exist; row 4 is sub/c.txt, not
    // found. No file manager answers here, so Dirwise's own window shows them.
    const QStringList both = {root + "/m/a.txt", root + "/c/a.txt"};
    const std::tuple<const char *, int, QStringList> routes[] = {
        {"double click", 0, both},
        {"Enter", 0, both},
        {"properties", 4, {root + "/m/sub/c.txt"}},
    };
    for (const auto &[route, row, shown] : routes) {
        openOnTrees();
        fill();
        lv()->setCurrentIndex(w->model().index(4, 0)); // not the row a click hits
        if (route == std::string("double click")) {
            const QRect cell = lv()->visualRect(w->model().index(row, 2));
            // A person's double click presses the button before the double click comes.
            QTest::mouseClick(lv()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
            QTest::mouseDClick(lv()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        } else if (route == std::string("Enter")) {
            lv()->setCurrentIndex(w->model().index(row, 0));
            QTest::keyClick(lv(), Qt::Key_Return);
        } else {
            w->showRowProperties();
        }
        EXPECT_EQ(propertiesShown(w.get()), shown) << route;
    }
}

TEST_F(ListCommandsTest, AnExtraRowsPropertiesShowTheCompareFile) {
    tree.file("c/only.txt", 3);
    child<QAction>("mnuShowExtra")->setChecked(true);
    fill();
    const int row = static_cast<int>(column(0).split(',').indexOf("Extra"));
    ASSERT_GE(row, 0) << column(0).toStdString();
    lv()->setCurrentIndex(w->model().index(row, 0));
    w->showRowProperties();
    EXPECT_EQ(propertiesShown(w.get()),
              QStringList{QString::fromStdString(tree.path("c/only.txt"))});
}
