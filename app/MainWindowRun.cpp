// The main window's compare run: the checks before it, the options snapshot, the run on
// the window's host, the status bar while it runs, and the summary after it.
#include "MainWindow.h"

#include "CheckValue.h"
#include "DisplayText.h"
#include "LocaleText.h"
#include "NotCompared.h"
#include "OpenRoot.h"
#include "OptionsText.h"
#include "Prompts.h"
#include "ResultsColumns.h"
#include "ResultsModel.h"
#include "WindowHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

namespace dirwise {

namespace {

// Counts are grouped in the user's locale, in the progress and in the totals alike, as the
// list's sizes are.
QString countText(std::int64_t n) { return numberText(n); }

// Bytes as people read them: "512 bytes", "120 MiB", "3.4 GiB".
QString bytesText(std::int64_t n) {
    return QLocale().formattedDataSize(n, n < std::int64_t{1} << 30 ? 0 : 1,
                                       QLocale::DataSizeIecFormat);
}

QString fromBytes(const std::string &s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

void MainWindow::rewriteExtensionBoxes() {
    for (QLineEdit *box : m_txtEXT) {
        const QString rewritten = fromBytes(RewriteExtensionBox(box->text().toStdString()));
        if (rewritten != box->text())
            box->setText(rewritten);
    }
}

CompareOptions MainWindow::takeOptions() {
    // Size and date count only when checked (1); a grayed box (2) counts as unchecked. The
    // other two boxes count at any value but 0.
    CompareOptions o;
    o.masterDir = toBytes(m_txtMasterDir->text());
    o.compareDir = toBytes(m_txtCompareDir->text());
    o.subDirs = checkValue(m_chkSubDir) != 0;
    o.matchSize = checkValue(m_chkSize) == 1;
    o.matchDate = checkValue(m_chkDate) == 1;
    o.hideMatches = checkValue(m_chkHide) != 0;
    o.excludeMode = m_optEX->isChecked();
    for (std::size_t i = 0; i < o.extensions.size(); ++i)
        o.extensions[i] = m_txtEXT[i]->text().toStdString();
    setRunOptions(o);
    return o;
}

void MainWindow::beginCompare() {
    if (m_running)
        return;
    // A missing or unreadable root would report every file as not found, or an empty
    // master as a complete compare: refuse to start instead. A snapshot or a remote root
    // opens here too; what the run needs of it is checked once it is read.
    const CompareOptions asked = takeOptions();
    auto master = std::make_unique<OpenedRoot>();
    auto compare = std::make_unique<OpenedRoot>();
    if (!openRoot(true, asked, *master) || !openRoot(false, asked, *compare))
        return;
    // Typed boxes can name one directory twice, which the choosers refuse.
    if (master->live && compare->live &&
        NormalizeRoot(asked.masterDir) == NormalizeRoot(asked.compareDir)) {
        prompts().message(this, Prompts::Icon::Exclamation, tr("Invalid Path"),
                          tr("Cannot specify same directory as compare directory."));
        return;
    }

    rememberPair();
    m_running = true;
    m_masterLive = master->live;
    m_compareLive = compare->live;
    updateRowActions();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_cmdBegin->hide();
    m_cmdStop->show();
    m_cmdSave->setEnabled(false);
    rewriteExtensionBoxes();
    const CompareOptions options = takeOptions();
    m_runOptions = OptionsText(options);
    m_runTime = QDateTime::currentSecsSinceEpoch();

    m_verifying = options.verifyContents;

    m_host->beginRun();
    setStatus(tr("Starting..."));
    if (!waitForTrees(*master, *compare)) {
        m_host->endRun();
        endWithoutRun();
        return;
    }
    CompareSummary summary;
    QStringList troubles;
    m_runRoots[0] = master.get();
    m_runRoots[1] = compare.get();
    const struct Forget {
        OpenedRoot **roots;
        ~Forget() { roots[0] = roots[1] = nullptr; }
    } forget{m_runRoots};
    try {
        summary = RunCompare(options, *master->source, *compare->source, m_list, *m_host);
        // A remote root that broke off makes the run's answer unsure: the user hears why.
        for (OpenedRoot *root : {master.get(), compare.get()}) {
            if (summary.stopped)
                root->Stop();
            if (const RootProblem p = root->Finish(); p && !summary.stopped)
                troubles << rootProblemText(root == master.get(), p);
        }
        // Every place not compared is a row, sorted, filtered and saved like the others.
        AppendNotComparedRows(summary, m_list);
    } catch (const std::bad_alloc &) {
        m_host->endRun();
        runOutOfMemory();
        return;
    }
    m_host->endRun();
    m_model->sync();
    if (m_closeAfterRun) {
        // Closed during the run: no summary to read, the window goes.
        m_running = false;
        QApplication::restoreOverrideCursor();
        close();
        return;
    }
    finishRun(summary, troubles);
}

void MainWindow::runOutOfMemory() {
    // Whatever the run had listed goes, so the window has room to work again.
    m_list = ResultsList();
    m_model->sync();
    m_cmdBegin->show();
    m_cmdStop->hide();
    m_cmdSave->setEnabled(false);
    QApplication::restoreOverrideCursor();
    setStatus(tr("Out of memory"));
    m_running = false;
    updateRowActions();
    prompts().message(this, Prompts::Icon::Critical, tr("Out of Memory"),
                      tr("There was not enough memory to finish the compare. The "
                         "list has been cleared."));
}

void MainWindow::finishRun(const CompareSummary &summary, const QStringList &troubles) {
    m_cmdBegin->show();
    m_cmdStop->hide();
    // A list the user had sorted is sorted again: the run appended its rows in scan order.
    const SortState sorting = m_list.Sorting();
    if (sorting.sorted && m_list.Count() > 0)
        m_model->sortList(sorting.key, sorting.order, m_lvDw->selectionModel());
    fitResultColumnsToRows(m_lvDw);
    QApplication::restoreOverrideCursor();

    if (summary.stopped) {
        setStatus(tr("Stopped"));
        m_running = false;
        prompts().message(this, Prompts::Icon::Information, tr("Stopped"), tr("Dirwise stopped."));
    } else {
        QStringList totals = {tr("Total Files: %1").arg(countText(summary.total())),
                              tr("Matching Files: %1").arg(countText(summary.matching())),
                              tr("Different Files: %1").arg(countText(summary.different))};
        if (summary.extrasListed)
            totals << tr("Extra Files: %1").arg(countText(summary.extras));
        if (summary.skipping)
            totals << tr("Skipped Folders: %1").arg(countText(summary.skippedFolders))
                   << tr("Skipped Files: %1").arg(countText(summary.skippedFiles));
        if (!summary.notCompared.empty())
            totals << tr("Not Compared: %1")
                          .arg(countText(static_cast<std::int64_t>(summary.notCompared.size())));
        setStatus(totals.join(QStringLiteral("    ")));
        // The message says what the status bar says, in the same words and number form.
        QStringList lines = QStringList{tr("Dirwise complete."), QString()} + totals;
        // The places themselves are rows of the list, where they stay after this box.
        if (!summary.notCompared.empty())
            lines << QString()
                  << tr("The places not compared are listed as \"Not Compared\" rows.");
        if (!troubles.isEmpty())
            lines << QString() << troubles;
        m_running = false;
        prompts().message(this,
                          summary.notCompared.empty() && troubles.isEmpty()
                              ? Prompts::Icon::Information
                              : Prompts::Icon::Exclamation,
                          tr("Complete"), lines.join(QLatin1Char('\n')));
    }
    if (m_list.Count() > 0) {
        m_cmdSave->setEnabled(true);
        if (!m_lvDw->currentIndex().isValid())
            m_lvDw->selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                                      QItemSelectionModel::NoUpdate);
        m_lvDw->setFocus(Qt::OtherFocusReason);
    }
    updateRowActions();
}

void MainWindow::stopCompare() {
    if (!m_running)
        return;
    m_host->requestStop();
    // A remote tree still arriving ends now: what the run waits for from it answers at once.
    for (OpenedRoot *root : m_runRoots)
        if (root)
            root->Stop();
}

void MainWindow::beforeTurn() {
    m_model->sync();
    showRunStatus();
}

void MainWindow::showRunStatus() {
    if (!m_waitingFor.isEmpty()) {
        setStatus(m_waitingFor);
        return;
    }
    if (m_writingSnapshot) {
        setStatus(tr("Saving snapshot: %1 entries").arg(countText(m_host->progress().listed)));
        return;
    }
    const Progress &p = m_host->progress();
    switch (p.phase) {
    case Phase::Listing:
        setStatus(tr("Listing: %1 files found").arg(countText(p.listed)));
        break;
    case Phase::Comparing: {
        QString text =
            tr("Comparing: %1 of %2 files").arg(countText(p.compared), countText(p.listed));
        if (m_verifying)
            text += tr(", %1 verified").arg(bytesText(p.bytesVerified));
        setStatus(text);
        break;
    }
    case Phase::Extras:
        setStatus(tr("Listing compare directory: %1 files found").arg(countText(p.listed)));
        break;
    }
}

void MainWindow::setStatus(const QString &text) {
    m_status = text;
    m_lblStatus->setText(text);
}

} // namespace dirwise
