#pragma once

#include "FilePropertiesDialog.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>

#include <string>
#include <vector>

class QWidget;

// The choosers, the file properties window and the About window. The choosers go through
// prompts() (Prompts.h), so tests answer them. None of these shows an error message.
namespace dirwise {

namespace modDialog32 {

// The folder chooser, modal over `owner`, titled `title`, opening at `initialDir` (the
// chooser's default when empty). Returns the chosen directory ("/" for the root, no
// trailing separator otherwise; blanks and commas kept), or the empty string on cancel.
[[nodiscard]] QString BrowseForFolder(QWidget *owner, const QString &title,
                                      const QString &initialDir);

// The save chooser, modal over `owner`, titled `title`, proposing `initialName` ("dw.txt")
// with `filter` in Qt's form ("Text File (*.txt)"). It asks before an existing file is
// replaced and refuses a name whose folder does not exist. Returns the chosen file's full
// path, or the empty string on cancel.
[[nodiscard]] QString ShowFileDialog(QWidget *owner, const QString &title,
                                     const QString &initialName, const QString &filter);

// Shows the properties of the master file `masterPath` and, when `comparePath` is not
// empty, of the compare file too (byte-string paths as the core keeps them). First the
// desktop's file manager is asked, one asynchronous org.freedesktop.FileManager1
// ShowItemProperties call per file on the session bus; a file it does not take (no session
// bus, no file manager, an error, or no answer within a few seconds) is shown in Dirwise's
// own modeless FilePropertiesDialog over `owner` instead. Returns at once: nothing here
// waits, so the window never freezes. An empty `masterPath` does nothing.
void ShowFileProperties(QWidget *owner, const std::string &masterPath,
                        const std::string &comparePath = std::string());

// The About window of the desktop: a modal information box (through prompts()) titled
// "About <appText>" that shows `appText`, `otherText` when not empty, and the operating
// system's name and version with the kernel and the Qt version. Returns when it is closed.
void ShowShellAbout(const QString &appText, const QString &otherText = QString());

// One ShowFileProperties request, for callers (and tests) that want to know how it ended.
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
    // survives ("file:///tmp/a%20b").
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

} // namespace modDialog32
} // namespace dirwise
