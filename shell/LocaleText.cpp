#include "LocaleText.h"

#include <QDateTime>
#include <QLocale>

#include <cstring>

namespace dirwise {

namespace {

// Qt writes a two-digit year for many locales' short dates ("dd.MM.yy"); a two-digit year
// reads wrongly across centuries, so every run of exactly two y becomes four. Quoted
// literal text in the format is left alone.
QString widenedYear(const QString &format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (!quoted && c == u'y' && i + run < format.size() && format[i + run] == u'y')
            ++run;
        out += !quoted && c == u'y' && run == 2 ? QStringLiteral("yyyy") : format.mid(i, run);
        i += run;
    }
    return out;
}

// The locale's long time format is the only one with seconds; its time zone ("t") is
// dropped, as the list's times are all local.
QString timeWithSeconds(const QLocale &locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    bool quoted = false;
    QString out;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

QString numberText(std::int64_t n) { return QLocale().toString(static_cast<qint64>(n)); }

QString dateTimeText(std::int64_t secondsSinceEpoch) {
    const QDateTime when = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::LocalTime);
    if (!when.isValid())
        return QString::number(secondsSinceEpoch);
    const QLocale locale;
    QString text =
        locale.toString(when.date(), widenedYear(locale.dateFormat(QLocale::ShortFormat)));
    if (when.time() != QTime(0, 0))
        text += u' ' + locale.toString(when.time(), timeWithSeconds(locale));
    return text;
}

QString errorText(int error) {
    // strerror() follows LC_MESSAGES, which QCoreApplication set from the environment; it
    // names an unknown number itself.
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace dirwise
