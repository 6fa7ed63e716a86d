#pragma once

#include <QString>

class QWidget;

namespace dirwise {

// Every modal question the program asks goes through this interface, so that tests answer
// choosers and message boxes without a person and without timers racing a dialog.
// The real implementation (DefaultPrompts) shows Qt's dialogs.
class Prompts {
public:
    enum class Icon { Information, Exclamation, Critical };

    virtual ~Prompts() = default;

    // The folder chooser, modal over `owner`, titled `title`, opening at `initialDir` (the
    // chooser's default when empty). Returns the chosen directory ("/" for the root, no
    // trailing separator otherwise; blanks and commas kept), or the empty string when the
    // user cancels.
    virtual QString browseForFolder(QWidget *owner, const QString &title,
                                    const QString &initialDir) = 0;
    // The save chooser, modal over `owner`, titled `title`, proposing `initialName` with
    // the file types `filters` in Qt's form, separated by ";;" ("Text File (*.txt);;CSV
    // File (*.csv)"), the first one chosen. It asks before an existing file is replaced and
    // refuses a name whose folder does not exist. Returns the chosen file's full path, or
    // the empty string when the user cancels; `chosenFilter`, when given, receives the file
    // type the user left chosen (one of `filters`, as written there).
    virtual QString saveFileName(QWidget *owner, const QString &title, const QString &initialName,
                                 const QString &filters, QString *chosenFilter = nullptr) = 0;
    // The open chooser for one existing file, modal over `owner`, titled `title`, opening at
    // `initialPath` (a folder, or a file to preselect; the chooser's default when empty),
    // offering the file types `filters` in the save chooser's form. Returns the chosen
    // file's full path, or the empty string when the user cancels.
    virtual QString openFileName(QWidget *owner, const QString &title, const QString &initialPath,
                                 const QString &filters) = 0;
    // A modal message box with an OK button. `details`, when not empty, is shown as the
    // box's expandable details.
    virtual void message(QWidget *owner, Icon icon, const QString &title, const QString &text,
                         const QString &details = QString()) = 0;
};

// The process-wide prompts: DefaultPrompts unless a test installed its own. Never null.
[[nodiscard]] Prompts &prompts();
// Installs `p` (not owned; nullptr restores the default). For tests.
void setPrompts(Prompts *p);

} // namespace dirwise
