// The results list's commands: sort, remove, properties, the context menu and Save List. They
// act on the rows the filter shows.
// While a run is under way each of them is ignored (Save List cannot be reached then).
#include "MainWindow.h"
#include "ResultsColumns.h"

#include "CheckValue.h"
#include "FilePropertiesDialog.h"
#include "HtmlPage.h"
#include "LocaleText.h"
#include "Prompts.h"
#include "Report.h"
#include "ReportTarget.h"
#include "ResultsModel.h"
#include "SkipRules.h"
#include "SkipRulesDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>

#include <sys/stat.h>

namespace dirwise {
namespace {

// Which tree of the list's run a report at `path` would land in, by device and inode (a file
// of it reached by any name, or a new name in one of its folders): 'm', 'c', or 0 for
// neither. Only folders on this machine can hold it; a place that cannot be looked up is left
// to the save, which names its error.
char treeHolding(const std::string &path, const ResultsList &list, bool followLinks) {
    ReportPlace place;
    if (LocateReport(path, place) != 0)
        return 0;
    if (IsDirectory(list.MasterRoot()) && ReportInTree(place, list.MasterRoot(), followLinks))
        return 'm';
    if (IsDirectory(list.CompareRoot()) && ReportInTree(place, list.CompareRoot(), followLinks))
        return 'c';
    return 0;
}

} // namespace

void MainWindow::sortByColumn(int column) {
    if (m_list.Count() == 0 || m_running || column < 0 || column >= ColumnCount)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_sortDescending = !m_sortDescending;
    const SortOrder order = m_sortDescending ? SortOrder::Descending : SortOrder::Ascending;
    m_model->sortList(static_cast<Column>(column), order, m_lvDw->selectionModel());
    m_lvDw->horizontalHeader()->setSortIndicatorShown(true);
    m_lvDw->horizontalHeader()->setSortIndicator(column,
                                       m_sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    const QModelIndex current = m_lvDw->currentIndex();
    if (current.isValid())
        m_lvDw->scrollTo(current);
    QApplication::restoreOverrideCursor();
}

void MainWindow::removeSelectedRows() {
    if (m_running)
        return;
    std::vector<std::size_t> rows;
    int first = -1;
    for (const QModelIndex &ix : m_lvDw->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(ix.row()));
        first = first < 0 ? ix.row() : std::min(first, ix.row());
    }
    if (!rows.empty()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_model->removeListRows(rows);
        // The next row, which moved up into the first removed position, is selected, so
        // Delete pressed again goes on down the list.
        const int count = m_model->rowCount();
        if (count > 0)
            m_lvDw->selectionModel()->setCurrentIndex(m_model->index(std::min(first, count - 1), 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        QApplication::restoreOverrideCursor();
    }
    m_cmdSave->setEnabled(m_list.Count() != 0);
}

void MainWindow::showRowProperties() {
    if (m_list.Count() == 0 || m_running)
        return;
    const qsizetype current = currentListRow();
    if (current < 0)
        return;
    const auto row = static_cast<std::size_t>(current);
    // A file only in the compare tree has nothing on the master side to show.
    if (m_list.Row(row).result != Result::NotCompared && !m_list.Row(row).hasMaster()) {
        showFileProperties(this, m_list.ComparePath(row));
        return;
    }
    // The row's own files: the master file, and the compare file when there is one.
    if (m_list.Row(row).result == Result::NotCompared) {
        showFileProperties(this, placeOf(row), std::string());
        return;
    }
    std::string compare;
    if (m_list.Row(row).hasCompare()) {
        compare = m_list.ComparePath(row);
        struct stat st {};
        if (::lstat(compare.c_str(), &st) != 0)
            compare.clear();
    }
    showFileProperties(this, m_list.MasterPath(row), compare);
}

void MainWindow::showListMenu(const QPoint &globalPos) {
    if (m_list.Count() < 1)
        return;
    const QModelIndex current = m_lvDw->currentIndex();
    m_mnuSkipFolder->setEnabled(current.isValid() &&
                                m_list.RelativeDir(static_cast<std::size_t>(current.row())) != "/");
    m_mnuPopupMenu->popup(globalPos);
}

void MainWindow::skipCurrentRow(bool folder) {
    const QModelIndex current = m_lvDw->currentIndex();
    if (m_running || !current.isValid() ||
        static_cast<std::size_t>(current.row()) >= m_list.Count())
        return;
    const auto row = static_cast<std::size_t>(current.row());
    const std::string dir = m_list.RelativeDir(row); // "/" or "/a/b/"
    const std::string name(m_list.Name(row));
    if (folder && dir == "/")
        return;
    const std::string path = folder ? dir.substr(1, dir.size() - 2) : dir.substr(1) + name;
    if (!m_skipRules.isEmpty() && !m_skipRules.endsWith(QLatin1Char('\n')))
        m_skipRules += QLatin1Char('\n');
    m_skipRules += RuleText(LiteralRule(path, folder)) + QLatin1Char('\n');
    std::vector<std::size_t> covered;
    for (std::size_t i = 0; i < m_list.Count(); ++i) {
        const std::string d = m_list.RelativeDir(i);
        if (folder ? d.starts_with(dir) : d == dir && m_list.Name(i) == name)
            covered.push_back(i);
    }
    m_model->removeListRows(covered);
    const int count = m_model->rowCount();
    if (count > 0)
        m_lvDw->selectionModel()->setCurrentIndex(
            m_model->index(std::min(current.row(), count - 1), 0), QItemSelectionModel::NoUpdate);
    m_cmdSave->setEnabled(count != 0);
}

void MainWindow::saveList() {
    // The chosen file type decides the form, whatever the name ends in.
    const QString text = tr("Text File (*.txt)");
    const QString csv = tr("CSV File, all columns (*.csv)");
    const QString page = tr("HTML page (*.html)");
    QString title = tr("Save Results As...");
    m_model->sync();
    if (m_model->filtering()) {
        title += tr(" (%1 of %2 rows)")
                     .arg(numberText(m_model->rowCount()),
                          numberText(static_cast<std::int64_t>(m_list.Count())));
    }
    QString chosenType;
    const QString path = prompts().saveFileName(
        this, title,
        m_lastSaveFolder.isEmpty() ? QStringLiteral("dw.txt")
                                   : m_lastSaveFolder + QStringLiteral("/dw.txt"),
        text + QStringLiteral(";;") + csv + QStringLiteral(";;") + page, &chosenType);
    if (path.isEmpty())
        return;
    // The next save starts where this one went, whatever becomes of it.
    m_lastSaveFolder = QFileInfo(path).absolutePath();
    const ReportFormat format = chosenType == csv ? ReportFormat::Csv : ReportFormat::Report;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The rows shown, in their order: a filter's hidden rows are not saved.
    std::vector<std::size_t> shown;
    if (m_model->filtering())
        shown = m_model->shownListRows();
    const std::vector<std::size_t> *rows = m_model->filtering() ? &shown : nullptr;
    // Saved inside a tree, the list would change what it describes, or overwrite a compared
    // file reached by another name (a hard link, a bind mount, a followed link).
    if (const char tree = treeHolding(toBytes(path), m_list, m_mnuFollowLinks->isChecked())) {
        QApplication::restoreOverrideCursor();
        prompts().message(
            this, Prompts::Icon::Critical, tr("Cannot Save File"),
            (tree == 'm' ? tr("%1 is inside the master directory. Save the list outside both "
                              "directories, so that no compared file is changed.")
                         : tr("%1 is inside the compare directory. Save the list outside both "
                              "directories, so that no compared file is changed."))
                .arg(QDir::toNativeSeparators(path)));
        return;
    }
    const ReportStatus status =
        chosenType == page
            ? SaveHtmlPage(m_list, PageInfo{.options = m_runOptions, .when = m_runTime},
                           toBytes(path), rows)
            : SaveReport(m_list, toBytes(path), format, rows);
    QApplication::restoreOverrideCursor();
    if (!status.ok) {
        prompts().message(this, Prompts::Icon::Critical, tr("Cannot Save File"),
                          QString::fromLocal8Bit(status.error.data(),
                                                 static_cast<qsizetype>(status.error.size())));
        return;
    }
    prompts().message(this, Prompts::Icon::Information, tr("Complete"), tr("File save complete"));
}

} // namespace dirwise
