#include "Startup.h"

#include "AboutBox.h"
#include "AppInfo.h"
#include "DesktopLaunch.h"
#include "MainWindow.h"
#include "Prompts.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>

#include <exception>

namespace dirwise {

QString joinArguments(const QStringList &arguments) {
    return arguments.mid(1).join(QLatin1Char(' '));
}

StartupServices defaultStartupServices() {
    StartupServices s;
    s.showAboutBox = [] {
        AboutBox box;
        QObject::connect(&box, &AboutBox::pictureClicked, &box,
                         [] { desktop::openTarget(HomePageAddress()); });
        box.exec();
    };
    s.runEventLoop = [] { return QApplication::exec(); };
    s.showFailure = [](const QString &title, const QString &text) {
        prompts().message(nullptr, Prompts::Icon::Critical, title, text);
    };
    return s;
}

int reportStartupFailure(const QString &description, const StartupServices &services) {
    QApplication::beep();
    if (services.showFailure)
        services.showFailure(ApplicationTitle() + QStringLiteral(" : Error"),
                             QStringLiteral("Error loading main form: ") + description);
    return 1;
}

int runStartup(const QString &argumentString, const StartupServices &services,
               std::unique_ptr<MainWindow> *window) {
    if (argumentString == QStringLiteral("/?")) {
        if (services.showAboutBox)
            services.showAboutBox();
        return 0;
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
