#include "Messages.h"

#include "Io.h"

#include <clocale>
#include <cstring>
#include <locale.h>
#include <string_view>
#include <unistd.h>

namespace dirwise::cli {

void InitMessages() {
    std::setlocale(LC_ALL, "");
    // The program's own directory: /proc/self/exe names it even when dwc was found on PATH.
    std::string dir = "/usr/bin";
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        dir.assign(buf, static_cast<std::size_t>(n));
        dir.erase(dir.rfind('/') == 0 ? 1 : dir.rfind('/'));
    }
    ::bindtextdomain("dwc", (dir + "/" DWC_LOCALE_FROM_BIN).c_str());
    ::bind_textdomain_codeset("dwc", "UTF-8");
    ::textdomain("dwc");
}

std::string Format(const char *format, std::initializer_list<std::string> args) {
    const std::string_view f = format;
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%' || i + 1 == f.size()) {
            out += f[i];
            continue;
        }
        std::size_t at = i + 1, index = next;
        if (f[at] == '%') {
            out += '%';
            i = at;
            continue;
        }
        if (f[at] >= '1' && f[at] <= '9') {
            std::size_t digits = at;
            std::size_t number = 0;
            while (digits < f.size() && f[digits] >= '0' && f[digits] <= '9')
                number = number * 10 + static_cast<std::size_t>(f[digits++] - '0');
            if (digits < f.size() && f[digits] == '$') {
                index = number - 1;
                at = digits + 1;
            }
        }
        if (at < f.size() && f[at] == 's') {
            if (index < args.size())
                out += *(args.begin() + index);
            next = index + 1;
            i = at;
        } else {
            out += f[i];
        }
    }
    return out;
}

int Trouble(const std::string &message) {
    // Nothing useful can be done when standard error itself fails.
    (void)WriteAll(STDERR_FILENO, "dwc: " + message + "\n");
    return 2;
}

std::string ErrorText(int err) {
    // The catalogue's header is the translation of "": empty when dwc has no catalogue for
    // the locale's language, and then the C library's text is taken in English too.
    const char *header = ""; // a variable, so that xgettext takes it for no message
    if (*::gettext(header) != '\0')
        return std::strerror(err);
    const locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr);
    if (c == nullptr)
        return std::strerror(err);
    std::string text = ::strerror_l(err, c);
    ::freelocale(c);
    return text;
}

} // namespace dirwise::cli
