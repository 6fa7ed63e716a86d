#include "AppInfo.h"

#include "ProductInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace dirwise {

namespace {
QString &programPathOverride() {
    static QString path;
    return path;
}
} // namespace

QString ApplicationTitle() { return QString::fromUtf8(productinfo::title); }

QString VersionText() { return QString::fromUtf8(productinfo::versionText); }

QString CaptionText() { return ApplicationTitle() + QLatin1Char(' ') + VersionText(); }

QString CompanyName() { return QString::fromUtf8(productinfo::companyName); }

QString HomePageAddress() {
    const QString configured = QString::fromUtf8(productinfo::homePage);
    return configured.isEmpty() ? QUrl::fromLocalFile(HelpPagePath()).toString(QUrl::FullyEncoded)
                                : configured;
}

QString ProgramFilePath() {
    if (!programPathOverride().isEmpty())
        return programPathOverride();
    // applicationFilePath() reads /proc/self/exe, which already names the real file; the
    // canonical form also resolves a link if the program was started another way.
    const QString path = QCoreApplication::applicationFilePath();
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

void SetProgramFilePathForTests(const QString &path) { programPathOverride() = path; }

QString HelpPagePathFor(const QString &programFile) {
    const qsizetype slash = programFile.lastIndexOf(QLatin1Char('/'));
    const QString dir = slash < 0 ? QString() : programFile.left(slash + 1);
    QString base = programFile.mid(slash + 1);
    // Only the last extension goes, as the program's "file name without its extension".
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        base.truncate(dot);
    return dir + base + QStringLiteral(".htm");
}

QString HelpPagePath() { return HelpPagePathFor(ProgramFilePath()); }

} // namespace dirwise
