// The main window: its first state, layout pass, Begin rule, choosers, keys and help.
#include "AppInfo.h"
#include "AppTestSupport.h"
#include "frmDw.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace dirwise;
using namespace dirwise::test;

namespace {

template <typename T> T *child(frmDw &w, const QString &name) {
    T *c = w.findChild<T *>(name);
    EXPECT_NE(c, nullptr) << name.toStdString();
    return c;
}
#define CHILD(T, name) child<T>(w, QStringLiteral(name))

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveUserSettings();
        m_programDir = QString::fromStdString(ScratchRoot()) + QStringLiteral("/prog");
        QDir().mkpath(m_programDir);
        QFile::remove(m_programDir + QStringLiteral("/dw.htm"));
        SetProgramFilePathForTests(m_programDir + QStringLiteral("/dw"));
    }
    void TearDown() override {
        SetProgramFilePathForTests(QString());
        RemoveUserSettings();
    }
    QString m_programDir;
    ScopedPrompts prompts;
};

} // namespace

TEST_F(WindowTest, FirstStartWithAnEmptyStore) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Dirwise 7.0.0"));
    EXPECT_TRUE(CHILD(QLineEdit, "txtMasterDir")->text().isEmpty());
    EXPECT_TRUE(CHILD(QLineEdit, "txtCompareDir")->text().isEmpty());
    EXPECT_TRUE(CHILD(QLineEdit, "txtMasterDir")->isReadOnly());
    EXPECT_TRUE(CHILD(QCheckBox, "chkSubDir")->isChecked());
    EXPECT_TRUE(CHILD(QCheckBox, "chkSize")->isChecked());
    EXPECT_TRUE(CHILD(QCheckBox, "chkSave")->isChecked());
    EXPECT_FALSE(CHILD(QCheckBox, "chkDate")->isChecked());
    EXPECT_FALSE(CHILD(QCheckBox, "chkHide")->isChecked());
    EXPECT_TRUE(CHILD(QRadioButton, "optEX")->isChecked());
    EXPECT_FALSE(CHILD(QRadioButton, "optIN")->isChecked());
    EXPECT_FALSE(CHILD(QPushButton, "cmdBegin")->isEnabled());
    EXPECT_FALSE(CHILD(QPushButton, "cmdSave")->isEnabled());
    EXPECT_FALSE(CHILD(QPushButton, "cmdStop")->isVisible());
    EXPECT_TRUE(CHILD(QPushButton, "cmdBegin")->isVisible());
    EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                          : w.focusWidget()->objectName(),
              QStringLiteral("cmdMasterDir"));
    EXPECT_EQ(w.StatusText(), QStringLiteral("Ready"));
    EXPECT_TRUE(w.statusBar()->isVisible());
}

