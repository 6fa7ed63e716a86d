#include "DefaultPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace dirwise {

QString DefaultPrompts::browseForFolder(QWidget *owner, const QString &title,
                                        const QString &initialDir) {
    return QFileDialog::getExistingDirectory(owner, title, initialDir, QFileDialog::ShowDirsOnly);
}

QString DefaultPrompts::askSaveFileName(QWidget *owner, const QString &title, const QString &start,
                                        const QString &filters, QString *selected) {
    // The static chooser confirms an overwrite by default; with a platform theme it is the
    // desktop's own dialog, which users expect.
    return QFileDialog::getSaveFileName(owner, title, start, filters, selected);
}

QString DefaultPrompts::openFileName(QWidget *owner, const QString &title,
                                     const QString &initialPath, const QString &filters) {
    return QFileDialog::getOpenFileName(owner, title, initialPath, filters);
}

namespace {

// The nearest folder of `path` that exists: itself, or the closest folder above it.
QString nearestExistingFolder(const QString &path) {
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            break;
        folder = up;
    }
    return folder;
}

} // namespace

QString DefaultPrompts::saveFileName(QWidget *owner, const QString &title,
                                     const QString &initialName, const QString &filters,
                                     QString *chosenFilter) {
    QString start = initialName;
    QString selected = filters.section(u";;"_s, 0, 0);
    for (;;) {
        const QString chosen = askSaveFileName(owner, title, start, filters, &selected);
        if (chosen.isEmpty())
            return QString();
        // Qt's own chooser accepts a name in a folder that does not exist, so check here
        // rather than let the save fail later with a less helpful message.
        const QFileInfo typed(chosen);
        const QFileInfo folder(typed.absolutePath());
        if (folder.isDir()) {
            if (chosenFilter)
                *chosenFilter = selected;
            return chosen;
        }
        message(owner, Icon::Exclamation, title,
                QCoreApplication::translate("dirwise::Prompts",
                                            "The folder \"%1\" does not exist.\nChoose an "
                                            "existing folder.")
                    .arg(QDir::toNativeSeparators(folder.absoluteFilePath())));
        // Open again where the user was, with the name they typed: a chooser cannot open
        // in a folder that does not exist.
        QString near = nearestExistingFolder(folder.absoluteFilePath());
        if (!near.endsWith(u'/'))
            near += u'/';
        start = near + typed.fileName();
    }
}

void DefaultPrompts::message(QWidget *owner, Icon icon, const QString &title, const QString &text,
                             const QString &details) {
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Exclamation:
        boxIcon = QMessageBox::Warning;
        break;
    case Icon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, owner);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

namespace {

DefaultPrompts &defaultPrompts() {
    static DefaultPrompts instance;
    return instance;
}

// Only the GUI thread asks questions, so a plain pointer is enough.
Prompts *g_installed = nullptr;

} // namespace

Prompts &prompts() { return g_installed ? *g_installed : defaultPrompts(); }

void setPrompts(Prompts *p) { g_installed = p; }

} // namespace dirwise
