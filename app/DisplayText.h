#pragma once

#include <QString>

#include <string_view>

namespace dirwise {

// The on-screen form of a byte string from the file system (a name, a path, a column
// text). Valid UTF-8 shows as its characters. So that no name can hide or fake another,
// tab, CR and LF show as \t, \r and \n and a backslash as \\ (as the report writes them),
// every other control byte and every byte that is not part of valid UTF-8 (overlong
// forms, surrogates and code points past U+10FFFF included) as \xHH. Never fails.
[[nodiscard]] QString DisplayText(std::string_view bytes);

// The on-screen form of a path for a message: as DisplayText.
[[nodiscard]] inline QString DisplayPath(std::string_view bytes) { return DisplayText(bytes); }

} // namespace dirwise