TEST_F(WindowTest, CaptionsTooltipsMenusAndColumns) {
    auto t = MakeWindow();
    frmDw &w = *t->window;
    const std::pair<const char *, const char *> captions[] = {
        {"chkSubDir", "Include Su&bdirectories"},
        {"chkSize", "Match File Si&ze"},
        {"chkDate", "Match File &Date"},
        {"chkHide", "Don't Show Files that &Match"},
        {"optEX", "Exclude Extentions >"},
        {"optIN", "Include Extentions >"},
        {"chkSave", "Save on E&xit"},
        {"cmdSave", "&Save List..."},
        {"cmdAbout", "&About..."},
        {"cmdHelp", "&Help..."},
        {"cmdBegin", "&Begin"},
        {"cmdStop", "Stop"},
        {"cmdMasterDir", "..."},
        {"cmdCompareDir", "..."}};
    for (const auto &[name, caption] : captions)
        EXPECT_EQ(child<QAbstractButton>(w, QString::fromLatin1(name))->text(),
                  QString::fromLatin1(caption))
            << name;
    EXPECT_EQ(CHILD(QLabel, "lblDw0")->text(),
              QStringLiteral("Master Directory  (This is the directory that contains the "
                             "correct files)"));
    EXPECT_EQ(CHILD(QLabel, "lblDw1")->text(),
              QStringLiteral("Compare Directory  (This is the directory that contains the "
                             "questionable files)"));
    EXPECT_EQ(CHILD(QPushButton, "cmdMasterDir")->toolTip(), QStringLiteral("Select Directory"));
    EXPECT_EQ(CHILD(QPushButton, "cmdSave")->toolTip(), QStringLiteral("Save Results"));
    EXPECT_EQ(CHILD(QPushButton, "cmdAbout")->toolTip(), QStringLiteral("About This Program"));
    EXPECT_EQ(CHILD(QPushButton, "cmdBegin")->toolTip(), QStringLiteral("Begin Compare"));
    EXPECT_EQ(CHILD(QPushButton, "cmdStop")->toolTip(), QStringLiteral("Stop Compare"));
    EXPECT_FALSE(CHILD(QLabel, "imgMaster")->pixmap().isNull());
    EXPECT_FALSE(CHILD(QLabel, "imgCompare")->pixmap().isNull());
    EXPECT_FALSE(w.windowIcon().isNull());

    EXPECT_EQ(CHILD(QMenu, "mnuFile")->title(), QStringLiteral("&File"));
    EXPECT_EQ(CHILD(QMenu, "mnuHelp")->title(), QStringLiteral("&Help"));
    EXPECT_EQ(CHILD(QAction, "mnuFileExit")->text(), QStringLiteral("Exit"));
    EXPECT_EQ(CHILD(QAction, "mnuHelpContents")->text(), QStringLiteral("Help Contents..."));
    EXPECT_EQ(CHILD(QAction, "mnuHelpWeb")->text(), QStringLiteral("Help on the Web..."));
    EXPECT_EQ(CHILD(QAction, "mnuHelpAbout")->text(), QStringLiteral("About Dirwise..."));
    QStringList popup;
    for (QAction *a : CHILD(QMenu, "mnuPopupMenu")->actions())
        popup << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(popup, (QStringList{QStringLiteral("Remove From List"), QStringLiteral("-"),
                                  QStringLiteral("Cancel")}));

    QTreeView *lv = CHILD(QTreeView, "lvDw");
    QStringList headers;
    for (int c = 0; c < lv->model()->columnCount(); ++c)
        headers << lv->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, (QStringList{QStringLiteral("Result"), QStringLiteral("Compare Path"),
                                    QStringLiteral("File Name"), QStringLiteral("Master Size"),
                                    QStringLiteral("Compare Size"), QStringLiteral("Master Date"),
                                    QStringLiteral("Compare Date")}));
    EXPECT_EQ(lv->header()->sectionSize(0), w.TwipsToPixels(1440));
    EXPECT_EQ(lv->header()->sectionSize(1), w.TwipsToPixels(2000));
}

TEST_F(WindowTest, TabOrderFollowsTheDesign) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    QStringList order;
    QWidget *start = CHILD(QWidget, "cmdMasterDir");
    QWidget *c = start;
    for (int i = 0; i < 20; ++i) {
        order << c->objectName();
        c = c->nextInFocusChain();
        while (c != start && !(c->focusPolicy() & Qt::TabFocus))
            c = c->nextInFocusChain();
        if (c == start)
            break;
    }
    const QStringList expected = {QStringLiteral("cmdMasterDir"), QStringLiteral("cmdCompareDir"),
                                  QStringLiteral("chkSubDir"),    QStringLiteral("chkSize"),
                                  QStringLiteral("chkDate"),      QStringLiteral("chkHide"),
                                  QStringLiteral("optEX"),        QStringLiteral("optIN"),
                                  QStringLiteral("txtEXT0"),      QStringLiteral("txtEXT1"),
                                  QStringLiteral("txtEXT2"),      QStringLiteral("txtEXT3"),
                                  QStringLiteral("lvDw")};
    ASSERT_GE(order.size(), expected.size());
    EXPECT_EQ(order.mid(0, expected.size()), expected);
    EXPECT_FALSE(order.contains(QStringLiteral("txtMasterDir"))) << "skipped by Tab";
    EXPECT_FALSE(order.contains(QStringLiteral("txtCompareDir")));
}

