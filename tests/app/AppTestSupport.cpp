#include "AppTestSupport.h"

#include "frmDw.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

namespace dirwise::test {

namespace {
std::string g_root;
} // namespace

void SetScratchRoot(const std::string &root) { g_root = root; }
const std::string &ScratchRoot() { return g_root; }
void RemoveScratchRoot() {
    if (!g_root.empty())
        QDir(QString::fromStdString(g_root)).removeRecursively();
}

QString UserSettingsFile() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Dirwise/Dirwise.conf");
}

QString SystemSettingsFile() {
    return qEnvironmentVariable("XDG_CONFIG_DIRS") + QStringLiteral("/Dirwise/Dirwise.conf");
}

void WriteUserSettings(const QString &content) {
    QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Dirwise"));
    QFile f(UserSettingsFile());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content.toUtf8());
}

QString ReadUserSettings() {
    QFile f(UserSettingsFile());
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

void RemoveUserSettings() { QFile::remove(UserSettingsFile()); }

QString FakePrompts::browseForFolder(QWidget *, const QString &title, const QString &initialDir) {
    browses.push_back({title, initialDir});
    if (folderAnswers.empty())
        return QString();
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QString FakePrompts::saveFileName(QWidget *, const QString &title, const QString &initialName,
                                  const QString &filter) {
    saveTitles.push_back(title);
    saveInitialNames.push_back(initialName);
    saveFilters.push_back(filter);
    if (saveAnswers.empty())
        return QString();
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

void FakePrompts::message(QWidget *, Icon icon, const QString &title, const QString &text,
                          const QString &details) {
    messages.push_back({icon, title, text, details});
    if (onMessage)
        onMessage(messages.back());
}

ScopedPrompts::ScopedPrompts() { setPrompts(&fake); }
ScopedPrompts::~ScopedPrompts() { setPrompts(nullptr); }

std::unique_ptr<TestWindow> MakeWindow(bool show) {
    auto t = std::make_unique<TestWindow>();
    t->window = std::make_unique<frmDw>();
    TestWindow *raw = t.get();
    t->window->SetProgramEnd([raw] { ++raw->ends; });
    t->window->Load();
    if (show) {
        t->window->show();
        (void)QTest::qWaitForWindowExposed(t->window.get());
    }
    return t;
}

bool WaitFor(const std::function<bool()> &done, int ms) { return QTest::qWaitFor(done, ms); }

} // namespace dirwise::test
