#pragma once

#include "Prompts.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dirwise {
class frmDw;
}

namespace dirwise::test {

// The temporary directory of this test run (XDG_CONFIG_HOME is <root>/config).
void SetScratchRoot(const std::string &root);
[[nodiscard]] const std::string &ScratchRoot();
void RemoveScratchRoot();

// The user's settings file and the system-wide one that must be ignored.
[[nodiscard]] QString UserSettingsFile();
[[nodiscard]] QString SystemSettingsFile();
void WriteUserSettings(const QString &content);
[[nodiscard]] QString ReadUserSettings();
void RemoveUserSettings();

// Answers every chooser and message box at once and remembers what was asked.
class FakePrompts final : public Prompts {
public:
    struct Message {
        Icon icon;
        QString title;
        QString text;
        QString details;
    };
    struct Browse {
        QString title;
        QString initialDir;
    };

    QString browseForFolder(QWidget *owner, const QString &title,
                            const QString &initialDir) override;
    QString saveFileName(QWidget *owner, const QString &title, const QString &initialName,
                         const QString &filter) override;
    void message(QWidget *owner, Icon icon, const QString &title, const QString &text,
                 const QString &details) override;

    std::deque<QString> folderAnswers; // empty queue: the user cancels
    std::deque<QString> saveAnswers;
    std::vector<Browse> browses;
    std::vector<QString> saveTitles;
    std::vector<QString> saveInitialNames;
    std::vector<QString> saveFilters;
    std::vector<Message> messages;
    std::function<void(const Message &)> onMessage;
};

// Installs a FakePrompts for the lifetime of the object.
class ScopedPrompts {
public:
    ScopedPrompts();
    ~ScopedPrompts();
    FakePrompts fake;
};

// A loaded main window whose program end is only counted, not the process's end.
struct TestWindow {
    std::unique_ptr<frmDw> window;
    int ends = 0;
};
[[nodiscard]] std::unique_ptr<TestWindow> MakeWindow(bool show = false);

// Waits (processing events) until `done` is true or `ms` pass; returns `done()`.
bool WaitFor(const std::function<bool()> &done, int ms = 5000);

} // namespace dirwise::test
