// The main window's roots beyond folders: a snapshot file or a folder on another machine in
// either directory box (opened, read and checked before a run), the choosers that pick a
// snapshot file, and File > Save Snapshot, which writes the master folder's snapshot.
#include "MainWindow.h"

#include "CheckValue.h"
#include "DisplayText.h"
#include "LocaleText.h"
#include "OpenRoot.h"
#include "Prompts.h"
#include "ReportTarget.h"
#include "SnapshotWriter.h"
#include "WindowHost.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <cerrno>
#include <chrono>

namespace dirwise {

namespace {

QString snapshotTypes() {
    return MainWindow::tr("Snapshot (*.mtree)") + QStringLiteral(";;") +
           MainWindow::tr("All Files (*)");
}

} // namespace

QString MainWindow::rootProblemText(bool master, const RootProblem &p) const {
    return rootProblemText(master, p, (master ? m_txtMasterDir : m_txtCompareDir)->text());
}

QString MainWindow::rootProblemText(bool master, const RootProblem &p, const QString &given) const {
    const QString which = master ? tr("Master directory") : tr("Compare directory");
    const QString shown = DisplayText(toBytes(given));
    const QString detail = DisplayText(p.detail);
    switch (p.fault) {
    case RootFault::None:
        return {};
    case RootFault::FolderUnusable:
        // Something that is there but is no folder, or cannot be read, is not "not found".
        return p.error == ENOENT ? tr("%1 not found: %2").arg(which, shown)
               : p.error == ENOTDIR
                   ? tr("%1 is not a folder: %2").arg(which, shown)
                   : tr("%1 cannot be read: %2: %3").arg(which, shown, errorText(p.error));
    case RootFault::NotFolderOrSnapshot:
        return tr("%1 is neither a folder nor a snapshot: %2").arg(which, shown);
    case RootFault::SnapshotBroken:
        return p.line > 0 ? tr("The snapshot %1 cannot be read: line %2: %3")
                                .arg(shown, numberText(p.line), detail)
                          : tr("The snapshot %1 cannot be read: %2").arg(shown, detail);
    case RootFault::SnapshotWithoutDigests:
        return tr("The snapshot %1 has no sha256 digest for some files, which Verify Contents "
                  "needs. Save a snapshot with Verify Contents on (File > Save Snapshot...).")
            .arg(shown);
    case RootFault::SnapshotWithoutTimes:
        return tr("The snapshot %1 has no modification time for some entries, which Match File "
                  "Date needs. Save a new snapshot of the folder (File > Save Snapshot...).")
            .arg(shown);
    case RootFault::RemoteInvalid:
    case RootFault::TransportStart:
        return tr("Remote directory %1: %2").arg(shown, detail);
    case RootFault::TransportQuote:
        return tr("The remote shell command of DWC_RSH has an open quote.");
    case RootFault::RemoteEnded:
        return p.detail.empty() ? tr("Remote directory %1: the remote side ended with status %2")
                                      .arg(shown)
                                      .arg(p.status)
                                : tr("Remote directory %1: %2").arg(shown, detail);
    }
    return {};
}

bool MainWindow::openRoot(bool master, const CompareOptions &options, OpenedRoot &out) {
    const RootRequest request{.digests = options.verifyContents,
                              .times = options.matchDate,
                              .transport = TransportWords(std::string()),
                              .loadInBackground = true,
                              .walked = master || options.listExtras};
    const RootProblem p = OpenRoot(master ? options.masterDir : options.compareDir, request, out);
    if (!p)
        return true;
    prompts().message(this, Prompts::Icon::Exclamation, tr("Invalid Path"),
                      rootProblemText(master, p));
    return false;
}

bool MainWindow::waitForTrees(OpenedRoot &master, OpenedRoot &compare) {
    // A snapshot file is read on a thread of its own, and the window waits for it here with
    // Stop at hand. A remote tree the run only looks files up in is waited for until its
    // first line has come (ssh's own failures end it before that): the run then compares
    // with it as it arrives, and Stop ends its transport too. One the run walks is waited
    // for whole here, where Stop is at hand, since the walk lists its root only then.
    for (OpenedRoot *root : {&master, &compare}) {
        if (root->Ready())
            continue;
        const QString shown =
            DisplayText(toBytes((root == &master ? m_txtMasterDir : m_txtCompareDir)->text()));
        m_waitingFor = root->remote ? tr("Reading the remote directory %1...").arg(shown)
                                    : tr("Reading the snapshot %1...").arg(shown);
        setStatus(m_waitingFor);
        while (!root->Ready()) {
            if (m_host->yield(Progress{})) {
                m_waitingFor.clear();
                master.Stop();
                compare.Stop();
                setStatus(tr("Stopped"));
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    m_waitingFor.clear();
    for (OpenedRoot *root : {&master, &compare}) {
        if (const RootProblem p = root->Checked()) {
            setStatus(QString());
            prompts().message(this, Prompts::Icon::Exclamation, tr("Invalid Path"),
                              rootProblemText(root == &master, p));
            return false;
        }
    }
    return true;
}

void MainWindow::endWithoutRun() {
    m_cmdBegin->show();
    m_cmdStop->hide();
    m_cmdSave->setEnabled(m_list.Count() > 0);
    QApplication::restoreOverrideCursor();
    m_running = false;
    updateRowActions();
    if (m_closeAfterRun)
        close();
}

void MainWindow::chooseSnapshot(bool master) {
    QLineEdit *box = master ? m_txtMasterDir : m_txtCompareDir;
    const QString chosen = prompts().openFileName(
        this, master ? tr("Choose Master Snapshot...") : tr("Choose Compare Snapshot..."),
        box->text(), snapshotTypes());
    if (!chosen.isEmpty())
        (void)takeDirectory(master, chosen);
}

void MainWindow::saveSnapshot() {
    if (m_running)
        return;
    const std::string given = toBytes(m_txtMasterDir->text());
    const std::string root = NormalizeRoot(given);
    if (given.empty() || IsRemoteRoot(given)) {
        prompts().message(this, Prompts::Icon::Exclamation, tr("Save Snapshot"),
                          tr("A snapshot is saved of the master directory, which must be a "
                             "folder on this computer."));
        return;
    }
    if (const int err = CheckRoot(root)) {
        prompts().message(this, Prompts::Icon::Exclamation, tr("Save Snapshot"),
                          tr("The master directory cannot be read: %1: %2")
                              .arg(DisplayText(given), errorText(err)));
        return;
    }
    const QFileInfo folder(m_txtMasterDir->text());
    const QString name =
        (folder.fileName().isEmpty() ? QStringLiteral("root") : folder.fileName()) +
        QStringLiteral(".mtree");
    const QString path = prompts().saveFileName(
        this, tr("Save Snapshot As..."),
        m_lastSaveFolder.isEmpty() ? name : m_lastSaveFolder + u'/' + name, snapshotTypes());
    if (path.isEmpty())
        return;
    m_lastSaveFolder = QFileInfo(path).absolutePath();
    const std::string target = toBytes(path);
    const auto cannotSave = [&](int err) {
        prompts().message(this, Prompts::Icon::Critical, tr("Cannot Save File"),
                          DisplayText(target) + QStringLiteral(": ") + errorText(err));
    };
    ReportPlace place;
    int err = CheckWriteTarget(target, SpecialTarget::WriteInPlace);
    if (err == 0)
        err = LocateReport(target, place);
    if (err != 0)
        return cannotSave(err);
    // A snapshot inside its own folder would describe itself half written.
    if (ReportInTree(place, root, false)) {
        prompts().message(this, Prompts::Icon::Exclamation, tr("Cannot Save File"),
                          tr("The snapshot would be written inside the folder it describes: %1")
                              .arg(DisplayText(target)));
        return;
    }
    // The manifest gathers beside its target and replaces it only when it is complete.
    const std::string resolved = ResolveWriteTarget(target);
    const auto slash = resolved.rfind('/');
    UniqueFd staging = MakeStagingFile(slash == std::string::npos ? "."
                                       : slash == 0               ? "/"
                                                                  : resolved.substr(0, slash));
    if (!staging)
        return cannotSave(errno);

    m_running = true;
    m_writingSnapshot = true;
    updateRowActions();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_cmdBegin->hide();
    m_cmdStop->show();
    m_host->beginRun();
    setStatus(tr("Saving snapshot: %1 entries").arg(numberText(0)));
    const bool digests = m_mnuVerify->isChecked();
    const SnapshotSummary s = WriteSnapshot(root, staging.get(), {digests}, *m_host);
    m_host->endRun();
    err = s.writeError;
    if (err == 0 && !s.stopped)
        err = SafeWrite(target, ReplayStagingFile(staging.get()), SpecialTarget::WriteInPlace);
    (void)staging.close();
    m_writingSnapshot = false;
    endWithoutRun();
    if (m_closeAfterRun)
        return;
    if (s.stopped) {
        setStatus(tr("Stopped"));
        prompts().message(this, Prompts::Icon::Information, tr("Stopped"),
                          tr("The snapshot was stopped; nothing was saved."));
        return;
    }
    if (err != 0) {
        setStatus(QString());
        return cannotSave(err);
    }
    QString text = tr("The snapshot of %1 was saved to %2: %3 entries.")
                       .arg(DisplayText(given), DisplayText(target), numberText(s.entries));
    if (digests)
        text += u' ' + tr("Every file's sha256 digest is in it.");
    QStringList places;
    for (const Diagnostic &d : s.notRead)
        places << DisplayText(d.Path()) + QStringLiteral(": ") + errorText(d.error);
    if (!places.isEmpty())
        text += QStringLiteral("\n\n") +
                tr("%1 places could not be read and are missing from it (see the details).")
                    .arg(numberText(static_cast<std::int64_t>(places.size())));
    setStatus(tr("Snapshot saved: %1 entries").arg(numberText(s.entries)));
    prompts().message(this,
                      places.isEmpty() ? Prompts::Icon::Information : Prompts::Icon::Exclamation,
                      tr("Complete"), text, places.join(u'\n'));
}

} // namespace dirwise
