#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace dirwise {

class MainWindow;

// The argument string of the command line: the arguments after the program's name (Qt's
// own options already taken out by QApplication), joined with single blanks.
[[nodiscard]] QString joinArguments(const QStringList &arguments);

// What start-up needs of the world; tests replace every member.
struct StartupServices {
    // Shows the About box modally with no owner and returns when it is closed.
    std::function<void()> showAboutBox;
    // Runs the event loop until the program ends; returns the exit code.
    std::function<int()> runEventLoop;
    // Shows the start-up failure message (already beeped), modally.
    std::function<void(const QString &title, const QString &text)> showFailure;
    // Receives the created main window before the loop runs (after it is shown). Optional.
    std::function<void(MainWindow &)> windowCreated;
};

// The real services: the About box (its picture opens the home page), QApplication::exec() and the
// critical message box of the process-wide Prompts.
[[nodiscard]] StartupServices defaultStartupServices();

// The beep and the failure message: "Error loading main form: " and `description`, under
// the caption "Dirwise : Error". Returns the exit code the program ends with (1).
int reportStartupFailure(const QString &description, const StartupServices &services);

// Start-up: "/?" exactly shows only the About box (no main window, the settings untouched)
// and returns 0 when it closes. Any other argument string creates the main window, runs its
// load steps and shows it, then runs the event loop and returns its exit code; a failure in
// the load goes to reportStartupFailure and its exit code is returned. The window, once shown,
// ends the process itself when it closes; it also does so on SIGTERM, SIGHUP and the
// session's commit-data request, after saving the settings. `window` receives ownership of
// the main window when not null (tests); otherwise it lives until the process ends.
int runStartup(const QString &argumentString, const StartupServices &services,
               std::unique_ptr<MainWindow> *window = nullptr);

} // namespace dirwise
