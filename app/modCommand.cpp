#include "modCommand.h"

#include "AppInfo.h"
#include "Prompts.h"
#include "TerminationSignals.h"
#include "frmAbout.h"
#include "frmDw.h"
#include "modWin32Api.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>

#include <exception>

namespace dirwise {

QString ArgumentString(const QStringList &arguments) {
    return arguments.mid(1).join(QLatin1Char(' '));
}

StartupServices DefaultStartupServices() {
    StartupServices s;
    s.showAboutBox = [] {
        frmAbout box;
        QObject::connect(&box, &frmAbout::pictureClicked, &box,
                         [] { modWin32Api::OpenTarget(HomePageAddress()); });
        box.exec();
    };
    s.runEventLoop = [] { return QApplication::exec(); };
    s.showFailure = [](const QString &title, const QString &text) {
        prompts().message(nullptr, Prompts::Icon::Critical, title, text);
    };
    return s;
}

int StartupErrorPath(const QString &description, const StartupServices &services) {
    QApplication::beep();
    if (services.showFailure)
        services.showFailure(ApplicationTitle() + QStringLiteral(" : Error"),
                             QStringLiteral("Error loading main form: ") + description);
    return 1;
}

int modCommand(const QString &argumentString, const StartupServices &services,
               std::unique_ptr<frmDw> *window) {
    if (argumentString == QStringLiteral("/?")) {
        if (services.showAboutBox)
            services.showAboutBox();
        return 0;
    }

    std::unique_ptr<frmDw> main;
    try {
        main = std::make_unique<frmDw>();
        main->Load();
    } catch (const std::exception &e) {
        main.reset();
        return StartupErrorPath(QString::fromUtf8(e.what()), services);
    }
    main->show();

    // Every way the session can end the program closes the window the same way: the
    // settings are written (or deleted) and the process ends.
    QPointer<frmDw> target = main.get();
    InstallTerminationSignals([target] {
        if (target)
            target->SaveSettingsOnClose();
    });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, main.get(),
                     [target](QSessionManager &) {
                         if (target)
                             target->SaveSettingsOnClose();
                     });

    if (services.windowCreated)
        services.windowCreated(*main);
    frmDw *raw = main.get();
    if (window)
        *window = std::move(main);
    else
        (void)main.release(); // lives until the process ends
    (void)raw;
    return services.runEventLoop ? services.runEventLoop() : 0;
}

} // namespace dirwise