TEST_F(WindowTest, HelpControlsFollowTheHelpPage) {
    {
        auto t = MakeWindow();
        frmDw &w = *t->window;
        EXPECT_FALSE(CHILD(QPushButton, "cmdHelp")->isEnabled());
        EXPECT_FALSE(CHILD(QAction, "mnuHelpContents")->isEnabled());
    }
    QFile page(m_programDir + QStringLiteral("/dw.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html></html>");
    page.close();
    auto t = MakeWindow();
    frmDw &w = *t->window;
    EXPECT_TRUE(CHILD(QPushButton, "cmdHelp")->isEnabled());
    EXPECT_TRUE(CHILD(QAction, "mnuHelpContents")->isEnabled());
    EXPECT_EQ(HelpPagePath(), m_programDir + QStringLiteral("/dw.htm"));
}

TEST(HelpPagePath, IsTheProgramsNameWithHtmBesideIt) {
    EXPECT_EQ(HelpPagePathFor(QStringLiteral("/usr/lib/dirwise/dw")),
              QStringLiteral("/usr/lib/dirwise/dw.htm"));
    EXPECT_EQ(HelpPagePathFor(QStringLiteral("/opt/x.y/dw.bin")),
              QStringLiteral("/opt/x.y/dw.htm"));
    EXPECT_EQ(HelpPagePathFor(QStringLiteral("dw")), QStringLiteral("dw.htm"));
}

TEST_F(WindowTest, AnchorMarginsComeFromTheDesign) {
    auto t = MakeWindow();
    const std::array<int, 10> expected = {840, 3255, 630, 1320, 495, 1395, 5235, 3915, 2595, 1275};
    EXPECT_EQ(t->window->AnchorMargins(), expected);
}

TEST_F(WindowTest, WideningMovesAnchoredControlsAndStretchesTheRest) {
    auto t = MakeWindow();
    frmDw &w = *t->window;
    const char *names[] = {"lvDw",          "txtMasterDir", "txtCompareDir", "cmdMasterDir",
                           "cmdCompareDir", "chkSave",      "cmdSave",       "cmdAbout",
                           "cmdHelp",       "cmdBegin",     "cmdStop",       "txtEXT0",
                           "optEX",         "picCommand"};
    w.LayoutPass(8295, 6030);
    std::map<std::string, TwipsRect> before;
    for (const char *n : names)
        before[n] = w.TwipsRectOf(child<QWidget>(w, QString::fromLatin1(n)));
    w.LayoutPass(8295 + 1500, 6030);
    auto after = [&](const char *n) {
        return w.TwipsRectOf(child<QWidget>(w, QString::fromLatin1(n)));
    };
    for (const char *n : {"lvDw", "txtMasterDir", "txtCompareDir"}) {
        EXPECT_EQ(after(n).width, before[n].width + 1500) << n;
        EXPECT_EQ(after(n).left, before[n].left) << n;
    }
    for (const char *n : {"cmdMasterDir", "cmdCompareDir", "chkSave", "cmdSave", "cmdAbout",
                          "cmdHelp", "cmdBegin", "cmdStop"})
        EXPECT_EQ(after(n).left, before[n].left + 1500) << n;
    EXPECT_EQ(after("txtEXT0").left, before["txtEXT0"].left);
    EXPECT_EQ(after("optEX").left, before["optEX"].left);
    EXPECT_EQ(after("picCommand").width, 8295 + 1500 + 60);
    EXPECT_EQ(after("lvDw").width, 8295 + 1500 - 840);
    // The list keeps a 735-twip gap above the bottom, the panel its top 630 above it.
    w.LayoutPass(8295, 6030 + 900);
    EXPECT_EQ(after("lvDw").top + after("lvDw").height, 6030 + 900 - 735);
    EXPECT_EQ(after("picCommand").top, 6030 + 900 - 630);
    // The real widgets follow the twips.
    EXPECT_EQ(CHILD(QWidget, "lvDw")->width(), w.TwipsToPixels(after("lvDw").width));
}

TEST_F(WindowTest, ShrinkingSkipsNegativeSizesButMovesButtonsPastTheEdge) {
    auto t = MakeWindow();
    frmDw &w = *t->window;
    w.LayoutPass(8295, 6030);
    auto rect = [&](const char *n) {
        return w.TwipsRectOf(child<QWidget>(w, QString::fromLatin1(n)));
    };
    w.LayoutPass(1000, 6030); // the list (840) still fits, the boxes (1320) do not
    EXPECT_EQ(rect("lvDw").width, 160);
    EXPECT_EQ(rect("txtMasterDir").width, 6975) << "kept its last valid width";
    EXPECT_EQ(rect("cmdBegin").left, 1000 - 1275);
    EXPECT_EQ(rect("cmdSave").left, 1000 - 5235);
    w.LayoutPass(500, 3000);
    EXPECT_EQ(rect("lvDw").width, 160) << "500 - 840 is negative: skipped";
    EXPECT_EQ(rect("lvDw").height, 2775) << "3000 - 3255 is negative: skipped";
    EXPECT_EQ(rect("picCommand").top, 3000 - 630);
    EXPECT_EQ(rect("cmdBegin").left, 500 - 1275);
}

TEST_F(WindowTest, BeginRuleFollowsBoxesAndMatchOptions) {
    auto t = MakeWindow();
    frmDw &w = *t->window;
    auto *begin = CHILD(QPushButton, "cmdBegin");
    auto *size = CHILD(QCheckBox, "chkSize");
    auto *date = CHILD(QCheckBox, "chkDate");
    prompts.fake.folderAnswers = {QStringLiteral("/m")};
    w.ChooseMasterDirectory();
    EXPECT_FALSE(begin->isEnabled()) << "compare box still empty";
    prompts.fake.folderAnswers = {QStringLiteral("/c")};
    w.ChooseCompareDirectory();
    EXPECT_TRUE(begin->isEnabled());
    size->click();
    EXPECT_FALSE(begin->isEnabled()) << "neither option checked";
    date->click();
    EXPECT_TRUE(begin->isEnabled());
    date->click();
    EXPECT_FALSE(begin->isEnabled());
    // A choice never disables Begin, even with both options off.
    begin->setEnabled(true);
    prompts.fake.folderAnswers = {QStringLiteral("/m2")};
    w.ChooseMasterDirectory();
    EXPECT_TRUE(begin->isEnabled());
    // A box of blanks counts as filled.
    CHILD(QLineEdit, "txtCompareDir")->setText(QStringLiteral(" "));
    size->click();
    EXPECT_TRUE(begin->isEnabled());
}

TEST_F(WindowTest, ChoosingDirectories) {
    auto t = MakeWindow();
    frmDw &w = *t->window;
    auto *master = CHILD(QLineEdit, "txtMasterDir");
    auto *compare = CHILD(QLineEdit, "txtCompareDir");
    // Cancel changes nothing.
    master->setText(QStringLiteral("/old"));
    w.ChooseMasterDirectory();
    EXPECT_EQ(master->text(), QStringLiteral("/old"));
    ASSERT_EQ(prompts.fake.browses.size(), 1u);
    EXPECT_EQ(prompts.fake.browses[0].title, QStringLiteral("Select Master Directory..."));
    EXPECT_EQ(prompts.fake.browses[0].initialDir, QStringLiteral("/old"));
    EXPECT_TRUE(prompts.fake.messages.empty());

    // The same directory as the other box is refused; another case is accepted.
    compare->setText(QStringLiteral("/data/Set"));
    prompts.fake.folderAnswers = {QStringLiteral("/data/Set")};
    w.ChooseMasterDirectory();
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_EQ(prompts.fake.messages[0].title, QStringLiteral("Invalid Path"));
    EXPECT_EQ(prompts.fake.messages[0].text,
              QStringLiteral("Cannot specify same directory as compare directory."));
    EXPECT_EQ(prompts.fake.messages[0].icon, Prompts::Icon::Exclamation);
    EXPECT_EQ(master->text(), QStringLiteral("/old"));
    prompts.fake.folderAnswers = {QStringLiteral("/data/set")};
    w.ChooseMasterDirectory();
    EXPECT_EQ(master->text(), QStringLiteral("/data/set"));

    prompts.fake.folderAnswers = {QStringLiteral("/data/set")};
    w.ChooseCompareDirectory();
    ASSERT_EQ(prompts.fake.messages.size(), 2u);
    EXPECT_EQ(prompts.fake.messages[1].text,
              QStringLiteral("Cannot specify same directory as master directory."));
    EXPECT_EQ(compare->text(), QStringLiteral("/data/Set"));
    EXPECT_EQ(prompts.fake.browses.back().title, QStringLiteral("Select Compare Directory..."));

    // One trailing separator goes, but the root keeps its own.
    prompts.fake.folderAnswers = {QStringLiteral("/mnt/x/")};
    w.ChooseCompareDirectory();
    EXPECT_EQ(compare->text(), QStringLiteral("/mnt/x"));
    prompts.fake.folderAnswers = {QStringLiteral("/")};
    w.ChooseCompareDirectory();
    EXPECT_EQ(compare->text(), QStringLiteral("/"));
}

TEST_F(WindowTest, PicturesActAsTheBrowseButtons) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    prompts.fake.folderAnswers = {QStringLiteral("/pic/master"), QStringLiteral("/pic/compare")};
    QTest::mouseClick(CHILD(QLabel, "imgMaster"), Qt::LeftButton);
    QTest::mouseClick(CHILD(QLabel, "imgCompare"), Qt::LeftButton);
    EXPECT_EQ(CHILD(QLineEdit, "txtMasterDir")->text(), QStringLiteral("/pic/master"));
    EXPECT_EQ(CHILD(QLineEdit, "txtCompareDir")->text(), QStringLiteral("/pic/compare"));
}

