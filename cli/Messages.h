#pragma once

// dwc's texts for people in the user's language, through GNU gettext (text domain "dwc").
// What is data (the report's words and columns, csv, json) never passes through here.

#include <initializer_list>
#include <libintl.h>
#include <string>

// A text translated now; N_ marks one for translation where it is stored, to be passed to
// _() when it is shown.
#define _(text) ::gettext(text)
#define N_(text) text

namespace dirwise::cli {

// Takes the locale from the environment and finds dwc's catalogues in the locale directory
// that lies where it was installed relative to the program (share/locale beside bin/), which
// in the build tree is build/share/locale. Call once, first thing in main.
void InitMessages();

// `format` with each "%s" replaced by the next of `args`, or "%N$s" by the Nth (from 1), so
// a translation may reorder them; "%%" is "%". A directive without its argument becomes
// nothing.
[[nodiscard]] std::string Format(const char *format, std::initializer_list<std::string> args);

// The system's text for errno `err`, in the language of dwc's own texts: under the locale
// when dwc speaks the locale's language, otherwise in English, so that one message never
// mixes two languages.
[[nodiscard]] std::string ErrorText(int err);

// Writes "dwc: MESSAGE" as a line to standard error and returns 2, the status of trouble.
int Trouble(const std::string &message);

} // namespace dirwise::cli
