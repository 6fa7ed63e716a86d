#pragma once

#include <QString>

#include <cstdint>

// Numbers, times and error descriptions as the window shows them: in the user's locale
// (the default QLocale) and language, one form wherever the window shows one.
namespace dirwise {

// A whole number with its digits grouped as the locale groups them: 1234567 gives
// "1,234,567" in English and "1.234.567" in German. Sizes in the results list and the
// properties, and every count of the status bar and the filter bar, take this form.
[[nodiscard]] QString numberText(std::int64_t n);

// A time in seconds since the epoch, in local time: the locale's short date with its year
// widened to four digits, a blank and the locale's time with seconds ("12/31/2025 9:26:53
// AM", "31.12.2025 09:26:53"); the date alone when the local time is exactly midnight, as
// the saved report writes it. A time outside Qt's calendar gives the decimal number of
// seconds.
[[nodiscard]] QString dateTimeText(std::int64_t secondsSinceEpoch);

// The C library's description of `error` in the user's language (LC_MESSAGES).
[[nodiscard]] QString errorText(int error);

} // namespace dirwise
