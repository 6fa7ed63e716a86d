#pragma once

#include "Prompts.h"

namespace dirwise {

// The real prompts: Qt's folder chooser, Qt's save chooser (native where the platform theme
// has one) and QMessageBox. All three are modal on the caller's thread.
class DefaultPrompts : public Prompts {
public:
    // Qt's directory chooser, opened at `initialDir` (the chooser's own default when empty).
    // Returns the chosen directory as Qt renders it ("/" for the root, otherwise no trailing
    // separator), or the empty string on cancel.
    QString browseForFolder(QWidget *owner, const QString &title,
                            const QString &initialDir) override;
    // Qt's save chooser, starting from `initialName`, with `filters` in Qt's form ("Text
    // File (*.txt);;CSV File (*.csv)"), the first chosen. The chooser asks before an
    // existing file is overwritten. A name whose folder does not exist is refused: a warning
    // box says so and the chooser opens again in the nearest folder of the typed path that
    // does exist, with the typed file name and file type. Returns the full path, or the
    // empty string on cancel; `chosenFilter` (optional) receives the chosen file type.
    QString saveFileName(QWidget *owner, const QString &title, const QString &initialName,
                         const QString &filters, QString *chosenFilter = nullptr) override;
    // Qt's open chooser (native where the platform theme has one) for one existing file.
    QString openFileName(QWidget *owner, const QString &title, const QString &initialPath,
                         const QString &filters) override;
    // A QMessageBox with the matching icon (Exclamation shows as a warning), one OK button
    // and, when `details` is not empty, expandable details. Returns when it is closed.
    void message(QWidget *owner, Icon icon, const QString &title, const QString &text,
                 const QString &details = QString()) override;

protected:
    // One round of the save chooser, opening at `start` with the file type `*selected`
    // chosen (one of `filters`), which receives the user's choice; the empty string on
    // cancel. saveFileName() calls it until the answer is acceptable, so a test can stand in
    // for the dialog here.
    [[nodiscard]] virtual QString askSaveFileName(QWidget *owner, const QString &title,
                                                  const QString &start, const QString &filters,
                                                  QString *selected);
};

} // namespace dirwise
