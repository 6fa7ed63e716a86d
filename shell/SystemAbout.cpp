#include "SystemAbout.h"

#include "Prompts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QSysInfo>

using namespace Qt::Literals::StringLiterals;

namespace dirwise {

void showSystemAbout(const QString &appText, const QString &otherText) {
    QString text = appText;
    if (!otherText.isEmpty())
        text += u'\n' + otherText;
    text += u"\n\n"_s + QSysInfo::prettyProductName();
    text += u"\n%1 %2 (%3)"_s.arg(QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                                  QSysInfo::currentCpuArchitecture());
    text += u"\nQt %1"_s.arg(QLibraryInfo::version().toString());
    prompts().message(nullptr, Prompts::Icon::Information,
                      QCoreApplication::translate("dirwise::SystemAbout", "About %1").arg(appText),
                      text);
}

} // namespace dirwise
