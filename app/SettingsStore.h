#pragma once

#include "IniText.h"

#include <QString>

#include <cstdint>

namespace dirwise {

// The per-user store of the settings: one file per application in QSettings' INI form,
// $XDG_CONFIG_HOME/<application>/<application>.conf (~/.config when the variable is unset
// or not absolute), the file QSettings would use for that organisation and application.
// System-wide files are never read, so a file under /etc can never bring deleted settings
// back.
//
// The store reads and writes the file itself: it never blocks on a FIFO, never reads a
// device or a file of a size no settings file has, and replaces the file only whole (see
// Write). Every operation looks at the file afresh; the class holds no state.
class SettingsStore {
public:
    // The largest settings file that is read.
    static constexpr std::int64_t MaxFileSize = 1024 * 1024;

    // How a read ended.
    enum class ReadStatus {
        Ok,         // read and parsed
        NoFile,     // nothing stored: the file (or a link's target) does not exist
        NotRegular, // a directory, FIFO, socket or device stands there (after links)
        TooLarge,   // more than MaxFileSize bytes
        Unreadable, // it could not be opened or read; `error` says why
        BadFormat,  // read, but not in the settings format (what could be parsed is kept)
    };
    struct ReadResult {
        ReadStatus status = ReadStatus::NoFile;
        int error = 0; // the errno with Unreadable
    };

    // Reads the application's file into `document` (emptied first). The file is looked at
    // with stat before it is opened, and opened without waiting (O_NONBLOCK), so a FIFO put
    // in its place, even between the look and the open, gives NotRegular at once.
    [[nodiscard]] ReadResult Read(const QString &application, ini::Document &document) const;

    // Writes `document` as the application's file, making its directory when needed,
    // through SafeWrite (results/SafeWrite.h) refusing anything but a regular file: the old
    // file stays whole when the disk is full, a link is followed and kept, and a device,
    // FIFO or directory in its place is left alone. Returns 0 or the errno that stopped it.
    [[nodiscard]] int Write(const QString &application, const ini::Document &document);

    // Removes the application's file: the directory entry itself, so a link goes and its
    // target is never touched. Returns false when there was nothing to remove or it could
    // not be removed.
    bool DeleteApplication(const QString &application);

    // The file that holds the application's values (it need not exist).
    [[nodiscard]] QString FileName(const QString &application) const;
};

} // namespace dirwise
