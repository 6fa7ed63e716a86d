#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Reading the freedesktop desktop entries (".desktop" files) that name the program the
// desktop associates with a MIME type. Only what finding that program needs: the
// [Desktop Entry] group's plain keys, the string escapes and the Exec quoting rules.
namespace dirwise::desktop {

// The value of `key` in the [Desktop Entry] group of a desktop file's `content`, with the
// string escapes (\s \n \t \r \\) undone. Localized variants (Key[de]) are different keys;
// blank lines and # comments are skipped; blanks around "=" are ignored. nullopt when the
// group or the key is missing. The first occurrence wins.
[[nodiscard]] std::optional<QString> entryValue(const QByteArray &content, const QString &key);

// Splits an Exec value into its arguments: blanks separate them, double quotes group them,
// and inside quotes a backslash makes the next of " ` $ \ literal. "%%" becomes "%"; other
// field codes (%f, %u, ...) stay as they are. Returns an empty list when the value holds no
// argument or a quote is not closed.
[[nodiscard]] QStringList splitExec(const QString &exec);

// The folders searched for applications, most important first: $XDG_DATA_HOME (else
// ~/.local/share), then each of $XDG_DATA_DIRS (else /usr/local/share and /usr/share), each
// followed by "/applications". Read from the environment at each call.
[[nodiscard]] QStringList applicationDirs();

// The file that defines `desktopId` ("firefox-esr.desktop"): the first of applicationDirs()
// holding it, either by that name or with some of its "-" read as sub-folders
// ("kde4-foo.desktop" as "kde4/foo.desktop"). Returns the empty string when none does or
// when the id is not a plain "*.desktop" name (no "/", no leading ".").
[[nodiscard]] QString findDesktopFile(const QString &desktopId);

// The full path of the program that the desktop file at `path` starts: the first argument
// of its Exec line, looked up on $PATH when it holds no "/". Returns the empty string when
// the file cannot be read, is marked Hidden, has no Exec line, or the program is not an
// existing executable file.
[[nodiscard]] QString programOfDesktopFile(const QString &path);

} // namespace dirwise::desktop
