#include "TextForms.h"

#include <clocale>
#include <ctime>
#include <langinfo.h>

namespace dirwise {
namespace {

struct LocaleForms {
    std::string thousandsSep;
    std::string dateFormat;
    std::string timeFormat;
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

const LocaleForms &current() {
    LocaleForms &f = forms();
    if (!f.loaded) {
        const lconv *lc = std::localeconv();
        f.thousandsSep = (lc && lc->thousands_sep && *lc->thousands_sep) ? lc->thousands_sep : ",";
        const char *d = nl_langinfo(D_FMT);
        const char *t = nl_langinfo(T_FMT);
        f.dateFormat = widenYear((d && *d) ? d : "%m/%d/%Y");
        f.timeFormat = (t && *t) ? t : "%H:%M:%S";
        f.loaded = true;
    }
    return f;
}

} // namespace

void ReloadLocaleForms() { forms().loaded = false; }

std::string SizeText(std::int64_t bytes) {
    const LocaleForms &f = current();
    const bool negative = bytes < 0;
    // Work on the magnitude as unsigned so INT64_MIN needs no special case.
    std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < 9)
        digits[n++] = '0';
    std::string out;
    out.reserve(static_cast<std::size_t>(n) + 8 * f.thousandsSep.size() + 1);
    if (negative)
        out += '-';
    for (int i = n - 1; i >= 0; --i) {
        out += digits[i];
        if (i > 0 && i % 3 == 0)
            out += f.thousandsSep;
    }
    return out;
}

std::string DateText(std::int64_t secondsSinceEpoch) {
    const LocaleForms &f = current();
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return std::to_string(secondsSinceEpoch);
    char buf[160];
    std::size_t len = std::strftime(buf, sizeof buf, f.dateFormat.c_str(), &tm);
    std::string out(buf, len);
    if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0) {
        len = std::strftime(buf, sizeof buf, f.timeFormat.c_str(), &tm);
        out += ' ';
        out.append(buf, len);
    }
    return out;
}

void AppendEscapedField(std::string &out, std::string_view field) {
    for (char c : field) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
}

void AppendEscapedForTerminal(std::string &out, std::string_view name) {
    static const char hex[] = "0123456789abcdef";
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\t' || c == '\r' || c == '\n' || c == '\\') {
            AppendEscapedField(out, std::string_view(&ch, 1));
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
}

} // namespace dirwise
