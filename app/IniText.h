#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// The text of a settings file in the INI form that QSettings reads and writes: "[section]"
// lines, "key=value" lines, ";" comments, values escaped and quoted as QSettings does. The
// settings store reads and writes these files itself (QSettings can neither refuse a FIFO
// before it blocks on it nor write through a safe replacement), so a file written by an
// earlier version, by QSettings, reads here exactly as QSettings reads it, and a file
// written here reads back alike in QSettings.
namespace dirwise::ini {

// One key and its value as text (unescaped).
struct Entry {
    QString key;
    QString value;
};

// One section and its keys in file order. The unnamed section is QSettings' "[General]".
struct Section {
    QString name;
    QList<Entry> entries;
};

// A whole file: sections in file order, each name once, each key once per section.
struct Document {
    QList<Section> sections;

    // The value of `key` in `section`; none when either is absent. Names compare with
    // regard to case, as QSettings does on Linux.
    [[nodiscard]] std::optional<QString> value(const QString &section, const QString &key) const;
    // Sets `key` in `section` to `value`: an existing key keeps its place, a new one goes to
    // the end of the section, a new section to the end of the file.
    void set(const QString &section, const QString &key, const QString &value);
    // The section named `name`, or nullptr.
    [[nodiscard]] Section *find(const QString &name);
};

// Parses a file's bytes. A UTF-8 byte-order mark is skipped; lines starting with ";" or
// "#" are comments, and ";" outside quotes ends a line's value; a value may span lines
// inside quotes or after a backslash. A later key of the same name replaces the earlier
// value; a section that appears twice is one section. A value that QSettings would read as
// a list (commas outside quotes) is its items joined by ", "; "@@" at the start stands for
// "@"; "@String(...)" is the text inside; "@ByteArray(...)" is its bytes read as UTF-8;
// "@Invalid()" is no value (the key is left out); the forms QSettings writes for other types
// ("@Rect(...)", "@Variant(...)",
// ...) read as empty text. Returns false when a line is
// neither blank, a comment, a section header with its "]", nor holds a "=" — everything
// else is still read into `out`.
[[nodiscard]] bool Parse(QByteArrayView text, Document &out);

// The file's bytes as QSettings writes them: "[name]" (the unnamed section as
// "[General]"), then one "key=value" line per entry, LF line ends, a blank line between
// sections. Keys are escaped as QSettings escapes keys, values as it escapes strings.
[[nodiscard]] QByteArray Format(const Document &document);

// A string value as QSettings writes it after "=": a text holding a NUL as "@String(...)",
// otherwise a leading "@" doubled; control
// characters, quotes and backslashes escaped ("\n", "\x1b", ...); other characters as UTF-8;
// the whole in double quotes when it holds ";", "," or "=" or begins or ends with a blank.
[[nodiscard]] QByteArray EscapeValue(const QString &value);

// The value text after "=" as QSettings reads a string from it; none for "@Invalid()".
[[nodiscard]] std::optional<QString> UnescapeValue(QByteArrayView raw);

} // namespace dirwise::ini
