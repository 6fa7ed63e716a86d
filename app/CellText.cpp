#include "CellText.h"

#include "DisplayText.h"
#include "LocaleText.h"

#include <QLocale>
#include <QStringList>

#include <iterator>

namespace dirwise {

QString cellText(const ResultsList &list, std::size_t row, Column column) {
    const ResultRow &r = list.Row(row);
    if (!r.has(column))
        return {};
    switch (column) {
    case Column::MasterSize:
    case Column::CompareSize:
        return numberText(r.number(column));
    case Column::MasterDate:
    case Column::CompareDate:
        return dateTimeText(r.number(column));
    case Column::Difference:
        return CellTexts::difference(r);
    default:
        return DisplayText(list.Text(row, column));
    }
}

QString CellTexts::duration(std::uint64_t seconds) {
    if (seconds == 0)
        return tr("%1 s").arg(0);
    const std::uint64_t units[] = {86400, 3600, 60, 1};
    QStringList parts;
    for (std::size_t i = 0; i < std::size(units); ++i) {
        const std::uint64_t count = seconds / units[i];
        seconds %= units[i];
        if (count == 0)
            continue;
        const QString n = QLocale().toString(static_cast<qulonglong>(count));
        parts << (i == 0   ? tr("%1 d").arg(n)
                  : i == 1 ? tr("%1 h").arg(n)
                  : i == 2 ? tr("%1 min").arg(n)
                           : tr("%1 s").arg(n));
    }
    return parts.join(u' ');
}

QString CellTexts::sizeChange(const ResultRow &r) {
    // Sizes are below 2^63 each, so their difference cannot overflow.
    const std::int64_t delta = r.compareSize - r.masterSize;
    const QString number = (delta >= 0 ? QStringLiteral("+") : QString()) + numberText(delta);
    return delta == 1 || delta == -1 ? tr("%1 byte").arg(number) : tr("%1 bytes").arg(number);
}

QString CellTexts::dateChange(const ResultRow &r) {
    // Times may lie at the far ends of the range: work on the magnitude, unsigned.
    const bool newer = r.compareTime > r.masterTime;
    const std::uint64_t gap =
        newer
            ? static_cast<std::uint64_t>(r.compareTime) - static_cast<std::uint64_t>(r.masterTime)
            : static_cast<std::uint64_t>(r.masterTime) - static_cast<std::uint64_t>(r.compareTime);
    const QString change = newer ? tr("compare newer by %1").arg(duration(gap))
                                 : tr("compare older by %1").arg(duration(gap));
    if (gap % 3600 == 0)
        return tr("%1 (whole hours: time zone or daylight saving?)").arg(change);
    if (gap <= 2)
        return tr("%1 (FAT rounding?)").arg(change);
    return change;
}

QString CellTexts::difference(const ResultRow &r) {
    switch (r.result) {
    case Result::Match:
        if (r.detail == Detail::WithinTolerance)
            return tr("within tolerance (%1)").arg(dateChange(r));
        if (r.detail == Detail::HourShiftIgnored) {
            const std::int64_t gap = r.compareTime - r.masterTime;
            const std::int64_t hours = ((gap < 0 ? -gap : gap) + 1800) / 3600;
            return tr("%1-hour shift ignored").arg(numberText(hours));
        }
        return {};
    case Result::Size:
        return sizeChange(r);
    case Result::Date:
        if (r.detail == Detail::SameContent)
            return tr("%1; same content").arg(dateChange(r));
        if (r.detail == Detail::ContentDiffers)
            return tr("%1; content differs").arg(dateChange(r));
        return dateChange(r);
    case Result::SizeAndDate:
        return sizeChange(r) + QStringLiteral("; ") + dateChange(r);
    case Result::Content: {
        const QString before =
            r.compareSize != r.masterSize ? sizeChange(r) + QStringLiteral("; ") : QString();
        // A snapshot keeps digests, not bytes: no offset is known then (-1).
        if (r.contentOffset < 0)
            return before + tr("contents differ (their sha256 digests differ)");
        return before + tr("contents differ from offset %1").arg(numberText(r.contentOffset));
    }
    case Result::NotFound:
        return tr("not in the compare directory");
    case Result::Extra:
        return tr("not in the master directory");
    case Result::NotCompared: {
        const QString why = errorText(static_cast<int>(r.contentOffset));
        switch (r.detail) {
        case Detail::MasterFile:
            return tr("cannot read the master file: %1").arg(why);
        case Detail::MasterFolder:
            return tr("cannot read the master folder: %1").arg(why);
        case Detail::CompareFile:
            return tr("cannot read the compare file: %1").arg(why);
        default:
            return tr("cannot read the compare folder: %1").arg(why);
        }
    }
    }
    return {};
}

} // namespace dirwise
