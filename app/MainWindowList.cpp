// The results list's commands: sort, remove, properties, the context menu and Save List.
// While a run is under way each of them is ignored (Save List cannot be reached then).
#include "MainWindow.h"

#include "CheckValue.h"
#include "FilePropertiesDialog.h"
#include "Prompts.h"
#include "Report.h"
#include "ResultsModel.h"

#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>

#include <sys/stat.h>

namespace dirwise {

void MainWindow::sortByColumn(int column) {
    if (m_list.Count() == 0 || m_running || column < 0 || column >= ColumnCount)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_sortDescending = !m_sortDescending;
    const SortOrder order = m_sortDescending ? SortOrder::Descending : SortOrder::Ascending;
    m_model->sortList(static_cast<Column>(column), order, m_lvDw->selectionModel());
    m_lvDw->header()->setSortIndicatorShown(true);
    m_lvDw->header()->setSortIndicator(column,
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
        m_model->removeListRows(rows);
        // Keep the keyboard's place: the row that moved up into the first removed position.
        const int count = m_model->rowCount();
        if (count > 0)
            m_lvDw->selectionModel()->setCurrentIndex(m_model->index(std::min(first, count - 1), 0),
                                                      QItemSelectionModel::NoUpdate);
    }
    m_cmdSave->setEnabled(m_list.Count() != 0);
}

void MainWindow::showRowProperties() {
    if (m_list.Count() == 0 || m_running)
        return;
    const QModelIndex current = m_lvDw->currentIndex();
    if (!current.isValid() || static_cast<std::size_t>(current.row()) >= m_list.Count())
        return;
    const auto row = static_cast<std::size_t>(current.row());
    // A file only in the compare tree has nothing on the master side to show.
    if (!m_list.Row(row).hasMaster()) {
        showFileProperties(this, m_list.ComparePath(row));
        return;
    }
    // The row's own files: the master file, and the compare file when there is one.
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
    m_mnuPopupMenu->popup(globalPos);
}

void MainWindow::saveList() {
    // The chosen file type decides the form, whatever the name ends in.
    const QString text = tr("Text File (*.txt)");
    const QString csv = tr("CSV File, all columns (*.csv)");
    QString chosenType;
    const QString path = prompts().saveFileName(this, tr("Save Results As..."),
                                                m_lastSaveFolder.isEmpty()
                                                    ? QStringLiteral("dw.txt")
                                                    : m_lastSaveFolder + QStringLiteral("/dw.txt"),
                                                text + QStringLiteral(";;") + csv, &chosenType);
    if (path.isEmpty())
        return;
    // The next save starts where this one went, whatever becomes of it.
    m_lastSaveFolder = QFileInfo(path).absolutePath();
    const ReportFormat format = chosenType == csv ? ReportFormat::Csv : ReportFormat::Report;
    const ReportStatus status = SaveReport(m_list, toBytes(path), format);
    if (!status.ok) {
        prompts().message(this, Prompts::Icon::Critical, tr("Cannot Save File"),
                          QString::fromLocal8Bit(status.error.data(),
                                                 static_cast<qsizetype>(status.error.size())));
        return;
    }
    prompts().message(this, Prompts::Icon::Information, tr("Complete"), tr("File save complete"));
}

} // namespace dirwise
