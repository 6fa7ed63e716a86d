#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace dirwise {

// The on-screen form of a byte string from the file system (a name, a path, a column
// text): EscapeForDisplay's bytes (TextForms.h) as a QString, so the window and dwc show
// every name alike. Valid UTF-8 shows as its characters; tab, CR and LF as \t, \r and \n;
// other control bytes and bytes that are not part of valid UTF-8 as \xhh (lower case);
// the C1 controls and the bidirectional controls and marks as \uhhhh; a backslash stays
// one backslash. Never fails.
[[nodiscard]] QString DisplayText(std::string_view bytes);

// A path's bytes as the text of a box, and back, without losing a byte: valid UTF-8 becomes
// its characters, and each byte that is not part of valid UTF-8 (always 0x80 or above)
// becomes the lone surrogate U+DC00 + byte, which no valid text holds. PathBytes turns such
// a surrogate back into its byte and everything else into UTF-8 (another lone surrogate, which
// no decoding made, as U+FFFD), so PathBytes(PathText(b)) == b for every byte string b.
// Messages show paths with DisplayText, escaped.
[[nodiscard]] QString PathText(std::string_view bytes);
[[nodiscard]] std::string PathBytes(const QString &text);

} // namespace dirwise
