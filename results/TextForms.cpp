#include "TextForms.h"

#include "ResultRow.h"

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <langinfo.h>

namespace dirwise {
namespace {

struct LocaleForms {
    std::string thousandsSep;
    std::string dateFormat;
    std::string timeFormat;
    bool plainDate = false; // the formats hold only numeric fields (see appendNumeric)
    bool plainTime = false;
    bool loaded = false;
};

LocaleForms &forms() {
    static LocaleForms f;
    return f;
}

// The locale's short date format with a four-digit year: glibc's C and some other locales
// use %y, and a two-digit year sorts and reads wrongly across centuries.
std::string widenYear(std::string fmt) {
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size()) {
            const char c = fmt[i + 1];
            if (c == 'y') {
                out += "%Y";
            } else if (c == 'D') {
                out += "%m/%d/%Y";
            } else {
                out += fmt[i];
                out += c;
            }
            ++i;
        } else {
            out += fmt[i];
        }
    }
    return out;
}

void appendTwo(std::string &out, int n) {
    out += static_cast<char>('0' + n / 10 % 10);
    out += static_cast<char>('0' + n % 10);
}

// Formats `tm` by `format` as strftime would, into `out`, when the format holds only
// literal bytes and the numeric fields %d %m %Y %H %M %S %T %F %R %% (the short forms of
// most locales); with `out` null it only tells whether the format is such. False when
// strftime is needed (another field, or a year outside 1000-9999): `out` may then hold a
// part of the text.
bool appendNumeric(std::string *out, std::string_view format, const std::tm *tm) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            if (out)
                *out += format[i];
            continue;
        }
        if (++i == format.size())
            return false;
        const char field = format[i];
        if (std::string_view("dmYHMSTFR%").find(field) == std::string_view::npos)
            return false;
        if (!out)
            continue;
        const int year = tm->tm_year + 1900;
        if ((field == 'Y' || field == 'F') && (year < 1000 || year > 9999))
            return false;
        switch (field) {
        case 'd':
            appendTwo(*out, tm->tm_mday);
            break;
        case 'm':
            appendTwo(*out, tm->tm_mon + 1);
            break;
        case 'Y':
            appendTwo(*out, year / 100), appendTwo(*out, year % 100);
            break;
        case 'H':
            appendTwo(*out, tm->tm_hour);
            break;
        case 'M':
            appendTwo(*out, tm->tm_min);
            break;
        case 'S':
            appendTwo(*out, tm->tm_sec);
            break;
        case 'T':
        case 'R':
            appendTwo(*out, tm->tm_hour), *out += ':', appendTwo(*out, tm->tm_min);
            if (field == 'T')
                *out += ':', appendTwo(*out, tm->tm_sec);
            break;
        case 'F':
            appendTwo(*out, year / 100), appendTwo(*out, year % 100), *out += '-';
            appendTwo(*out, tm->tm_mon + 1), *out += '-', appendTwo(*out, tm->tm_mday);
            break;
        default:
            *out += '%';
        }
    }
    return true;
}

const LocaleForms &current() {
    LocaleForms &f = forms();
    if (!f.loaded) {
        const lconv *lc = std::localeconv();
        f.thousandsSep = (lc && lc->thousands_sep && *lc->thousands_sep) ? lc->thousands_sep : ",";
        const char *d = nl_langinfo(D_FMT);
        const char *t = nl_langinfo(T_FMT);
        f.dateFormat = widenYear((d && *d) ? d : "%m/%d/%Y");
        f.timeFormat = (t && *t) ? t : "%H:%M:%S";
        f.plainDate = appendNumeric(nullptr, f.dateFormat, nullptr);
        f.plainTime = appendNumeric(nullptr, f.timeFormat, nullptr);
        f.loaded = true;
    }
    return f;
}

} // namespace

void ReloadLocaleForms() { forms().loaded = false; }

const std::string &LocaleThousandsSeparator() { return current().thousandsSep; }

