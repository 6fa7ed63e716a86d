// Start-up: the argument string, the About-only mode, the failure path and the signals that
// end the session.
#include "AppTestSupport.h"
#include "modCommand.h"

#include <csignal>

using namespace dirwise;
using namespace dirwise::test;

namespace {

class StartupTest : public WindowFixture {
protected:
    // Runs start-up with services that only record what they were asked to do.
    int run(const QString &args) {
        log.clear();
        return modCommand(
            args,
            {[this] { log << QStringLiteral("about"); },
             [this] { return log << QStringLiteral("loop"), 0; },
             [this](const QString &title, const QString &text) { log << title + "|" + text; },
             [this](frmDw &created) { created.SetProgramEnd([this] { ++ends; }); }},
            &w);
    }
    QStringList log;
};

} // namespace

TEST_F(StartupTest, HelpRequestShowsOnlyTheAboutBoxAndOtherStringsStartNormally) {
    EXPECT_EQ(ArgumentString({QStringLiteral("dw"), QStringLiteral("/?"), QStringLiteral("/?")}),
              QStringLiteral("/? /?"));
    // A settings file that would fail the load proves it is never read, nor written.
    const QString bad = QStringLiteral("[Settings]\nSave=1\nCheckDate=abc\n");
    WriteSettings(bad);
    EXPECT_EQ(run(QStringLiteral("/?")), 0);
    EXPECT_EQ(log, QStringList{QStringLiteral("about")});
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(ReadSettings(), bad);
    WriteSettings({});
    for (const char *args : {"", "/h", "-?", "/?/?", "/? ", "/? /?"}) {
        EXPECT_EQ(run(QString::fromLatin1(args)), 0) << args;
        EXPECT_EQ(log, QStringList{QStringLiteral("loop")}) << args;
        EXPECT_TRUE(w && w->isVisible()) << args;
    }
}

TEST_F(StartupTest, BadStoredValueGoesToTheStartupErrorPath) {
    WriteSettings(QStringLiteral("[Settings]\nSave=1\nCheckDate=abc\n"));
    EXPECT_EQ(run(QString()), 1);
    EXPECT_EQ(w, nullptr) << "the main window never appears";
    ASSERT_EQ(log.size(), 1) << "no event loop either";
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("Dirwise : Error|Error loading main form: ")));
    for (const QString &part :
         {QStringLiteral("CheckDate"), QStringLiteral("\"abc\""), SettingsFile()})
        EXPECT_TRUE(log[0].contains(part)) << log[0].toStdString();
    // The real failure path shows the critical message through the prompts.
    EXPECT_EQ(StartupErrorPath(QStringLiteral("boom"), DefaultStartupServices()), 1);
    EXPECT_EQ(said(),
              QStringList{QStringLiteral("x Dirwise : Error: Error loading main form: boom")});
}

TEST_F(StartupTest, TerminationSignalsSaveTheSettingsAndEnd) {
    for (int sig : {SIGTERM, SIGHUP}) {
        WriteSettings({});
        ends = 0;
        ASSERT_EQ(run(QString()), 0);
        ::raise(sig);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ends > 0; })) << sig;
        EXPECT_TRUE(ReadSettings().contains(QStringLiteral("Save=1"))) << sig;
        w->close(); // a second route finds the close steps done
        EXPECT_EQ(ends, 1) << sig;
    }
}
