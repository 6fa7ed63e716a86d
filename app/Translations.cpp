#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace dirwise {

bool installTranslations(const QLocale &locale) {
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    auto *qt = new QTranslator(app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    // Beside the program first, so a build runs with its own translations before any
    // installed ones.
    const QStringList folders = {QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/translations"),
                                 QStringLiteral(DIRWISE_TRANSLATIONS_DIR)};
    for (const QString &folder : folders) {
        auto *own = new QTranslator(app);
        if (own->load(locale, QStringLiteral("dirwise"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(own);
            return true;
        }
        delete own;
    }
    return false;
}

} // namespace dirwise