std::string GroupedNumber(std::int64_t n, std::string_view separator) {
    const bool negative = n < 0;
    std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    std::string digits;
    do {
        digits += static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    std::string out = negative ? "-" : "";
    for (std::size_t i = digits.size(); i-- > 0;) {
        out += digits[i];
        if (i > 0 && i % 3 == 0)
            out += separator;
    }
    return out;
}

std::string DurationText(std::uint64_t seconds) {
    static const struct {
        std::uint64_t size;
        const char *unit;
    } units[] = {{86400, "d"}, {3600, "h"}, {60, "min"}, {1, "s"}};
    if (seconds == 0)
        return "0 s";
    std::string out;
    for (const auto &u : units) {
        if (const std::uint64_t count = seconds / u.size; count > 0) {
            if (!out.empty())
                out += ' ';
            out += std::to_string(count) + " " + u.unit;
            seconds %= u.size;
        }
    }
    return out;
}

namespace {

std::string sizeChange(const ResultRow &r, std::string_view separator) {
    // Sizes are below 2^63 each, so their difference cannot overflow.
    const std::int64_t delta = r.compareSize - r.masterSize;
    const std::string number = GroupedNumber(delta, separator);
    return (delta >= 0 ? "+" : "") + number + (delta == 1 || delta == -1 ? " byte" : " bytes");
}

std::string dateChange(const ResultRow &r) {
    // Times may lie at the far ends of the range: work on the magnitude, unsigned.
    const bool newer = r.compareTime > r.masterTime;
    const std::uint64_t gap =
        newer
            ? static_cast<std::uint64_t>(r.compareTime) - static_cast<std::uint64_t>(r.masterTime)
            : static_cast<std::uint64_t>(r.masterTime) - static_cast<std::uint64_t>(r.compareTime);
    std::string out =
        std::string("compare ") + (newer ? "newer" : "older") + " by " + DurationText(gap);
    if (gap % 3600 == 0)
        out += " (whole hours: time zone or daylight saving?)";
    else if (gap <= 2)
        out += " (FAT rounding?)";
    return out;
}

} // namespace

std::string DifferenceText(const ResultRow &r, std::string_view separator,
                           std::string_view walkedAs) {
    switch (r.result) {
    case Result::Match:
        switch (r.detail) {
        case Detail::WithinTolerance:
            return "within tolerance (" + dateChange(r) + ")";
        case Detail::HourShiftIgnored: {
            const std::int64_t gap = r.compareTime - r.masterTime;
            const std::int64_t hours = ((gap < 0 ? -gap : gap) + 1800) / 3600;
            return std::to_string(hours) + "-hour shift ignored";
        }
        default:
            return {};
        }
    case Result::Size:
        return sizeChange(r, separator);
    case Result::Date: {
        std::string out = dateChange(r);
        if (r.detail == Detail::SameContent)
            out += "; same content";
        else if (r.detail == Detail::ContentDiffers)
            out += "; content differs";
        return out;
    }
    case Result::SizeAndDate:
        return sizeChange(r, separator) + "; " + dateChange(r);
    case Result::Content: {
        std::string out = r.compareSize != r.masterSize ? sizeChange(r, separator) + "; " : "";
        // A snapshot keeps digests, not bytes: no offset is known then (-1).
        if (r.contentOffset < 0)
            return out + "contents differ (their sha256 digests differ)";
        return out + "contents differ from offset " + GroupedNumber(r.contentOffset, separator);
    }
    case Result::NotFound:
        return "not in the compare directory";
    case Result::Extra:
        return "not in the master directory";
    case Result::NotCompared: {
        if (r.detail == Detail::MasterGone || r.detail == Detail::CompareGone)
            return r.detail == Detail::MasterGone ? "master folder went away"
                                                  : "compare folder went away";
        if (r.detail == Detail::MasterWalkedAlready || r.detail == Detail::CompareWalkedAlready)
            return "already compared as " + std::string(walkedAs);
        // glibc's untranslated description: the same words in every locale, so the machine
        // formats read alike everywhere.
        const char *why = ::strerrordesc_np(static_cast<int>(r.contentOffset));
        const char *place = r.detail == Detail::MasterFile     ? "master file"
                            : r.detail == Detail::MasterFolder ? "master folder"
                            : r.detail == Detail::CompareFile  ? "compare file"
                                                               : "compare folder";
        return std::string("cannot read the ") + place + ": " +
               (why ? why : "error " + std::to_string(r.contentOffset));
    }
    }
    return {};
}

std::string IsoUtcText(std::int64_t secondsSinceEpoch) {
    // The proleptic Gregorian calendar by days, in 64 bits, so every time has a date:
    // gmtime stops where the year no longer fits an int.
    std::int64_t days = secondsSinceEpoch / 86400, rest = secondsSinceEpoch % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468; // from 1970-03-01 back to 0000-03-01
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char buf[64];
    const int at = year >= 0 && year <= 9999
                       ? std::snprintf(buf, sizeof buf, "%04lld", static_cast<long long>(year))
                       : std::snprintf(buf, sizeof buf, "%c%06lld", year < 0 ? '-' : '+',
                                       static_cast<long long>(year < 0 ? -year : year));
    std::snprintf(buf + at, sizeof buf - static_cast<std::size_t>(at), "-%02d-%02dT%02d:%02d:%02dZ",
                  month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return buf;
}

std::string SizeText(std::int64_t bytes) {
    std::string out;
    AppendSizeText(out, bytes);
    return out;
}

void AppendSizeText(std::string &out, std::int64_t bytes) {
    const std::string &separator = current().thousandsSep;
    const bool negative = bytes < 0;
    // Work on the magnitude as unsigned so INT64_MIN needs no special case.
    std::uint64_t v =
        negative ? 0 - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < 9)
        digits[n++] = '0';
    // The text is made in one buffer and appended at once: at most 20 digits, 6 separators.
    char text[24 + 6 * 8];
    std::size_t len = 0;
    if (negative)
        text[len++] = '-';
    const bool shortSeparator = separator.size() <= 8;
    for (int i = n - 1; i >= 0; --i) {
        text[len++] = digits[i];
        if (i > 0 && i % 3 == 0) {
            if (!shortSeparator) {
                out.append(text, len);
                out += separator;
                len = 0;
                continue;
            }
            separator.copy(text + len, separator.size());
            len += separator.size();
        }
    }
    out.append(text, len);
}

std::string DateText(std::int64_t secondsSinceEpoch) {
    std::string out;
    AppendDateText(out, secondsSinceEpoch);
    return out;
}

void AppendDateText(std::string &out, std::int64_t secondsSinceEpoch) {
    const LocaleForms &f = current();
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        out += std::to_string(secondsSinceEpoch);
        return;
    }
    // Numeric forms are made here (a report has a date in every row); strftime for the rest.
    const std::size_t start = out.size();
    char buf[160];
    if (!f.plainDate || !appendNumeric(&out, f.dateFormat, &tm)) {
        out.resize(start);
        out.append(buf, std::strftime(buf, sizeof buf, f.dateFormat.c_str(), &tm));
    }
    if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0) {
        out += ' ';
        const std::size_t at = out.size();
        if (!f.plainTime || !appendNumeric(&out, f.timeFormat, &tm)) {
            out.resize(at);
            out.append(buf, std::strftime(buf, sizeof buf, f.timeFormat.c_str(), &tm));
        }
    }
}

