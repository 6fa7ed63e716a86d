// Skip rules in the window: the Options dialog, the row commands that add a rule, the
// settings keys and the status bar.
#include "AppTestSupport.h"

using namespace dirwise;
using namespace dirwise::test;

namespace {

using SkipWindow = RunFixture;

// The open skip dialog of `w`, or nullptr.
QDialog *skipDialog(MainWindow &w) {
    QDialog *d = nullptr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (d = w.findChild<QDialog *>(QStringLiteral("frmSkip"))) && d->isVisible(); },
        5000));
    return d;
}

// Gives the skip dialog of `w` three rules, a comment among them, and the .gitignore files,
// and clicks OK; false if the dialog did not show.
bool AcceptRules(MainWindow &w) {
    QDialog *d = skipDialog(w);
    if (!d)
        return false;
    EXPECT_TRUE(d->findChild<QLabel *>("lblSkipHelp")->text().contains("Example:"));
    d->findChild<QPlainTextEdit *>("txtSkipRules")->setPlainText("*.txt\n# a comment\n!b.txt");
    d->findChild<QCheckBox *>("chkUseGitignore")->setChecked(true);
    QTest::mouseClick(d->findChild<QPushButton *>("cmdSkipOK"), Qt::LeftButton);
    return true;
}

} // namespace

TEST_F(SkipWindow, DialogRulesReachTheRun) {
    child<QAction>("mnuSkip")->trigger();
    ASSERT_TRUE(AcceptRules(*w));
    EXPECT_EQ(w->skipRules(), "*.txt\n# a comment\n!b.txt");
    EXPECT_TRUE(w->useGitignore());
    fill();
    EXPECT_EQ(column(2), "b.txt");
    EXPECT_EQ(w->statusText(), "Total Files: 1    Matching Files: 1    Different Files: 0    "
                               "Skipped Folders: 0    Skipped Files: 4");
}

TEST_F(SkipWindow, EscapeInTheDialogKeepsTheRules) {
    child<QAction>("mnuSkip")->trigger();
    ASSERT_TRUE(AcceptRules(*w));
    child<QAction>("mnuSkip")->trigger();
    QDialog *d = skipDialog(*w);
    ASSERT_NE(d, nullptr);
    d->findChild<QPlainTextEdit *>("txtSkipRules")->setPlainText("nothing");
    QTest::keyClick(d, Qt::Key_Escape);
    EXPECT_EQ(w->skipRules(), "*.txt\n# a comment\n!b.txt") << "Esc keeps the rules";
}

TEST_F(SkipWindow, DialogRulesAreKeptInTheSettings) {
    child<QAction>("mnuSkip")->trigger();
    ASSERT_TRUE(AcceptRules(*w));
    w->close();
    EXPECT_TRUE(ReadSettings().contains("FollowLinks=1\nSkipRules=*.txt\\n# a comment\\n!b.txt\n"
                                        "UseGitignore=1\n"))
        << ReadSettings();
    openOnTrees();
    EXPECT_EQ(w->skipRules(), "*.txt\n# a comment\n!b.txt");
    EXPECT_TRUE(w->useGitignore());
}

TEST_F(SkipWindow, RowSkipCommandsAddAnchoredRules) {
    tree.file("m/sub/deeper/f.txt", 1);
    tree.file("m/su[b] *.txt", 1);
    fill();
    ASSERT_EQ(column(2), "a.txt,b.txt,d.txt,e.txt,su[b] *.txt,c.txt,f.txt");
    lv()->setCurrentIndex(w->model().index(0, 0));
    w->showListMenuAtCurrentRow();
    EXPECT_FALSE(menu()->findChild<QAction *>("mnuSkipFolder")->isEnabled()) << "a root row";
    menu()->hide();
    w->skipCurrentRow(true);
    EXPECT_EQ(w->model().rowCount(), 7) << "no folder to skip for a root row";

    lv()->setCurrentIndex(w->model().index(5, 0));
    w->showListMenuAtCurrentRow();
    menu()->findChild<QAction *>("mnuSkipFolder")->trigger();
    menu()->hide();
    EXPECT_EQ(column(2), "a.txt,b.txt,d.txt,e.txt,su[b] *.txt");
    lv()->setCurrentIndex(w->model().index(4, 0));
    menu()->findChild<QAction *>("mnuSkipFile")->trigger();
    EXPECT_EQ(column(2), "a.txt,b.txt,d.txt,e.txt");
    EXPECT_EQ(w->skipRules(), "/sub/\n/su\\[b] \\*.txt\n");

    w->beginCompare();
    EXPECT_EQ(column(2), "a.txt,b.txt,d.txt,e.txt") << "the next run skips them too";
    EXPECT_TRUE(w->statusText().endsWith("Skipped Folders: 1    Skipped Files: 1"))
        << w->statusText();
}

TEST_F(SkipWindow, ThousandsOfStoredRulesLoad) {
    QString rules;
    for (int i = 0; i < 5000; ++i)
        rules += QStringLiteral("/never/%1/*.tmp\\n").arg(i);
    WriteSettings("[Settings]\nSave=1\nSkipRules=" + rules + "a.txt\nUseGitignore=0\n");
    openOnTrees();
    EXPECT_EQ(w->skipRules().count(u'\n'), 5000);
    fill();
    EXPECT_EQ(column(2), "b.txt,d.txt,e.txt,c.txt");
}
