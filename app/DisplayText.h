#pragma once

#include <QString>

#include <string_view>

namespace dirwise {

// The on-screen form of a byte string from the file system (a name, a path, a column
// text): EscapeForDisplay's bytes (TextForms.h) as a QString, so the window and dwc show
// every name alike. Valid UTF-8 shows as its characters; tab, CR and LF as \t, \r and \n;
// other control bytes and bytes that are not part of valid UTF-8 as \xhh (lower case);
// the C1 controls and the bidirectional controls and marks as \uhhhh; a backslash stays
// one backslash. Never fails.
[[nodiscard]] QString DisplayText(std::string_view bytes);

} // namespace dirwise
