#include "WindowSettings.h"

#include "AppInfo.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace dirwise {

namespace {

const QString kSection = QStringLiteral("Settings");

// The keys in the order they are written.
constexpr const char *kKeys[] = {
    "Save",           "MasterDir",   "CompareDir", "SubDir",        "CheckSize",  "CheckDate",
    "NoShowMatch",    "Ext1",        "Ext2",       "Ext3",          "Ext4",       "FormLeft",
    "FormTop",        "FormHeight",  "FormWidth",  "TimeTolerance", "HourShifts", "ShowExtra",
    "VerifyContents", "FollowLinks", "SkipRules",  "UseGitignore",  "DiffTool",   "RecentPairs"};

// Reads one key of the settings, knowing the file for its error messages.
class Reader {
public:
    Reader(const ini::Document &document, QString fileName)
        : m_document(document), m_fileName(std::move(fileName)) {}

    [[nodiscard]] bool has(const char *key) const {
        return m_document.value(kSection, QString::fromLatin1(key)).has_value();
    }
    [[nodiscard]] QString text(const char *key, const QString &fallback) const {
        return m_document.value(kSection, QString::fromLatin1(key)).value_or(fallback);
    }

    // A number as the settings keep it: C locale, no grouping, blanks around it allowed.
    [[nodiscard]] double number(const char *key, const QString &value) const {
        bool ok = false;
        const double n = QLocale::c().toDouble(value.trimmed(), &ok);
        if (!ok || !std::isfinite(n))
            bad(key, value,
                QCoreApplication::translate("dirwise::WindowSettings", "which is not a number"));
        return n;
    }
    // A 16-bit integer, rounded half to even as the settings' conversion does.
    [[nodiscard]] int int16(const char *key, const QString &value) const {
        const double n = std::nearbyint(number(key, value));
        if (n < std::numeric_limits<qint16>::min() || n > std::numeric_limits<qint16>::max())
            bad(key, value,
                QCoreApplication::translate("dirwise::WindowSettings",
                                            "which is out of range for a 16-bit integer"));
        return static_cast<int>(n);
    }
    // A whole number from 0 to `most`; `what` names the range in the message.
    [[nodiscard]] int choice(const char *key, int fallback, int most, const char *what) const {
        const QString value = text(key, QString::number(fallback));
        const int n = int16(key, value);
        if (n < 0 || n > most)
            bad(key, value,
                QCoreApplication::translate("dirwise::WindowSettings", "which is not %1")
                    .arg(QCoreApplication::translate("dirwise::WindowSettings", what)));
        return n;
    }
    [[nodiscard]] int checkValue(const char *key, int fallback) const {
        return choice(
            key, fallback, 2,
            QT_TRANSLATE_NOOP("dirwise::WindowSettings", "a check box value (0, 1 or 2)"));
    }
    // A stored single-precision number, or none when the key is absent.
    [[nodiscard]] std::optional<double> single(const char *key) const {
        if (!has(key))
            return std::nullopt;
        const QString value = text(key, QString());
        const double n = number(key, value);
        if (std::fabs(n) > std::numeric_limits<float>::max())
            bad(key, value,
                QCoreApplication::translate("dirwise::WindowSettings",
                                            "which is out of range for a single-precision number"));
        return static_cast<double>(static_cast<float>(n));
    }

private:
    [[noreturn]] void bad(const char *key, const QString &value, const QString &why) const {
        throw LoadError(
            QCoreApplication::translate("dirwise::WindowSettings",
                                        "the setting \"%1\" holds \"%2\", %3 (settings file %4)")
                .arg(QString::fromLatin1(key), value, why, m_fileName)
                .toStdString());
    }