void AppendEscapedField(std::string &out, std::string_view field) {
    // Names rarely hold any of the four bytes: the runs between them go in whole.
    std::size_t from = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\t' && c != '\r' && c != '\n' && c != '\\')
            continue;
        out.append(field.data() + from, i - from);
        out += '\\';
        out += c == '\t' ? 't' : c == '\r' ? 'r' : c == '\n' ? 'n' : '\\';
        from = i + 1;
    }
    out.append(field.data() + from, field.size() - from);
}

std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    if (i >= s.size())
        return 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80)
        return 1;
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values beyond Unicode are not valid UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

namespace {

// The code point of the valid `n`-byte sequence at bytes[i] when it is one of the invisible
// formatting characters shown escaped (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069); otherwise 0.
char32_t InvisibleFormatAt(std::string_view bytes, std::size_t i, std::size_t n) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    if (n == 2)
        return at(0) == 0xd8 && at(1) == 0x9c ? U'\u061c' : 0;
    if (n != 3 || at(0) != 0xe2)
        return 0;
    const char32_t cp = 0x2000 + ((at(1) & 0x3f) << 6) + (at(2) & 0x3f);
    const bool shown = (cp >= 0x200e && cp <= 0x200f) || (cp >= 0x202a && cp <= 0x202e) ||
                       (cp >= 0x2066 && cp <= 0x2069);
    return shown ? cp : 0;
}

} // namespace

void AppendEscapedForDisplay(std::string &out, std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    auto hexByte = [&](const char *prefix, unsigned char c) {
        out += prefix;
        out += hex[c >> 4];
        out += hex[c & 15];
    };
    for (std::size_t i = 0; i < bytes.size();) {
        const char ch = bytes[i];
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\t' || c == '\r' || c == '\n') {
            out += c == '\t' ? "\\t" : (c == '\r' ? "\\r" : "\\n");
            ++i;
        } else if (c < 0x20 || c == 0x7f) {
            hexByte("\\x", c);
            ++i;
        } else if (c < 0x80) {
            out += ch;
            ++i;
        } else if (const std::size_t n = Utf8SequenceLength(bytes, i); n == 0) {
            // A byte that is no UTF-8 character; raw 0x80-0x9f would be C1 controls.
            hexByte("\\x", c);
            ++i;
        } else if (n == 2 && c == 0xc2 && static_cast<unsigned char>(bytes[i + 1]) < 0xa0) {
            // U+0080 to U+009F: C1 controls such as CSI, which some terminals obey.
            hexByte("\\u00", static_cast<unsigned char>(bytes[i + 1]));
            i += 2;
        } else if (const char32_t cp = InvisibleFormatAt(bytes, i, n); cp != 0) {
            // Bidirectional controls and marks reorder or hide what is around them, so one
            // name could be made to look like another.
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(cp >> shift) & 15];
            i += n;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
}

std::string EscapeForDisplay(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendEscapedForDisplay(out, bytes);
    return out;
}

} // namespace dirwise
