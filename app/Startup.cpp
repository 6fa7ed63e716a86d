#include "Startup.h"

#include "AboutBox.h"
#include "AppInfo.h"
#include "DesktopLaunch.h"
#include "DisplayText.h"
#include "MainWindow.h"
#include "Prompts.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>

#include <cstdio>
#include <exception>

namespace dirwise {

QString usageText() {
    return QCoreApplication::translate(
        "dirwise::Startup",
        "Usage: dw [MASTER [COMPARE]]\n"
        "       dw /?\n"
        "       dw --help | --version\n"
        "Compare two directory trees file by file, in a window.\n"
        "\n"
        "  MASTER     the master directory to show, in place of the saved one\n"
        "  COMPARE    the compare directory to show, in place of the saved one\n"
        "  /?         show only the About box\n"
        "  -h, --help show this text and exit\n"
        "  --version  show the version and exit\n"
        "  --         end of the options: what follows are directories\n"
        "\n"
        "Qt's own options, such as -platform NAME or -style NAME, are also accepted.\n");
}

std::optional<EarlyExit> earlyExit(const QList<QByteArray> &arguments) {
    for (const QByteArray &argument : arguments) {
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help")
            return EarlyExit{.status = 0, .out = usageText(), .err = {}};
        if (argument == "--version")
            return EarlyExit{.status = 0, .out = "dw " + VersionText() + '\n', .err = {}};
        if (!argument.startsWith("--"))
            continue;
        // An option typed from a file name may hold control sequences: never echo them raw.
        const QString shown = DisplayText(
            std::string_view(argument.constData(), static_cast<std::size_t>(argument.size())));
        return EarlyExit{
            .status = 2,
            .out = {},
            .err = QCoreApplication::translate("dirwise::Startup", "dw: unknown option \"%1\"\n")
                       .arg(shown) +
                   usageText()};
    }
    return std::nullopt;
}

QString noDisplayText(const QByteArray &display, const QByteArray &waylandDisplay) {
    auto shown = [](const QByteArray &value) {
        return DisplayText(
            std::string_view(value.constData(), static_cast<std::size_t>(value.size())));
    };
    if (display.isEmpty() && waylandDisplay.isEmpty())
        return QCoreApplication::translate(
            "dirwise::Startup", "dw: no display to show the window on (neither DISPLAY nor "
                                "WAYLAND_DISPLAY is set); dwc compares without one\n");
    const QString named = display.isEmpty()
                              ? QStringLiteral("WAYLAND_DISPLAY=\"%1\"").arg(shown(waylandDisplay))
                              : QStringLiteral("DISPLAY=\"%1\"").arg(shown(display));
    return QCoreApplication::translate(
               "dirwise::Startup", "dw: cannot open the display to show the window on (%1); dwc "
                                   "compares without one\n")
        .arg(named);
}

StartupServices defaultStartupServices() {
    StartupServices s;
    s.showAboutBox = [] {
        AboutBox box;
        QObject::connect(&box, &AboutBox::pictureClicked, &box,
                         [] { desktop::openTargetWithBusyPointer(HomePageAddress()); });
        box.exec();
    };
    s.runEventLoop = [] { return QApplication::exec(); };
    s.showFailure = [](const QString &title, const QString &text) {
        prompts().message(nullptr, Prompts::Icon::Critical, title, text);
    };
    s.printError = [](const QString &text) {
        const QByteArray bytes = text.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    };
    return s;
}

int reportStartupFailure(const QString &description, const StartupServices &services) {
    QApplication::beep();
    if (services.showFailure)
        services.showFailure(
            ApplicationTitle() + QCoreApplication::translate("dirwise::Startup", " : Error"),
            QCoreApplication::translate("dirwise::Startup", "Error loading main form: ") +
                description);
    return 1;
}

int runStartup(const QStringList &arguments, const StartupServices &services,
               std::unique_ptr<MainWindow> *window) {
    if (arguments == QStringList{QStringLiteral("/?")}) {
        if (services.showAboutBox)
            services.showAboutBox();
        return 0;
    }
    if (arguments.size() > 2) {
        if (services.printError)
            services.printError(
                QCoreApplication::translate("dirwise::Startup", "dw: too many arguments\n") +
                usageText());
        // Folders dropped on the launcher arrive here too, where nobody reads standard error.
        if (services.showFailure)
            services.showFailure(
                ApplicationTitle() + QCoreApplication::translate("dirwise::Startup", " : Error"),
                QCoreApplication::translate("dirwise::Startup",
                                            "Dirwise compares two folders at a time and was "
                                            "given %1. Give it one or two: the master "
                                            "folder, then the compare folder.")
                    .arg(arguments.size()));
        return 2;
    }

    std::unique_ptr<MainWindow> main;
    try {
        main = std::make_unique<MainWindow>();
        main->load();
    } catch (const std::exception &e) {
        main.reset();
        return reportStartupFailure(QString::fromUtf8(e.what()), services);
    }
    main->show();
    main->takeCommandLineDirectories(arguments.value(0), arguments.value(1));

    // Every way the session can end the program closes the window the same way: the
    // settings are written (or deleted) and the process ends.
    QPointer<MainWindow> target = main.get();
    InstallTerminationSignals([target] {
        if (target)
            target->saveSettingsOnClose();
    });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, main.get(),
                     [target](QSessionManager &) {
                         if (target)
                             target->saveSettingsOnClose();
                     });

    if (services.windowCreated)
        services.windowCreated(*main);
    if (window)
        *window = std::move(main);
    else
        (void)main.release(); // lives until the process ends
    return services.runEventLoop ? services.runEventLoop() : 0;
}

} // namespace dirwise
