#pragma once

#include <QDBusConnection>
#include <QDialog>
#include <QPointer>
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

// Shows the properties of the master file `masterPath` and, when `comparePath` is not
// empty, of the compare file too (byte-string paths as the core keeps them). First the
// desktop's file manager is asked, one asynchronous org.freedesktop.FileManager1
// ShowItemProperties call per file on the session bus; a file it does not take (no session
// bus, no file manager, an error, or no answer within a few seconds) is shown in Dirwise's
// own modeless FilePropertiesDialog over `owner` instead. Returns at once: nothing here
// waits, so the window never freezes. An empty `masterPath` does nothing.
void showFileProperties(QWidget *owner, const std::string &masterPath,
                        const std::string &comparePath = std::string());

// One showFileProperties request, for callers (and tests) that want to know how it ended.
// It deletes itself after finished().
class PropertiesRequest : public QObject {
    Q_OBJECT
public:
    // The D-Bus names of the freedesktop file manager interface.
    static constexpr char service[] = "org.freedesktop.FileManager1";
    static constexpr char objectPath[] = "/org/freedesktop/FileManager1";
    static constexpr char interface[] = "org.freedesktop.FileManager1";
    // How long a file manager may take to answer before our own window is shown.
    static constexpr int defaultTimeoutMs = 4000;

    // Starts asking `bus` about each of `paths` (empty paths are dropped); returns the
    // request, which lives until it has emitted finished() (connect at once: it is never
    // emitted before the event loop runs). The fallback dialog's parent is `owner` if it
    // still exists by then.
    [[nodiscard]] static PropertiesRequest *start(QWidget *owner,
                                                  const std::vector<std::string> &paths,
                                                  const QDBusConnection &bus,
                                                  int timeoutMs = defaultTimeoutMs);

    // The file: URI of a byte-string path, percent-encoded byte by byte so that any name
    // survives ("file:///tmp/a%20b"). A relative path is taken from the current directory.
    [[nodiscard]] static QString fileUri(const std::string &path);

signals:
    // Every answer is in. `dialog` is the fallback window now shown for the files the file
    // manager did not take (it owns itself and may be closed by the user at any time), or
    // nullptr when the file manager took them all.
    void finished(dirwise::FilePropertiesDialog *dialog);

private:
    PropertiesRequest(QWidget *owner, std::vector<std::string> paths);
    void answered(size_t index, bool taken);

    QPointer<QWidget> m_owner;
    std::vector<std::string> m_paths;
    std::vector<bool> m_taken;
    size_t m_pending = 0;
};

} // namespace dirwise
