// The main window: its first state, layout pass, Begin rule, choosers and closing keys.
#include "AppInfo.h"
#include "AppTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>

using namespace dirwise;
using namespace dirwise::test;

namespace {
using WindowTest = WindowFixture;
} // namespace

TEST_F(WindowTest, FirstStartWithAnEmptyStoreAndTheHelpPage) {
    QTemporaryDir programDir;
    SetProgramFilePathForTests(programDir.filePath(QStringLiteral("dw")));
    open();
    EXPECT_EQ(props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave", "optEX"}),
              QStringLiteral("1|1|0|0|1|1"));
    EXPECT_EQ(props("enabled", {"cmdBegin", "cmdSave", "cmdHelp", "mnuHelpContents"}),
              QStringLiteral("0|0|0|0"));
    EXPECT_EQ(props("visible", {"cmdBegin", "cmdStop"}), QStringLiteral("1|0"));
    EXPECT_EQ(
        props("text", {"txtMasterDir", "txtCompareDir", "optIN", "chkHide", "mnuHelpAbout"}),
        QStringLiteral("||Include Extentions >|Don't Show Files that &Match|About Dirwise..."));
    EXPECT_EQ(props("toolTip", {"cmdMasterDir", "cmdSave", "cmdBegin", "cmdStop"}),
              QStringLiteral("Select Directory|Save Results|Begin Compare|Stop Compare"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Dirwise 7.0.0"));
    EXPECT_EQ(QApplication::focusWidget(), child("cmdMasterDir"));
    EXPECT_EQ(w->StatusText(), QStringLiteral("Ready"));
    EXPECT_EQ(w->Model().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Compare Date"));

    QFile page(programDir.filePath(QStringLiteral("dw.htm")));
    EXPECT_TRUE(page.open(QIODevice::WriteOnly) && page.write("<html></html>") > 0);
    page.close();
    open(false);
    EXPECT_EQ(props("enabled", {"cmdHelp", "mnuHelpContents"}), QStringLiteral("1|1"));
    SetProgramFilePathForTests(QString());
}

TEST_F(WindowTest, LayoutPassWidensAndShrinks) {
    open(false);
    auto rect = [&](const char *name) { return w->TwipsRectOf(child(name)); };
    // Each control with how far it moves and grows for 1500 twips of extra width.
    const std::tuple<const char *, int, int> anchors[] = {
        {"lvDw", 0, 1500},          {"txtMasterDir", 0, 1500},
        {"txtCompareDir", 0, 1500}, {"picCommand", 0, 1500},
        {"cmdMasterDir", 1500, 0},  {"cmdCompareDir", 1500, 0},
        {"chkSave", 1500, 0},       {"cmdSave", 1500, 0},
        {"cmdAbout", 1500, 0},      {"cmdHelp", 1500, 0},
        {"cmdBegin", 1500, 0},      {"cmdStop", 1500, 0},
        {"txtEXT0", 0, 0},          {"optEX", 0, 0}};
    w->LayoutPass(8295, 6030);
    std::vector<TwipsRect> before;
    for (const auto &[name, moves, grows] : anchors)
        before.push_back(rect(name));
    w->LayoutPass(8295 + 1500, 6030 + 900);
    for (std::size_t i = 0; i < std::size(anchors); ++i) {
        const auto &[name, moves, grows] = anchors[i];
        EXPECT_EQ(rect(name).left, before[i].left + moves) << name;
        EXPECT_EQ(rect(name).width, before[i].width + grows) << name;
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
    QWidget *begin = child("cmdBegin");
    auto *size = child<QCheckBox>("chkSize");
    auto *date = child<QCheckBox>("chkDate");
    prompts.answers = {QStringLiteral("/m"), QStringLiteral("/c"), QStringLiteral("/m2")};
    w->ChooseMasterDirectory();
    EXPECT_FALSE(begin->isEnabled()) << "compare box still empty";
    w->ChooseCompareDirectory();
    EXPECT_TRUE(begin->isEnabled());
    size->click();
    EXPECT_FALSE(begin->isEnabled()) << "neither option checked";
    date->click();
    EXPECT_TRUE(begin->isEnabled());
    date->click();
    EXPECT_FALSE(begin->isEnabled());
    begin->setEnabled(true);
    w->ChooseMasterDirectory();
    EXPECT_TRUE(begin->isEnabled()) << "a choice never disables Begin";
    child<QLineEdit>("txtCompareDir")->setText(QStringLiteral(" "));
    size->click();
    EXPECT_TRUE(begin->isEnabled()) << "a box of blanks counts as filled";
}

TEST_F(WindowTest, ChoosingDirectoriesThroughButtonsAndPictures) {
    open();
    auto choose = [&](const char *control, const char *answer) {
        prompts.answers = {QString::fromLatin1(answer)};
        QTest::mouseClick(child(control), Qt::LeftButton);
        return props("text", {"txtMasterDir", "txtCompareDir"});
    };
    child<QLineEdit>("txtMasterDir")->setText(QStringLiteral("/old"));
    child<QLineEdit>("txtCompareDir")->setText(QStringLiteral("/data/Set"));
    prompts.answers.clear();
    QTest::mouseClick(child("imgMaster"), Qt::LeftButton); // cancelled
    EXPECT_EQ(props("text", {"txtMasterDir"}), QStringLiteral("/old"));
    EXPECT_EQ(prompts.asked, QStringList{QStringLiteral("Select Master Directory...|/old")});
    EXPECT_EQ(choose("cmdMasterDir", "/data/Set"), QStringLiteral("/old|/data/Set"));
    EXPECT_EQ(choose("cmdMasterDir", "/data/set"), QStringLiteral("/data/set|/data/Set"));
    EXPECT_EQ(choose("imgCompare", "/data/set"), QStringLiteral("/data/set|/data/Set"));
    ASSERT_EQ(prompts.messages.size(), 2u) << "the same directory is refused, not another case";
    for (const char *other : {"compare", "master"}) {
        const auto &m = prompts.messages[other[0] == 'm'];
        EXPECT_EQ(m.icon, Prompts::Icon::Exclamation);
        EXPECT_EQ(m.title, QStringLiteral("Invalid Path"));
        EXPECT_EQ(m.text, QStringLiteral("Cannot specify same directory as %1 directory.")
                              .arg(QLatin1String(other)));
    }
    EXPECT_EQ(choose("cmdCompareDir", "/mnt/x/"), QStringLiteral("/data/set|/mnt/x"));
    EXPECT_EQ(choose("imgCompare", "/"), QStringLiteral("/data/set|/")) << "the root keeps its /";
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
