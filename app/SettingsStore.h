#pragma once

#include <QSettings>
#include <QString>

namespace dirwise {

// The per-user store of string values addressed by application, section and key. Each
// application is one file in Qt's native format for this user:
// $XDG_CONFIG_HOME/<application>/<application>.conf (~/.config when the variable is unset),
// with the organisation and the application name both set to the application. Fall-backs
// to system-wide files are off, so a file under /etc can never bring deleted settings back.
// Every operation opens the file afresh; the class holds no state and may be copied.
class SettingsStore {
public:
    // The stored text of `key` in `section`, or `defaultValue` when the file, the section or
    // the key is absent. Never fails; a file that cannot be parsed reads as empty (see
    // Status).
    [[nodiscard]] QString GetValue(const QString &application, const QString &section,
                                   const QString &key, const QString &defaultValue) const;

    // True when the file holds `key` in `section` (whatever its text, also an empty one).
    [[nodiscard]] bool Contains(const QString &application, const QString &section,
                                const QString &key) const;

    // Stores `text` under `key`, creating the file and the section as needed and replacing an
    // earlier value; the file is written before the call returns. Returns false when it could
    // not be written (the caller may go on).
    bool SetValue(const QString &application, const QString &section, const QString &key,
                  const QString &text);

    // Removes every section and key of the application and then its file. Returns false when
    // the application had no file (nothing to delete) or the file could not be removed.
    bool DeleteApplication(const QString &application);

    // The file that holds the application's values (it need not exist).
    [[nodiscard]] QString FileName(const QString &application) const;

    // The application's file as it stands: NoError (also when there is no file),
    // AccessError (it cannot be read) or FormatError (it cannot be parsed: a section header
    // without its "]", or a line that is neither blank, a comment, a header nor "key=value").
    [[nodiscard]] QSettings::Status Status(const QString &application) const;
};

} // namespace dirwise
