#include "DefaultPrompts.h"
#include "QtPrinters.h"
#include "modDialog32.h"

#include <QFile>
#include <QLibraryInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>

using dirwise::Prompts;
using namespace dirwise::modDialog32;

namespace {

struct Question {
    QWidget *owner = nullptr;
    QString kind, title, start, filter;
};

struct Message {
    Prompts::Icon icon = Prompts::Icon::Information;
    QString title, text, details;
};

// Answers every question from a script and records what was asked.
class ScriptedPrompts : public Prompts {
public:
    QString browseForFolder(QWidget *owner, const QString &title,
                            const QString &initialDir) override {
        asked.push_back({owner, QStringLiteral("folder"), title, initialDir, QString()});
        return next();
    }
    QString saveFileName(QWidget *owner, const QString &title, const QString &initialName,
                         const QString &filter) override {
        asked.push_back({owner, QStringLiteral("save"), title, initialName, filter});
        return next();
    }
    void message(QWidget *, Icon icon, const QString &title, const QString &text,
                 const QString &details) override {
        messages.push_back({icon, title, text, details});
    }

    std::deque<QString> answers;
    std::vector<Question> asked;
    std::vector<Message> messages;

private:
    QString next() {
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class Choosers : public ::testing::Test {
protected:
    void SetUp() override { dirwise::setPrompts(&m_prompts); }
    void TearDown() override { dirwise::setPrompts(nullptr); }
    ScriptedPrompts m_prompts;
    QWidget m_owner;
};

} // namespace

TEST_F(Choosers, BrowseForFolderAsksWithTheCallersTextsAndReturnsTheChoiceUnchanged) {
    m_prompts.answers = {QStringLiteral("/data/a, b/c d"), QString()};
    EXPECT_EQ(BrowseForFolder(&m_owner, QStringLiteral("Select Master Directory..."),
                              QStringLiteral("/home/u/master")),
              QStringLiteral("/data/a, b/c d"));
    // Cancel.
    EXPECT_EQ(BrowseForFolder(&m_owner, QStringLiteral("Select Compare Directory..."), QString()),
              QString());
    ASSERT_EQ(m_prompts.asked.size(), 2u);
    EXPECT_EQ(m_prompts.asked[0].owner, &m_owner);
    EXPECT_EQ(m_prompts.asked[0].kind, QStringLiteral("folder"));
    EXPECT_EQ(m_prompts.asked[0].title, QStringLiteral("Select Master Directory..."));
    EXPECT_EQ(m_prompts.asked[0].start, QStringLiteral("/home/u/master"));
    EXPECT_EQ(m_prompts.asked[1].start, QString());
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(Choosers, ShowFileDialogAsksForASaveNameAndReturnsEmptyOnCancel) {
    m_prompts.answers = {QStringLiteral("/home/u/out dir/dw.txt"), QString()};
    const QString filter = QStringLiteral("Text File (*.txt)");
    EXPECT_EQ(ShowFileDialog(&m_owner, QStringLiteral("Save Results As..."),
                             QStringLiteral("dw.txt"), filter),
              QStringLiteral("/home/u/out dir/dw.txt"));
    EXPECT_EQ(ShowFileDialog(&m_owner, QStringLiteral("Save Results As..."),
                             QStringLiteral("dw.txt"), filter),
              QString());
    ASSERT_EQ(m_prompts.asked.size(), 2u);
    EXPECT_EQ(m_prompts.asked[0].kind, QStringLiteral("save"));
    EXPECT_EQ(m_prompts.asked[0].start, QStringLiteral("dw.txt"));
    EXPECT_EQ(m_prompts.asked[0].filter, filter);
    EXPECT_TRUE(m_prompts.messages.empty());
}

namespace {

// The real save prompt with its chooser round answered from a script, so the refusal of
// a missing folder is tested without a dialog on screen.
class ScriptedSaveRounds : public dirwise::DefaultPrompts {
public:
    void message(QWidget *, Icon icon, const QString &title, const QString &text,
                 const QString &details) override {
        messages.push_back({icon, title, text, details});
    }
    std::deque<QString> answers;
    QStringList starts;
    std::vector<Message> messages;

protected:
    QString askSaveFileName(QWidget *, const QString &, const QString &start,
                            const QString &) override {
        starts.append(start);
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace

TEST(DefaultPrompts, SaveNameInAMissingFolderIsRefusedAndAskedAgain) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.path() + QStringLiteral("/no such folder/dw.txt");
    const QString good = dir.path() + QStringLiteral("/dw.txt");

    ScriptedSaveRounds prompts;
    prompts.answers = {missing, good};
    EXPECT_EQ(prompts.saveFileName(nullptr, QStringLiteral("Save Results As..."),
                                   QStringLiteral("dw.txt"), QStringLiteral("Text File (*.txt)")),
              good);
    // The second round starts at what the user typed.
    EXPECT_EQ(prompts.starts, (QStringList{QStringLiteral("dw.txt"), missing}));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].icon, Prompts::Icon::Exclamation);
    EXPECT_TRUE(prompts.messages[0].text.contains(dir.path() + QStringLiteral("/no such folder")))
        << prompts.messages[0].text.toStdString();

    // A cancel after the refusal is a cancel; a file's name used as a folder is refused too.
    ScriptedSaveRounds cancelling;
    const QString underFile = good + QStringLiteral("/x.txt");
    QFile(good).open(QIODevice::WriteOnly);
    cancelling.answers = {underFile};
    EXPECT_EQ(cancelling.saveFileName(nullptr, QStringLiteral("Save"), QStringLiteral("dw.txt"),
                                      QString()),
              QString());
    EXPECT_EQ(cancelling.messages.size(), 1u);
    EXPECT_EQ(cancelling.starts.size(), 2);
}

TEST_F(Choosers, ShellAboutShowsTheTextsAndThePlatform) {
    const QString app = QStringLiteral("Dirwise 7.0.0 - By The Dirwise Authors");
    ShowShellAbout(app, QStringLiteral("Other line"));
    ASSERT_EQ(m_prompts.messages.size(), 1u);
    const Message &shown = m_prompts.messages[0];
    EXPECT_EQ(shown.icon, Prompts::Icon::Information);
    EXPECT_EQ(shown.title, QStringLiteral("About ") + app);
    EXPECT_TRUE(shown.text.startsWith(app + QStringLiteral("\nOther line\n")));
    for (const QString &part : {QSysInfo::prettyProductName(), QSysInfo::kernelVersion(),
                                QLibraryInfo::version().toString()})
        EXPECT_TRUE(shown.text.contains(part)) << part.toStdString();

    ShowShellAbout(app);
    ASSERT_EQ(m_prompts.messages.size(), 2u);
    EXPECT_TRUE(m_prompts.messages[1].text.startsWith(app + QStringLiteral("\n\n")));
}
