// The main window's menus: File, Edit, Options and Help on the menu bar, and the results
// list's context menu; and the Options menu's choices as settings and as run options.
#include "MainWindow.h"

#include "Compare.h"
#include "FilterBar.h"
#include "ResultRow.h"
#include "SkipRulesDialog.h"
#include "WindowSettings.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace dirwise {

namespace {

QAction *addCheckable(QMenu *menu, const char *name, const QString &text) {
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    return action;
}

} // namespace

void MainWindow::buildMenus() {
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    file->addActions({m_mnuCompareFiles, m_mnuOpenMaster, m_mnuOpenCompare, m_mnuOpenFolder});
    file->addSeparator();
    file->addMenu(m_mnuRecentPairs);
    file->addSeparator();
    QAction *masterSnapshot = file->addAction(tr("Choose M&aster Snapshot..."));
    masterSnapshot->setObjectName(QStringLiteral("mnuMasterSnapshot"));
    connect(masterSnapshot, &QAction::triggered, this, [this] { chooseSnapshot(true); });
    QAction *compareSnapshot = file->addAction(tr("Choose Compare Snaps&hot..."));
    compareSnapshot->setObjectName(QStringLiteral("mnuCompareSnapshot"));
    connect(compareSnapshot, &QAction::triggered, this, [this] { chooseSnapshot(false); });
    QAction *saveSnapshot = file->addAction(tr("Save &Snapshot..."));
    saveSnapshot->setObjectName(QStringLiteral("mnuSaveSnapshot"));
    saveSnapshot->setToolTip(tr("Save the master directory as a snapshot file"));
    connect(saveSnapshot, &QAction::triggered, this, &MainWindow::saveSnapshot);
    file->addSeparator();
    QAction *exit = file->addAction(tr("E&xit"));
    exit->setObjectName(QStringLiteral("mnuFileExit"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &MainWindow::close);

    QMenu *edit = menuBar()->addMenu(tr("Edi&t"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    edit->addActions({m_mnuCopyPath, m_mnuCopyFullPath});
    edit->addSeparator();
    edit->addAction(m_mnuSwap);
    QAction *filter = edit->addAction(tr("&Filter"));
    filter->setObjectName(QStringLiteral("mnuFilter"));
    filter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(filter, &QAction::triggered, this, [this] {
        m_filterBar->textBox()->setFocus(Qt::ShortcutFocusReason);
        m_filterBar->textBox()->selectAll();
    });

    QMenu *options = menuBar()->addMenu(tr("&Options"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    buildOptionsMenu(options);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    buildViewMenu(view);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    m_mnuHelpContents = help->addAction(tr("&Help Contents..."));
    m_mnuHelpContents->setObjectName(QStringLiteral("mnuHelpContents"));
    connect(m_mnuHelpContents, &QAction::triggered, this, &MainWindow::openHelpPage);
    QAction *web = help->addAction(tr("Help on the &Web..."));
    web->setObjectName(QStringLiteral("mnuHelpWeb"));
    connect(web, &QAction::triggered, this, &MainWindow::openHomePage);
    help->addSeparator()->setObjectName(QStringLiteral("mnuSep0"));
    m_mnuHelpAbout = help->addAction(tr("&About"));
    m_mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
    connect(m_mnuHelpAbout, &QAction::triggered, this, &MainWindow::showAboutBox);

    // The results list's context menu; it never shows on the menu bar.
    m_mnuPopupMenu = new QMenu(QStringLiteral("PopupMenu"), this);
    m_mnuPopupMenu->setObjectName(QStringLiteral("mnuPopupMenu"));
    QAction *remove = m_mnuPopupMenu->addAction(tr("&Remove From List"));
    remove->setObjectName(QStringLiteral("mnuRemove"));
    connect(remove, &QAction::triggered, this, &MainWindow::removeSelectedRows);
    m_mnuSkipFolder = m_mnuPopupMenu->addAction(tr("Skip This &Folder"));
    m_mnuSkipFolder->setObjectName(QStringLiteral("mnuSkipFolder"));
    connect(m_mnuSkipFolder, &QAction::triggered, this, [this] { skipCurrentRow(true); });
    QAction *skipFile = m_mnuPopupMenu->addAction(tr("Skip This F&ile"));
    skipFile->setObjectName(QStringLiteral("mnuSkipFile"));
    connect(skipFile, &QAction::triggered, this, [this] { skipCurrentRow(false); });
    m_mnuPopupMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    m_mnuPopupMenu->addActions({m_mnuCompareFiles, m_mnuOpenMaster, m_mnuOpenCompare,
                                m_mnuOpenFolder, m_mnuCopyPath, m_mnuCopyFullPath});
    m_mnuPopupMenu->addSeparator();
    QAction *cancel = m_mnuPopupMenu->addAction(tr("&Cancel"));
    cancel->setObjectName(QStringLiteral("mnuCancel"));
}

void MainWindow::buildOptionsMenu(QMenu *options) {
    QMenu *time = options->addMenu(tr("&Time Tolerance"));
    time->setObjectName(QStringLiteral("mnuTimeTolerance"));
    auto *tolerance = new QActionGroup(time);
    tolerance->setExclusive(true);
    const std::pair<const char *, const char *> times[] = {
        {"mnuTimeExact", QT_TR_NOOP("&Exact")},
        {"mnuTime1", QT_TR_NOOP("&1 Second")},
        {"mnuTime2", QT_TR_NOOP("&2 Seconds (FAT)")}};
    for (std::size_t seconds = 0; seconds < m_mnuTime.size(); ++seconds) {
        const auto &[name, text] = times[seconds];
        m_mnuTime[seconds] = addCheckable(time, name, tr(text));
        tolerance->addAction(m_mnuTime[seconds]);
    }
    m_mnuTime[0]->setChecked(true);

    m_mnuHourShifts =
        addCheckable(options, "mnuHourShifts", tr("Ignore 1-Hour &Shifts (Daylight Saving)"));
    m_mnuShowExtra =
        addCheckable(options, "mnuShowExtra", tr("&List Files Only in Compare Directory"));
    m_mnuVerify = addCheckable(options, "mnuVerify", tr("&Verify Contents"));
    m_mnuFollowLinks = addCheckable(options, "mnuFollowLinks", tr("&Follow Links to Directories"));
    m_mnuFollowLinks->setChecked(true);
    options->addSeparator();
    QAction *skip = options->addAction(tr("S&kip Folders and Files…"));
    skip->setObjectName(QStringLiteral("mnuSkip"));
    connect(skip, &QAction::triggered, this, &MainWindow::showSkipRulesDialog);
}

void MainWindow::showSkipRulesDialog() {
    auto *dialog = new SkipRulesDialog(m_skipRules, m_useGitignore, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        m_skipRules = dialog->rules();
        m_useGitignore = dialog->useGitignore();
    });
    dialog->open();
}

void MainWindow::buildViewMenu(QMenu *view) {
    // The keyboard's way to a header click: each entry sorts as a click on its column does.
    QMenu *sort = view->addMenu(tr("Sort &By"));
    sort->setObjectName(QStringLiteral("mnuSortBy"));
    const char *const texts[ColumnCount] = {
        QT_TR_NOOP("&Result"),       QT_TR_NOOP("Compare &Path"), QT_TR_NOOP("File &Name"),
        QT_TR_NOOP("&Master Size"),  QT_TR_NOOP("C&ompare Size"), QT_TR_NOOP("Master &Date"),
        QT_TR_NOOP("Compare D&ate"), QT_TR_NOOP("Di&fference")};
    for (int column = 0; column < ColumnCount; ++column) {
        QAction *action = sort->addAction(tr(texts[column]));
        action->setObjectName(QStringLiteral("mnuSortBy%1").arg(column));
        action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + column)));
        connect(action, &QAction::triggered, this, [this, column] { sortByColumn(column); });
    }
}

void MainWindow::setMenuOptions(const WindowSettings &s) {
    m_mnuTime[static_cast<std::size_t>(std::clamp(s.timeTolerance, 0, 2))]->setChecked(true);
    m_mnuHourShifts->setChecked(s.hourShifts == 1);
    m_mnuShowExtra->setChecked(s.showExtra == 1);
    m_mnuVerify->setChecked(s.verifyContents == 1);
    m_mnuFollowLinks->setChecked(s.followLinks == 1);
    m_skipRules = s.skipRules;
    m_useGitignore = s.useGitignore == 1;
}

void MainWindow::getMenuOptions(WindowSettings &s) const {
    s.timeTolerance = m_mnuTime[2]->isChecked() ? 2 : m_mnuTime[1]->isChecked() ? 1 : 0;
    s.hourShifts = m_mnuHourShifts->isChecked() ? 1 : 0;
    s.showExtra = m_mnuShowExtra->isChecked() ? 1 : 0;
    s.verifyContents = m_mnuVerify->isChecked() ? 1 : 0;
    s.followLinks = m_mnuFollowLinks->isChecked() ? 1 : 0;
    s.skipRules = m_skipRules;
    s.useGitignore = m_useGitignore ? 1 : 0;
}

void MainWindow::setRunOptions(CompareOptions &o) const {
    WindowSettings s;
    getMenuOptions(s);
    o.timeTolerance = s.timeTolerance;
    o.hourShifts = s.hourShifts;
    o.listExtras = s.showExtra != 0;
    o.verifyContents = s.verifyContents != 0;
    o.followLinks = s.followLinks != 0;
    o.skipRules = m_skipRules.toStdString();
    o.useGitignore = m_useGitignore;
}

} // namespace dirwise
