// The results list's row commands (a pair in the diff tool, a file in its application or its
// folder, paths to the clipboard), the filter bar's part in the window, and the directory
// pairs: Swap and the recent pairs.
#include "MainWindow.h"
#include "ResultsColumns.h"

#include "DisplayText.h"
#include "FileActions.h"
#include "FilterBar.h"
#include "LocaleText.h"
#include "Prompts.h"
#include "ResultsModel.h"
#include "WindowSettings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace dirwise {

namespace {

QString fromPath(const std::string &path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace

void MainWindow::buildRowActions() {
    auto action = [this](const char *name, const QString &text, const QKeySequence &keys,
                         auto slot) {
        auto *a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(keys);
        a->setEnabled(false);
        connect(a, &QAction::triggered, this, slot);
        addAction(a); // the keys work while the window has the focus, menus closed
        return a;
    };
    m_mnuCompareFiles = action("mnuCompareFiles", tr("Compare Fil&es"),
                               QKeySequence(Qt::CTRL | Qt::Key_D), &MainWindow::compareFiles);
    m_mnuOpenMaster = action("mnuOpenMaster", tr("Open &Master File"),
                             QKeySequence(Qt::CTRL | Qt::Key_O), &MainWindow::openMasterFile);
    m_mnuOpenCompare =
        action("mnuOpenCompare", tr("Open C&ompare File"),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), &MainWindow::openCompareFile);
    m_mnuOpenFolder = action("mnuOpenFolder", tr("Open Containing Fol&der"),
                             QKeySequence(Qt::CTRL | Qt::Key_E), &MainWindow::openContainingFolder);
    m_mnuCopyPath = action("mnuCopyPath", tr("Co&py Path"), QKeySequence(Qt::CTRL | Qt::Key_C),
                           [this] { copyPaths(false); });
    m_mnuCopyFullPath =
        action("mnuCopyFullPath", tr("Copy F&ull Path"),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { copyPaths(true); });
    m_mnuSwap = action("mnuSwap", tr("S&wap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
                       &MainWindow::swapDirectories);
    m_mnuSwap->setEnabled(true);
    m_mnuSwap->setToolTip(tr("Exchange the master and the compare directory"));

    connect(m_lvDw->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::updateRowActions);
    connect(m_lvDw->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::updateRowActions);
    connect(m_model.get(), &QAbstractItemModel::modelReset, this, &MainWindow::updateRowActions);
    connect(m_model.get(), &ResultsModel::countsChanged, this, &MainWindow::updateRowCount);
    connect(m_filterBar, &FilterBar::changed, this, &MainWindow::applyFilter);
}

qsizetype MainWindow::currentListRow() const {
    const QModelIndex current = m_lvDw->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount())
        return -1;
    const std::size_t row = m_model->listRow(current.row());
    return row < m_list.Count() ? static_cast<qsizetype>(row) : -1;
}

std::vector<std::size_t> MainWindow::selectedListRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex &ix : m_lvDw->selectionModel()->selectedRows())
        rows.push_back(m_model->listRow(ix.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::updateRowActions() {
    const qsizetype current = m_running ? -1 : currentListRow();
    std::optional<ResultRow> row;
    if (current >= 0)
        row = m_list.Row(static_cast<std::size_t>(current));
    // A side read from a snapshot or another machine has no file here to open.
    const bool master = row && row->hasMaster() && m_masterLive;
    const bool compare = row && row->hasCompare() && m_compareLive;
    const bool compareSide =
        row && (row->result == Result::NotCompared
                    ? row->detail == Detail::CompareFile || row->detail == Detail::CompareFolder
                    : !row->hasMaster());
    m_mnuCompareFiles->setEnabled(master && compare);
    m_mnuOpenMaster->setEnabled(master);
    m_mnuOpenCompare->setEnabled(compare);
    m_mnuOpenFolder->setEnabled(row && (compareSide ? m_compareLive : m_masterLive));
    const bool selected = !m_running && m_lvDw->selectionModel()->hasSelection();
    m_mnuCopyPath->setEnabled(selected);
    m_mnuCopyFullPath->setEnabled(selected);
    m_mnuSwap->setEnabled(!m_running);
}

std::string MainWindow::placeOf(std::size_t i) const {
    const ResultRow &row = m_list.Row(i);
    if (row.result == Result::NotCompared)
        return row.detail == Detail::CompareFile || row.detail == Detail::CompareFolder ||
                       row.detail == Detail::CompareGone ||
                       row.detail == Detail::CompareWalkedAlready
                   ? m_list.ComparePath(i)
                   : m_list.MasterPath(i);
    return row.hasMaster() ? m_list.MasterPath(i) : m_list.ComparePath(i);
}

void MainWindow::compareFiles() {
    const qsizetype i = m_running ? -1 : currentListRow();
    if (i < 0)
        return;
    const auto row = static_cast<std::size_t>(i);
    if (!m_list.Row(row).hasMaster() || !m_list.Row(row).hasCompare())
        return;
    const QStringList command = desktop::findDiffTool(m_diffTool);
    if (command.isEmpty()) {
        const QString text =
            m_diffTool.trimmed().isEmpty()
                ? tr("No diff tool is installed. Install one of %1, or name one in the "
                     "DiffTool setting.")
                      .arg(desktop::defaultDiffTools.join(QStringLiteral(", ")))
                : tr("The diff tool \"%1\" of the DiffTool setting cannot be found.")
                      .arg(m_diffTool);
        prompts().message(this, Prompts::Icon::Exclamation, tr("Compare Files"), text);
        return;
    }
    if (desktop::startCommand(
            command, {fromPath(m_list.MasterPath(row)), fromPath(m_list.ComparePath(row))}) !=
        desktop::OpenResult::HandedOver)
        prompts().message(this, Prompts::Icon::Exclamation, tr("Compare Files"),
                          tr("The diff tool %1 could not be started.").arg(command.first()));
}

void MainWindow::openMasterFile() {
    const qsizetype i = m_running ? -1 : currentListRow();
    if (i >= 0 && m_list.Row(static_cast<std::size_t>(i)).hasMaster())
        (void)desktop::shellOpen(fromPath(m_list.MasterPath(static_cast<std::size_t>(i))));
}

void MainWindow::openCompareFile() {
    const qsizetype i = m_running ? -1 : currentListRow();
    if (i >= 0 && m_list.Row(static_cast<std::size_t>(i)).hasCompare())
        (void)desktop::shellOpen(fromPath(m_list.ComparePath(static_cast<std::size_t>(i))));
}

void MainWindow::openContainingFolder() {
    const qsizetype i = m_running ? -1 : currentListRow();
    if (i >= 0)
        desktop::showInFolder(fromPath(placeOf(static_cast<std::size_t>(i))));
}

void MainWindow::copyPaths(bool full) {
    if (m_running)
        return;
    QStringList lines;
    for (std::size_t row : selectedListRows())
        lines << fromPath(full ? placeOf(row)
                               : m_list.RelativeDir(row).substr(1).append(m_list.Name(row)));
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(u'\n'));
}

void MainWindow::applyFilter() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_model->setFilter(m_filterBar->kinds(), m_filterBar->text());
    if (m_model->rowCount() > 0)
        m_lvDw->selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                                  QItemSelectionModel::NoUpdate);
    QApplication::restoreOverrideCursor();
}

