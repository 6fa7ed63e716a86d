#include "WindowSettings.h"

#include "AppInfo.h"
#include "SettingsStore.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace dirwise {

namespace {

const QString kSection = QStringLiteral("Settings");

// Reads one key of the settings, knowing the file for its error messages.
class Reader {
public:
    explicit Reader(const SettingsStore &store) : m_store(store), m_app(ApplicationTitle()) {}

    [[nodiscard]] QString fileName() const { return m_store.FileName(m_app); }
    [[nodiscard]] bool has(const char *key) const {
        return m_store.Contains(m_app, kSection, QString::fromLatin1(key));
    }
    [[nodiscard]] QString text(const char *key, const QString &fallback) const {
        return m_store.GetValue(m_app, kSection, QString::fromLatin1(key), fallback);
    }

    // A number as the settings keep it: C locale, no grouping, blanks around it allowed.
    [[nodiscard]] double number(const char *key, const QString &value) const {
        bool ok = false;
        const double n = QLocale::c().toDouble(value.trimmed(), &ok);
        if (!ok || !std::isfinite(n))
            bad(key, value, QStringLiteral("which is not a number"));
        return n;
    }
    // A 16-bit integer, rounded half to even as the settings' conversion does.
    [[nodiscard]] int int16(const char *key, const QString &value) const {
        const double n = std::nearbyint(number(key, value));
        if (n < std::numeric_limits<qint16>::min() || n > std::numeric_limits<qint16>::max())
            bad(key, value, QStringLiteral("which is out of range for a 16-bit integer"));
        return static_cast<int>(n);
    }
    [[nodiscard]] int checkValue(const char *key, int fallback) const {
        const QString value = text(key, QString::number(fallback));
        const int n = int16(key, value);
        if (n < 0 || n > 2)
            bad(key, value, QStringLiteral("which is not a check box value (0, 1 or 2)"));
        return n;
    }
    // A stored single-precision number, or none when the key is absent.
    [[nodiscard]] std::optional<double> single(const char *key) const {
        if (!has(key))
            return std::nullopt;
        const QString value = text(key, QString());
        const double n = number(key, value);
        if (std::fabs(n) > std::numeric_limits<float>::max())
            bad(key, value, QStringLiteral("which is out of range for a single-precision number"));
        return static_cast<double>(static_cast<float>(n));
    }

private:
    [[noreturn]] void bad(const char *key, const QString &value, const QString &why) const {
        throw LoadError(QStringLiteral("the setting \"%1\" holds \"%2\", %3 (settings file %4)")
                            .arg(QString::fromLatin1(key), value, why, fileName())
                            .toStdString());
    }

    const SettingsStore &m_store;
    QString m_app;
};

// How numbers are written to the settings: whole numbers as plain digits, others in the
// shortest C-locale form that reads back as the same single-precision value.
QString numberText(double value) {
    if (value == std::nearbyint(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QLocale::c().toString(value, 'g', 9);
}

} // namespace

WindowSettings WindowSettings::read(const SettingsStore &store) {
    const Reader r(store);
    switch (store.Status(ApplicationTitle())) {
    case QSettings::NoError:
        break;
    case QSettings::FormatError:
        throw LoadError(QStringLiteral("the settings file %1 cannot be read: it is not in "
                                       "the settings format")
                            .arg(r.fileName())
                            .toStdString());
    case QSettings::AccessError:
        throw LoadError(
            QStringLiteral("the settings file %1 cannot be read").arg(r.fileName()).toStdString());
    }

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
    return s;
}

bool WindowSettings::write(SettingsStore &store) const {
    const QString app = ApplicationTitle();
    bool ok = true;
    auto set = [&](const char *key, const QString &text) {
        ok = store.SetValue(app, kSection, QString::fromLatin1(key), text) && ok;
    };
    set("Save", QString::number(save));
    set("MasterDir", masterDir);
    set("CompareDir", compareDir);
    set("SubDir", QString::number(subDir));
    set("CheckSize", QString::number(checkSize));
    set("CheckDate", QString::number(checkDate));
    set("NoShowMatch", QString::number(noShowMatch));
    set("Ext1", extensions[0]);
    set("Ext2", extensions[1]);
    set("Ext3", extensions[2]);
    set("Ext4", extensions[3]);
    const std::pair<const char *, const std::optional<double> *> geometry[] = {
        {"FormLeft", &formLeft},
        {"FormTop", &formTop},
        {"FormHeight", &formHeight},
        {"FormWidth", &formWidth}};
    for (const auto &[key, value] : geometry)
        if (value->has_value())
            set(key, numberText(**value));
    return ok;
}

int twipsToPixels(double twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

double pixelsToTwips(double pixels, int dpi) { return pixels * 1440.0 / dpi; }

} // namespace dirwise
