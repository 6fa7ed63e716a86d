#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace dirwise {

class MainWindow;

// The command line's answer when it needs no window: -h or --help (the usage on standard
// output, status 0), --version ("dw " and the version, status 0), or any other argument
// beginning with "--" (a line naming it, escaped as names are shown, and the usage on
// standard error, status 2). The first such argument decides; a lone "--" ends the options,
// so nothing after it is one. dw asks this before it creates the application object, so
// these work without a display. `arguments` are the raw bytes after the program's name.
struct EarlyExit {
    int status = 0;
    QString out; // for standard output
    QString err; // for standard error
};
[[nodiscard]] std::optional<EarlyExit> earlyExit(const QList<QByteArray> &arguments);

// The one line (ending in a line feed) dw prints on standard error when no window system
// can be reached, naming the displays it was given (`display` and `waylandDisplay` as the
// environment holds them, empty when unset), escaped as names are shown.
[[nodiscard]] QString noDisplayText(const QByteArray &display, const QByteArray &waylandDisplay);

// The usage text, ending in a line feed.
[[nodiscard]] QString usageText();

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
    // Writes a text to standard error (the usage after a wrong command line).
    std::function<void(const QString &text)> printError;
};

// The real services: the About box (its picture opens the home page), QApplication::exec(),
// the critical message box of the process-wide Prompts and standard error.
[[nodiscard]] StartupServices defaultStartupServices();

// The beep and the failure message: "Error loading main form: " and `description`, under
// the caption "Dirwise : Error". Returns the exit code the program ends with (1).
int reportStartupFailure(const QString &description, const StartupServices &services);

// Start-up with the arguments after the program's name (Qt's own options already taken out
// by QApplication, earlyExit already asked). "/?" alone shows only the About box (no main
// window, the settings untouched) and returns 0 when it closes. More than two arguments
// print the usage through printError, say so through showFailure (folders dropped on the
// launcher come this way, with no terminal to read) and return 2. Otherwise the main window is
// created, its load steps run and it is shown; the arguments, MASTER and COMPARE, then fill the
// directory boxes (MainWindow::takeCommandLineDirectories); then the event loop runs and its
// exit code is returned. A failure in the load goes to reportStartupFailure and its exit
// code is returned. The window, once shown, ends the process itself when it closes; it also
// does so on SIGTERM, SIGHUP and the session's commit-data request, after saving the
// settings. `window` receives ownership of the main window when not null (tests);
// otherwise it lives until the process ends.
int runStartup(const QStringList &arguments, const StartupServices &services,
               std::unique_ptr<MainWindow> *window = nullptr);

} // namespace dirwise