TEST_F(WindowTest, EscapeAndF8CloseFromAnyControl) {
    for (const char *from : {"lvDw", "txtEXT2", "chkDate"}) {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_F8}) {
            RemoveUserSettings();
            auto t = MakeWindow(true);
            frmDw &w = *t->window;
            QWidget *target = child<QWidget>(w, QString::fromLatin1(from));
            target->setFocus();
            QTest::keyClick(target, key);
            EXPECT_EQ(t->ends, 1) << from << " " << key;
            EXPECT_FALSE(w.isVisible());
            EXPECT_TRUE(QFile::exists(UserSettingsFile())) << "the close steps ran";
        }
    }
}

TEST_F(WindowTest, ExitMenuRunsTheCloseSteps) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    CHILD(QAction, "mnuFileExit")->trigger();
    EXPECT_EQ(t->ends, 1);
    EXPECT_TRUE(ReadUserSettings().contains(QStringLiteral("Save=1")));
}

TEST_F(WindowTest, DoubleClickOnTheBackgroundShowsTheShellAbout) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    QWidget *client = w.centralWidget();
    // An empty spot left of the check boxes, below the pictures.
    const QPoint spot(w.TwipsToPixels(200), w.TwipsToPixels(2000));
    ASSERT_EQ(client->childAt(spot), nullptr);
    QTest::mouseDClick(client, Qt::LeftButton, Qt::NoModifier, spot);
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    const QString expected = QStringLiteral("Dirwise 7.0.0 - By The Dirwise Authors");
    EXPECT_TRUE(prompts.fake.messages[0].title.contains(expected) ||
                prompts.fake.messages[0].text.contains(expected))
        << prompts.fake.messages[0].title.toStdString();
    // A double-click on a control is the control's.
    QTest::mouseDClick(CHILD(QWidget, "txtEXT0"), Qt::LeftButton);
    EXPECT_EQ(prompts.fake.messages.size(), 1u);
}

