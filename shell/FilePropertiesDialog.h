#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;

namespace dirwise {

// What Dirwise's own properties window shows of one file, read with lstat(): a link is
// described as the link, not followed.
struct FileFacts {
    QString path;          // the path as given, decoded for display
    bool readable = false; // false: the file could not be examined; `type` holds why
    QString type;          // kind ("Regular file", "Directory", "Symbolic link to X", ...)
                           // and for regular files the MIME type's description and name
    QString size;          // "1,234 bytes (1.2 KiB)" in the user's locale
    QString modified;      // local time, to the second: "2024-05-01 13:45:10"
    QString permissions;   // "-rw-r--r-- (0644)"
    QString owner;         // "alice (1000), group staff (100)"; a number alone when unknown
};

// Examines `path` (a byte string as the core keeps it; it need not be UTF-8). Never fails:
// a file that cannot be examined gives readable == false, `type` saying why, and the other
// fields but `path` empty.
[[nodiscard]] FileFacts describeFile(const std::string &path);

// Dirwise's own properties window, used when no desktop file manager shows one: one group
// per file ("Master file" and "Compare file" when there are two, "File" for one), each
// with path, type, size, modified, permissions and owner, and a Close button. It is
// modeless, so it never blocks the main window, and it deletes itself when closed.
class FilePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    enum class Field { Path, Type, Size, Modified, Permissions, Owner };

    // Examines every path now (`paths` holds one or two byte-string paths); the dialog is
    // not shown yet. `parent` owns it, as usual for Qt; it stays a window of its own.
    explicit FilePropertiesDialog(const std::vector<std::string> &paths, QWidget *parent = nullptr);

    // The number of files shown.
    [[nodiscard]] int fileCount() const;
    // The text shown in `field` for file `index` (0 = the first path), as on screen; the
    // empty string for an index out of range.
    [[nodiscard]] QString fieldText(int index, Field field) const;

private:
    struct Row {
        QLineEdit *path = nullptr;
        QLabel *type = nullptr;
        QLabel *size = nullptr;
        QLabel *modified = nullptr;
        QLabel *permissions = nullptr;
        QLabel *owner = nullptr;
    };
    std::vector<Row> m_rows;
};

} // namespace dirwise