    const ini::Document &m_document;
    QString m_fileName;
};

// How numbers are written to the settings: whole numbers as plain digits, others in the
// shortest C-locale form that reads back as the same single-precision value.
QString numberText(double value) {
    if (value == std::nearbyint(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QLocale::c().toString(value, 'g', 9);
}

// RecentPairs as stored: each directory followed by ";", "%" and ";" escaped.
QString pairsText(const QStringList &dirs) {
    QString out;
    for (QString dir : dirs)
        out += dir.replace(u'%', QStringLiteral("%25")).replace(u';', QStringLiteral("%3B")) + u';';
    return out;
}

// The directories of a stored RecentPairs, whole pairs only, at most RecentPairsKept of them.
QStringList pairsFromText(const QString &text) {
    QStringList dirs = text.split(u';');
    dirs.removeLast(); // what follows the last ";" is no directory
    for (QString &dir : dirs)
        dir.replace(QStringLiteral("%3B"), QStringLiteral(";"), Qt::CaseInsensitive)
            .replace(QStringLiteral("%25"), QStringLiteral("%"));
    if (dirs.size() % 2 != 0)
        dirs.removeLast();
    return dirs.mid(0, 2 * RecentPairsKept);
}

[[noreturn]] void unreadable(const QString &file, const QString &why) {
    throw LoadError(QCoreApplication::translate("dirwise::WindowSettings",
                                                "the settings file %1 cannot be read: %2")
                        .arg(file, why)
                        .toStdString());
}

} // namespace

WindowSettings WindowSettings::read(const SettingsStore &store) {
    const QString file = store.FileName(ApplicationTitle());
    ini::Document document;
    const SettingsStore::ReadResult result = store.Read(ApplicationTitle(), document);
    switch (result.status) {
    case SettingsStore::ReadStatus::Ok:
    case SettingsStore::ReadStatus::NoFile:
        break;
    case SettingsStore::ReadStatus::NotRegular:
        unreadable(file, QCoreApplication::translate("dirwise::WindowSettings",
                                                     "it is not a regular file"));
    case SettingsStore::ReadStatus::TooLarge:
        unreadable(file, QCoreApplication::translate("dirwise::WindowSettings",
                                                     "it is larger than 1 MiB"));
    case SettingsStore::ReadStatus::Unreadable:
        unreadable(file, QString::fromLocal8Bit(std::strerror(result.error)));
    case SettingsStore::ReadStatus::BadFormat:
        unreadable(file, QCoreApplication::translate("dirwise::WindowSettings",
                                                     "it is not in the settings format"));
    }

    const Reader r(document, file);
    WindowSettings s;
    // "Save" is read twice: first as the gate (any number but 0 means settings were saved),
    // then as the check box's own value.
    if (r.number("Save", r.text("Save", QStringLiteral("0"))) == 0)
        return s;
    s.save = r.checkValue("Save", 1);
    s.masterDir = r.text("MasterDir", QString());
    s.compareDir = r.text("CompareDir", QString());
    s.subDir = r.checkValue("SubDir", 1);
    s.checkSize = r.checkValue("CheckSize", 1);
    s.checkDate = r.checkValue("CheckDate", 0);
    s.noShowMatch = r.checkValue("NoShowMatch", 0);
    const char *const extKeys[] = {"Ext1", "Ext2", "Ext3", "Ext4"};
    for (std::size_t i = 0; i < s.extensions.size(); ++i)
        s.extensions[i] = r.text(extKeys[i], QString());
    s.formLeft = r.single("FormLeft");
    s.formTop = r.single("FormTop");
    s.formHeight = r.single("FormHeight");
    s.formWidth = r.single("FormWidth");
    s.timeTolerance = r.choice(
        "TimeTolerance", 0, 2,
        QT_TRANSLATE_NOOP("dirwise::WindowSettings", "a time tolerance (0, 1 or 2 seconds)"));
    const char *const onOff = QT_TRANSLATE_NOOP("dirwise::WindowSettings", "0 or 1");
    s.hourShifts = r.choice("HourShifts", 0, 1, onOff);
    s.showExtra = r.choice("ShowExtra", 0, 1, onOff);
    s.verifyContents = r.choice("VerifyContents", 0, 1, onOff);
    s.followLinks = r.choice("FollowLinks", 1, 1, onOff);
    s.diffTool = r.text("DiffTool", QString());
    s.recentPairs = pairsFromText(r.text("RecentPairs", QString()));
    s.skipRules = r.text("SkipRules", QString());
    s.useGitignore = r.choice("UseGitignore", 0, 1, onOff);
    return s;
}

bool WindowSettings::write(SettingsStore &store) const {
    const QString app = ApplicationTitle();
    // What is stored now: Form keys this value lacks keep their stored text, and keys and
    // sections of other versions go on as they are. A file that cannot be read is replaced.
    ini::Document document;
    (void)store.Read(app, document);
    QList<ini::Entry> stored;
    if (ini::Section *section = document.find(kSection))
        stored = section->entries;
    else
        document.sections.append(ini::Section{.name = kSection, .entries = {}});
    auto storedText = [&](const char *key) -> std::optional<QString> {
        for (const ini::Entry &e : stored)
            if (e.key == QLatin1String(key))
                return e.value;
        return std::nullopt;
    };

    auto geometryText = [&](const char *key, const std::optional<double> &value) {
        return value ? std::optional(numberText(*value)) : storedText(key);
    };
    // In the order of kKeys; a key without a value is left out.
    const std::optional<QString> values[] = {QString::number(save),
                                             masterDir,
                                             compareDir,
                                             QString::number(subDir),
                                             QString::number(checkSize),
                                             QString::number(checkDate),
                                             QString::number(noShowMatch),
                                             extensions[0],
                                             extensions[1],
                                             extensions[2],
                                             extensions[3],
                                             geometryText("FormLeft", formLeft),
                                             geometryText("FormTop", formTop),
                                             geometryText("FormHeight", formHeight),
                                             geometryText("FormWidth", formWidth),
                                             QString::number(timeTolerance),
                                             QString::number(hourShifts),
                                             QString::number(showExtra),
                                             QString::number(verifyContents),
                                             QString::number(followLinks),
                                             skipRules,
                                             QString::number(useGitignore),
                                             diffTool,
                                             pairsText(recentPairs)};
    static_assert(std::size(values) == std::size(kKeys));

    QList<ini::Entry> entries;
    for (std::size_t i = 0; i < std::size(kKeys); ++i)
        if (values[i])
            entries.append(ini::Entry{.key = QString::fromLatin1(kKeys[i]), .value = *values[i]});
    for (const ini::Entry &e : stored)
        if (std::find_if(std::begin(kKeys), std::end(kKeys), [&](const char *k) {
                return e.key == QLatin1String(k);
            }) == std::end(kKeys))
            entries.append(e);
    document.find(kSection)->entries = entries;
    return store.Write(app, document) == 0;
}

int twipsToPixels(double twips, int dpi) {
    const double exact = twips * dpi / 1440.0;
    const double pixels =
        std::isnan(exact) ? 0.0 : std::clamp(exact, -double(PixelLimit), double(PixelLimit));
    return static_cast<int>(std::lround(pixels));
}

double pixelsToTwips(double pixels, int dpi) { return pixels * 1440.0 / dpi; }

} // namespace dirwise