TEST_F(WindowTest, F1OpensTheHelpPageEvenWhenTheButtonIsDisabled) {
    // A fake xdg-open records what the desktop was asked to open.
    const QString bin = QString::fromStdString(ScratchRoot()) + QStringLiteral("/fakebin");
    QDir().mkpath(bin);
    const QString log = bin + QStringLiteral("/opened.txt");
    QFile::remove(log);
    {
        QFile script(bin + QStringLiteral("/xdg-open"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(log).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + oldPath);

    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    EXPECT_FALSE(CHILD(QPushButton, "cmdHelp")->isEnabled());
    QTest::keyClick(CHILD(QWidget, "txtEXT0"), Qt::Key_F1);
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(log)) << "a missing help page opens nothing";
    EXPECT_TRUE(prompts.fake.messages.empty());

    QFile page(m_programDir + QStringLiteral("/dw.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html></html>");
    page.close();
    QTest::keyClick(CHILD(QWidget, "lvDw"), Qt::Key_F1);
    EXPECT_TRUE(WaitFor([&] { return QFile::exists(log); }));
    QFile opened(log);
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(opened.readAll()).trimmed(),
              m_programDir + QStringLiteral("/dw.htm"));
    qputenv("PATH", oldPath);
}

TEST_F(WindowTest, SharedAccessKeyMovesTheFocusBetweenItsControls) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    CHILD(QLineEdit, "txtMasterDir")->setText(QStringLiteral("/a"));
    CHILD(QLineEdit, "txtCompareDir")->setText(QStringLiteral("/b"));
    w.UpdateBeginEnabled();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto *subDir = CHILD(QCheckBox, "chkSubDir");
    auto *begin = CHILD(QPushButton, "cmdBegin");
    const bool wasChecked = subDir->isChecked();
    QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([&] { return subDir->hasFocus() || begin->hasFocus(); }));
    QWidget *first = QApplication::focusWidget();
    QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([&] { return QApplication::focusWidget() != first; }));
    EXPECT_TRUE(subDir->hasFocus() || begin->hasFocus());
    EXPECT_EQ(subDir->isChecked(), wasChecked) << "an ambiguous key only moves the focus";
    EXPECT_FALSE(w.IsRunning());
}

