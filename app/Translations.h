#pragma once

#include <QLocale>

namespace dirwise {

// Installs into the running application the translations for `locale`: Qt's own (qtbase,
// from Qt's translations folder, so standard buttons and dialogs speak the same language)
// and Dirwise's (dirwise_<language>.qm, from "translations" beside the program, else from
// the installed data folder). Translators are owned by the application object and go with
// it. A language without a file (English among them) keeps the texts as written. Returns
// whether Dirwise's own translation was found.
bool installTranslations(const QLocale &locale = QLocale());

} // namespace dirwise
