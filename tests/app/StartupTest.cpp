// Start-up: the argument string, the About-only mode, the failure path and the signals
// that end the session.
#include "AppTestSupport.h"
#include "frmDw.h"
#include "modCommand.h"

#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

using namespace dirwise;
using namespace dirwise::test;

namespace {

struct Recorder {
    int abouts = 0;
    int loops = 0;
    QStringList failures;
    frmDw *created = nullptr;
    int ends = 0;

    StartupServices services() {
        StartupServices s;
        s.showAboutBox = [this] { ++abouts; };
        s.runEventLoop = [this] {
            ++loops;
            return 0;
        };
        s.showFailure = [this](const QString &title, const QString &text) {
            failures << title << text;
        };
        s.windowCreated = [this](frmDw &w) {
            created = &w;
            w.SetProgramEnd([this] { ++ends; });
        };
        return s;
    }
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveUserSettings(); }
    void TearDown() override { RemoveUserSettings(); }
    ScopedPrompts prompts;
};

} // namespace

TEST(ArgumentString, JoinsTheArgumentsAfterTheProgramName) {
    EXPECT_EQ(ArgumentString({QStringLiteral("dw")}), QString());
    EXPECT_EQ(ArgumentString({QStringLiteral("dw"), QStringLiteral("/?")}), QStringLiteral("/?"));
    EXPECT_EQ(ArgumentString({QStringLiteral("dw"), QStringLiteral("/?"), QStringLiteral("/?")}),
              QStringLiteral("/? /?"));
}

TEST_F(StartupTest, HelpRequestShowsOnlyTheAboutBoxAndLeavesTheSettingsAlone) {
    // A settings file that would fail the load proves it is never read.
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nCheckDate=abc\n"));
    Recorder r;
    std::unique_ptr<frmDw> window;
    EXPECT_EQ(modCommand(QStringLiteral("/?"), r.services(), &window), 0);
    EXPECT_EQ(r.abouts, 1);
    EXPECT_EQ(r.loops, 0);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(r.created, nullptr);
    EXPECT_TRUE(r.failures.isEmpty());
    EXPECT_EQ(ReadUserSettings(), QStringLiteral("[Settings]\nSave=1\nCheckDate=abc\n"));

    RemoveUserSettings();
    EXPECT_EQ(modCommand(QStringLiteral("/?"), r.services(), &window), 0);
    EXPECT_FALSE(QFile::exists(UserSettingsFile())) << "About-only mode writes nothing";
}

TEST_F(StartupTest, OtherArgumentStringsStartNormally) {
    for (const char *args : {"", "/h", "-?", "/?/?", "/? ", "/? /?"}) {
        Recorder r;
        std::unique_ptr<frmDw> window;
        EXPECT_EQ(modCommand(QString::fromLatin1(args), r.services(), &window), 0) << args;
        EXPECT_EQ(r.abouts, 0) << args;
        EXPECT_EQ(r.loops, 1) << args;
        ASSERT_NE(window, nullptr) << args;
        EXPECT_TRUE(window->isVisible()) << args;
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Dirwise 7.0.0"));
    }
}

TEST_F(StartupTest, BadStoredValueGoesToTheStartupErrorPath) {
    WriteUserSettings(QStringLiteral("[Settings]\nSave=1\nCheckDate=abc\n"));
    Recorder r;
    std::unique_ptr<frmDw> window;
    EXPECT_EQ(modCommand(QString(), r.services(), &window), 1);
    EXPECT_EQ(window, nullptr) << "the main window never appears";
    EXPECT_EQ(r.created, nullptr);
    EXPECT_EQ(r.loops, 0);
    ASSERT_EQ(r.failures.size(), 2);
    EXPECT_EQ(r.failures[0], QStringLiteral("Dirwise : Error"));
    EXPECT_TRUE(r.failures[1].startsWith(QStringLiteral("Error loading main form: ")));
    EXPECT_TRUE(r.failures[1].contains(QStringLiteral("CheckDate")));
    EXPECT_TRUE(r.failures[1].contains(QStringLiteral("abc")));
}

TEST_F(StartupTest, DefaultFailureMessageIsCriticalThroughPrompts) {
    const StartupServices s = DefaultStartupServices();
    EXPECT_EQ(StartupErrorPath(QStringLiteral("boom"), s), 1);
    ASSERT_EQ(prompts.fake.messages.size(), 1u);
    EXPECT_EQ(prompts.fake.messages[0].icon, Prompts::Icon::Critical);
    EXPECT_EQ(prompts.fake.messages[0].title, QStringLiteral("Dirwise : Error"));
    EXPECT_EQ(prompts.fake.messages[0].text, QStringLiteral("Error loading main form: boom"));
}

TEST_F(StartupTest, TerminationSignalsSaveTheSettingsAndEnd) {
    for (int sig : {SIGTERM, SIGHUP}) {
        RemoveUserSettings();
        Recorder r;
        std::unique_ptr<frmDw> window;
        ASSERT_EQ(modCommand(QString(), r.services(), &window), 0);
        ASSERT_NE(window, nullptr);
        ::raise(sig);
        EXPECT_TRUE(WaitFor([&] { return r.ends > 0; })) << sig;
        EXPECT_TRUE(ReadUserSettings().contains(QStringLiteral("Save=1"))) << sig;
        // A second route (the window's own close) finds the close steps done.
        window->close();
        EXPECT_EQ(r.ends, 1) << sig;
    }
}
