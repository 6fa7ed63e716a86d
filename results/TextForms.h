#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dirwise {

// Size text: at least nine digits, zero-padded on the left, in groups of three joined by the
// C library locale's thousands separator (LC_NUMERIC), or "," where the locale has none.
// 1234 gives "000,001,234"; numbers of ten or more digits keep every digit, grouped alike.
// A negative number (never a real size) gets a leading "-".
[[nodiscard]] std::string SizeText(std::int64_t bytes);

// Date text of a time in seconds since the epoch, in local time: the locale's short date
// (LC_TIME's date format, its year widened to four digits), a blank and the locale's time
// with seconds; the date alone when the local time is exactly midnight. A time the C
// library cannot convert gives the decimal number of seconds.
[[nodiscard]] std::string DateText(std::int64_t secondsSinceEpoch);

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
// controls U+0080 to U+009F become \u00hh. A backslash stays one backslash: only the report
// and the machine formats, which must be read back, double it.
void AppendEscapedForDisplay(std::string &out, std::string_view bytes);
// The same as a new string.
[[nodiscard]] std::string EscapeForDisplay(std::string_view bytes);

} // namespace dirwise