void MainWindow::updateRowCount() {
    m_filterBar->setCounts(m_model->kindCounts(), m_model->kindsInList());
    const auto total = static_cast<std::int64_t>(m_model->listCount());
    const auto shown = static_cast<std::int64_t>(m_model->rowCount());
    if (total == 0)
        m_lblRows->clear();
    else if (shown == total)
        m_lblRows->setText(total == 1 ? tr("1 row") : tr("%1 rows").arg(numberText(total)));
    else
        m_lblRows->setText(tr("%1 of %2 rows").arg(numberText(shown), numberText(total)));
}

void MainWindow::swapDirectories() {
    if (m_running)
        return;
    const QString master = m_txtMasterDir->text();
    m_txtMasterDir->setText(m_txtCompareDir->text());
    m_txtCompareDir->setText(master);
}

void MainWindow::rememberPair() {
    const QString master = m_txtMasterDir->text(), compare = m_txtCompareDir->text();
    for (qsizetype i = 0; i + 1 < m_recentPairs.size(); i += 2) {
        if (m_recentPairs[i] == master && m_recentPairs[i + 1] == compare) {
            m_recentPairs.remove(i, 2);
            break;
        }
    }
    m_recentPairs.prepend(compare);
    m_recentPairs.prepend(master);
    m_recentPairs = m_recentPairs.mid(0, 2 * RecentPairsKept);
}

void MainWindow::fillRecentPairsMenu() {
    m_mnuRecentPairs->clear();
    for (qsizetype i = 0; i + 1 < m_recentPairs.size(); i += 2) {
        // Names shown to people are escaped; "&" would read as an access key.
        QString text = DisplayText(m_recentPairs[i].toStdString()) + QStringLiteral("  \u2192  ") +
                       DisplayText(m_recentPairs[i + 1].toStdString());
        QAction *a = m_mnuRecentPairs->addAction(text.replace(u'&', QStringLiteral("&&")));
        const int pair = static_cast<int>(i / 2);
        connect(a, &QAction::triggered, this, [this, pair] { takeRecentPair(pair); });
    }
    if (m_recentPairs.isEmpty())
        m_mnuRecentPairs->addAction(tr("No directories compared yet"))->setEnabled(false);
}

void MainWindow::takeRecentPair(int index) {
    const qsizetype i = 2 * static_cast<qsizetype>(index);
    if (index < 0 || i + 1 >= m_recentPairs.size() || m_running)
        return;
    const QString master = m_recentPairs[i], compare = m_recentPairs[i + 1];
    m_txtMasterDir->setText(master);
    m_txtCompareDir->setText(compare);
    updateBeginEnabled();
}

} // namespace dirwise
