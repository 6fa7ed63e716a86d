#include "SettingsStore.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

namespace dirwise {

namespace {

std::unique_ptr<QSettings> open(const QString &application) {
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                application, application);
    settings->setFallbacksEnabled(false);
    return settings;
}

QString keyPath(const QString &section, const QString &key) {
    return section + QLatin1Char('/') + key;
}

} // namespace

QString SettingsStore::GetValue(const QString &application, const QString &section,
                                const QString &key, const QString &defaultValue) const {
    const auto settings = open(application);
    const QVariant value = settings->value(keyPath(section, key));
    if (!value.isValid())
        return defaultValue;
    // A key written as a list ("a, b" in the file) comes back as a list: rejoin it, so the
    // caller sees the text the file holds.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool SettingsStore::Contains(const QString &application, const QString &section,
                             const QString &key) const {
    return open(application)->contains(keyPath(section, key));
}

bool SettingsStore::SetValue(const QString &application, const QString &section, const QString &key,
                             const QString &text) {
    const auto settings = open(application);
    settings->setValue(keyPath(section, key), text);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

bool SettingsStore::DeleteApplication(const QString &application) {
    const auto settings = open(application);
    const QString file = settings->fileName();
    const bool existed = QFileInfo::exists(file);
    settings->clear();
    // clear() leaves an empty file behind once synced; remove it only when no change is
    // pending any more, so a later sync cannot bring it back.
    settings->sync();
    if (!existed)
        return false;
    return QFile::remove(file);
}

QString SettingsStore::FileName(const QString &application) const {
    return open(application)->fileName();
}

QSettings::Status SettingsStore::Status(const QString &application) const {
    const auto settings = open(application);
    QFile file(settings->fileName());
    if (!file.exists())
        return QSettings::NoError;
    if (!file.open(QIODevice::ReadOnly))
        return QSettings::AccessError;
    // QSettings reports a parse failure only to the first object that reads a file (later
    // ones share its cached, partly parsed content), so the file is checked here on its
    // own terms: every line that is not blank or a comment is a whole "[section]" or holds
    // a "=".
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[') ? !line.endsWith(']') : !line.contains('='))
            return QSettings::FormatError;
    }
    return settings->status();
}

} // namespace dirwise
