#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dirwise {

struct ResultRow;

// Size text: at least nine digits, zero-padded on the left, in groups of three joined by the
// C library locale's thousands separator (LC_NUMERIC), or "," where the locale has none.
// 1234 gives "000,001,234"; numbers of ten or more digits keep every digit, grouped alike.
// A negative number (never a real size) gets a leading "-".
[[nodiscard]] std::string SizeText(std::int64_t bytes);
// SizeText's text appended to `out`.
void AppendSizeText(std::string &out, std::int64_t bytes);

// Date text of a time in seconds since the epoch, in local time: the locale's short date
// (LC_TIME's date format, its year widened to four digits), a blank and the locale's time
// with seconds; the date alone when the local time is exactly midnight. A time the C
// library cannot convert gives the decimal number of seconds.
[[nodiscard]] std::string DateText(std::int64_t secondsSinceEpoch);
// DateText's text appended to `out`.
void AppendDateText(std::string &out, std::int64_t secondsSinceEpoch);

// The C library locale's thousands separator (LC_NUMERIC), or "," where it has none: the
// separator SizeText uses.
[[nodiscard]] const std::string &LocaleThousandsSeparator();

// A whole number with its digits grouped in threes by `separator` ("" for none), and a
// leading "-" when negative: 1234567 gives "1,234,567".
[[nodiscard]] std::string GroupedNumber(std::int64_t n, std::string_view separator);

// A length of time in words, to the second, largest unit first: "2 d 3 h 4 min 5 s";
// "0 s" for none. Uses the magnitude; the caller says which way it goes.
[[nodiscard]] std::string DurationText(std::uint64_t seconds);

// Why a row differs, in words a person reads at a glance (empty for a plain match):
// - Size: the change with its sign, "+1,234 bytes" (compare minus master);
// - Date: which side is newer and by how much, "compare newer by 1 h 5 s", with the hint
//   " (whole hours: time zone or daylight saving?)" for a whole number of hours and
//   " (FAT rounding?)" for 2 s or less; Size&Date: both, joined by "; ";
// - a Match that counted as one only through the options: "within tolerance (…)" or
//   "N-hour shift ignored";
// - Content: "contents differ from offset 4,096", after the size change when sizes differ;
// - a Date row whose contents were read: the date text and "; same content" or
//   "; content differs";
// - Not Found: "not in the compare directory"; Extra: "not in the master directory";
// - Not Compared: the place and the error's untranslated description, "cannot read the
//   master folder: Permission denied"; a root lost during the run, "compare folder went
//   away" (or "master folder went away"); a folder walked already, "already compared as "
//   and `walkedAs`, the relative path of its first place ("a/b/").
// Numbers are grouped by `separator` (LocaleThousandsSeparator() for people, "" for the
// machine formats, which must read the same in every locale).
[[nodiscard]] std::string DifferenceText(const ResultRow &row, std::string_view separator,
                                         std::string_view walkedAs = {});

// A time in seconds since the epoch as ISO 8601 UTC to the second, "2026-03-14T09:26:53Z",
// the same in every locale and time zone, for every time: a year outside 0000 to 9999 takes
// ISO 8601's expanded form, a sign and at least six digits ("+010000-01-01T00:00:00Z",
// "-000001-12-31T23:59:59Z"), as JavaScript and XML Schema read it.
[[nodiscard]] std::string IsoUtcText(std::int64_t secondsSinceEpoch);

// Length of the valid UTF-8 sequence that starts at s[i] (1 for an ASCII byte), or 0 when
// the byte there starts none: a stray continuation byte, an overlong form, a surrogate, a
// value beyond Unicode, or a sequence cut short by the end of `s` (also i >= s.size()).
[[nodiscard]] std::size_t Utf8SequenceLength(std::string_view s, std::size_t i);

// Re-reads the separator and the date and time formats from the current C locale. The
// texts above cache them on first use; call this after setlocale() changes the locale.
void ReloadLocaleForms();

// Appends `field` to `out` so that it can never break a tab-separated line: tab, CR and LF
// become \t, \r and \n, a backslash becomes \\, every other byte is copied as it is.
void AppendEscapedField(std::string &out, std::string_view field);

// Appends a byte string (a name, a path, a message with one in it) as people see it, in the
// window and on a terminal alike, so that no name can hide, fake or move anything: valid
// UTF-8 is copied; tab, CR and LF become \t, \r and \n; every other control byte (below
// 0x20, and 0x7f) and every byte that is not part of valid UTF-8 becomes \xhh; the C1
// controls U+0080 to U+009F become \u00hh, and the invisible formatting characters that
// reorder or hide text (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) become
// \uhhhh, four lower-case hex digits. A backslash stays one backslash: only the report
// and the machine formats, which must be read back, double it.
void AppendEscapedForDisplay(std::string &out, std::string_view bytes);
// The same as a new string.
[[nodiscard]] std::string EscapeForDisplay(std::string_view bytes);

} // namespace dirwise
