// What assistive technology reads for the main window's controls: a name for every control
// whose caption does not say what it is, and a description where the name alone is short.
#include "MainWindow.h"
#include "ResultsColumns.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace dirwise {

void MainWindow::describeControls() {
    auto describe = [](QWidget *w, const QString &name, const QString &description) {
        w->setAccessibleName(name);
        w->setAccessibleDescription(description);
    };
    describe(m_lblRows, tr("Rows shown"), tr("How many rows the list shows, and of how many"));
    // A text box's own icon buttons (the recent pairs' arrow, the filter's clear button)
    // are named by their tooltip, or as what Qt's clear button does.
    for (QLineEdit *box : findChildren<QLineEdit *>())
        for (QToolButton *icon : box->findChildren<QToolButton *>())
            if (icon->accessibleName().isEmpty())
                icon->setAccessibleName(icon->toolTip().isEmpty() ? tr("Clear the text")
                                                                  : icon->toolTip());
    // The two boxes and their "..." buttons look alike: the name says which folder.
    describe(m_txtMasterDir, tr("Master folder"),
             tr("The directory that contains the correct files"));
    describe(m_txtCompareDir, tr("Compare folder"),
             tr("The directory that contains the questionable files"));
    describe(m_cmdMasterDir, tr("Choose master folder…"),
             tr("Opens a chooser for the master folder; its arrow offers a snapshot file"));
    describe(m_cmdCompareDir, tr("Choose compare folder…"),
             tr("Opens a chooser for the compare folder; its arrow offers a snapshot file"));
    describe(m_imgMaster, tr("Master folder picture"),
             tr("Click to choose the master folder, or drop a folder or a snapshot file here"));
    describe(m_imgCompare, tr("Compare folder picture"),
             tr("Click to choose the compare folder, or drop a folder or a snapshot file here"));
    for (std::size_t i = 0; i < m_txtEXT.size(); ++i)
        describe(m_txtEXT[i], tr("Extension %1").arg(i + 1),
                 tr("A file extension the options above include or exclude"));
    describe(m_lvDw, tr("Results"), tr("One row a file; View, Sort By sorts it by a column"));
    describe(m_lblStatus, tr("Status"), {});
    describe(m_picCommand, tr("Commands"), {});
    describe(m_lineHeader, tr("Separator"), {});
    describe(m_client, tr("Directories and options"), {});
}

} // namespace dirwise
