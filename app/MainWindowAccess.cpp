// What assistive technology reads for the main window's controls: a name for every control
// whose caption does not say what it is, and a description where the name alone is short.
#include "MainWindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

namespace dirwise {

void MainWindow::describeControls() {
    auto describe = [](QWidget *w, const QString &name, const QString &description) {
        w->setAccessibleName(name);
        w->setAccessibleDescription(description);
    };
    // The two boxes and their "..." buttons look alike: the name says which folder.
    describe(m_txtMasterDir, QStringLiteral("Master folder"),
             QStringLiteral("The directory that contains the correct files"));
    describe(m_txtCompareDir, QStringLiteral("Compare folder"),
             QStringLiteral("The directory that contains the questionable files"));
    describe(m_cmdMasterDir, QStringLiteral("Choose master folder…"),
             QStringLiteral("Opens a chooser for the master folder"));
    describe(m_cmdCompareDir, QStringLiteral("Choose compare folder…"),
             QStringLiteral("Opens a chooser for the compare folder"));
    describe(m_imgMaster, QStringLiteral("Master folder picture"),
             QStringLiteral("Click to choose the master folder, or drop a folder here"));
    describe(m_imgCompare, QStringLiteral("Compare folder picture"),
             QStringLiteral("Click to choose the compare folder, or drop a folder here"));
    for (std::size_t i = 0; i < m_txtEXT.size(); ++i)
        describe(m_txtEXT[i], QStringLiteral("Extension %1").arg(i + 1),
                 QStringLiteral("A file extension the options above include or exclude"));
    describe(m_lvDw, QStringLiteral("Results"),
             QStringLiteral("One row a file; View, Sort By sorts it by a column"));
    describe(m_lblStatus, QStringLiteral("Status"), {});
    describe(m_picCommand, QStringLiteral("Commands"), {});
    describe(m_lineHeader, QStringLiteral("Separator"), {});
    describe(m_client, QStringLiteral("Directories and options"), {});
}

} // namespace dirwise
