#pragma once

#include "ResultsList.h"

#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace dirwise {

// The texts the window shows for the results list's cells. The saved reports keep their
// own forms (ResultsList::Text and the machine formats: English, the same in every
// locale); the window shows the same values for the person in front of it:
// - names and folders as DisplayText shows them (odd bytes escaped);
// - sizes as numbers grouped in the user's locale, dates in its date and time form (see
//   LocaleText.h), so the list, the status bar and the properties read alike;
// - the Difference in the user's language (differenceText);
// - the result words as the report writes them ("Match", "Size"...): they are data that the
//   filter bar, the report and scripts share.
// Empty for a cell that holds no value (see ResultRow::has). `row` < list.Count().
[[nodiscard]] QString cellText(const ResultsList &list, std::size_t row, Column column);

class CellTexts {
    Q_DECLARE_TR_FUNCTIONS(dirwise::CellTexts)
public:
    // Why a row differs, as the report's Difference says it (see DifferenceText in
    // TextForms.h), in the user's language with numbers grouped in the user's locale:
    // "+1,234 bytes", "compare newer by 1 d 2 h", "cannot read the master folder:
    // Permission denied" (the error as the C library words it in the user's language).
    // Empty for a plain match.
    [[nodiscard]] static QString difference(const ResultRow &row);
    // A length of time in words, largest unit first, to the second ("2 d 3 h 4 min 5 s";
    // "0 s" for none).
    [[nodiscard]] static QString duration(std::uint64_t seconds);

private:
    [[nodiscard]] static QString sizeChange(const ResultRow &row);
    [[nodiscard]] static QString dateChange(const ResultRow &row);
};

} // namespace dirwise