namespace {
// Closes every About box as soon as it is shown, and counts them: the box is modal, so the
// test answers it from inside its own event loop instead of racing it with a timer.
class AboutCloser final : public QObject {
public:
    AboutCloser() { qApp->installEventFilter(this); }
    ~AboutCloser() override { qApp->removeEventFilter(this); }
    int shown = 0;
    QStringList titles;
    bool modal = true;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && watched->inherits("dirwise::frmAbout")) {
            auto *box = static_cast<QDialog *>(watched);
            ++shown;
            titles << box->windowTitle();
            modal = modal && box->isModal();
            QMetaObject::invokeMethod(box, &QDialog::reject, Qt::QueuedConnection);
        }
        return false;
    }
};
} // namespace

TEST_F(WindowTest, AboutButtonMenuAndF2ShowTheAboutBoxModally) {
    auto t = MakeWindow(true);
    frmDw &w = *t->window;
    AboutCloser closer;
    CHILD(QPushButton, "cmdAbout")->click();
    CHILD(QAction, "mnuHelpAbout")->trigger();
    QTest::keyClick(CHILD(QWidget, "chkHide"), Qt::Key_F2);
    EXPECT_EQ(closer.shown, 3);
    EXPECT_TRUE(closer.modal);
    for (const QString &title : closer.titles)
        EXPECT_EQ(title, QStringLiteral("About Dirwise"));
    EXPECT_TRUE(w.isVisible()) << "the window stays";
    EXPECT_EQ(t->ends, 0);
}
