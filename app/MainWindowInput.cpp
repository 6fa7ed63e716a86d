// The main window's keys, mouse clicks and drops, and the window events it reacts to.
#include "MainWindow.h"
#include "ResultsColumns.h"

#include "CheckValue.h"
#include "FilterBar.h"
#include "Io.h"
#include "MtreeReader.h"
#include "OpenRoot.h"
#include "Prompts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

namespace {

// Sees every key press of the application before its receiver does, and hands those meant
// for one window's widgets to that window. A separate object from the window, so the
// window's own event filter is never called twice for the same event.
class KeyPreview final : public QObject {
public:
    KeyPreview(QWidget *window, std::function<bool(QObject *, const QKeyEvent &)> handler)
        : QObject(window), m_window(window), m_handler(std::move(handler)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        // A menu is a window of its own: it counts as this window's when it hangs from it.
        auto *widget = static_cast<QWidget *>(watched);
        while (qobject_cast<QMenu *>(widget) && widget->parentWidget())
            widget = widget->parentWidget();
        if (widget->window() != m_window)
            return false;
        return m_handler(watched, *static_cast<QKeyEvent *>(event));
    }

private:
    QWidget *m_window;
    std::function<bool(QObject *, const QKeyEvent &)> m_handler;
};

} // namespace

void MainWindow::installKeyPreview() {
    // The window sees key presses before the focused control does.
    new KeyPreview(this, [this](QObject *watched, const QKeyEvent &key) {
        return handlePreviewKey(watched, key);
    });
}

bool MainWindow::handlePreviewKey(QObject *watched, const QKeyEvent &key) {
    if (auto *menu = qobject_cast<QMenu *>(watched)) {
        // The menu closes itself on Esc. One of the menu bar's leaves the bar with the
        // keyboard under some styles (Fusion) and not under others (Adwaita): the next Esc
        // only lets go of the menu bar either way, never closes the window.
        if (key.key() == Qt::Key_Escape && menu != m_mnuPopupMenu)
            m_menuEscaped = true;
        return false;
    }
    const bool menuEscaped = std::exchange(m_menuEscaped, false);
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool inList = watched == m_lvDw || watched == m_lvDw->viewport();
    switch (key.key()) {
    case Qt::Key_Escape:
        // During a run Esc is Stop: the window and the rows found so far stay.
        if (m_running) {
            stopCompare();
            return true;
        }
        // A menu bar that has the keyboard (Alt was tapped, or a menu was closed with Esc)
        // takes Esc to let go of it: closing the window there would lose the list.
        if (qobject_cast<QMenuBar *>(watched))
            return false;
        if (menuEscaped)
            return true;
        // In the filter box Esc first empties it, as in a search box.
        if (watched == m_filterBar->textBox() && !m_filterBar->text().isEmpty()) {
            m_filterBar->textBox()->clear();
            m_filterBar->applyNow();
            return true;
        }
        close();
        return true;
    case Qt::Key_F8:
        close();
        return true;
    case Qt::Key_F1:
        openHelpPage();
        return true;
    case Qt::Key_F2:
        showAboutBox();
        return true;
    case Qt::Key_F10:
        if (!inList || modifiers != Qt::ShiftModifier)
            return false;
        showListMenuAtCurrentRow();
        return true;
    case Qt::Key_Menu:
        if (!inList)
            return false;
        showListMenuAtCurrentRow();
        return true;
    case Qt::Key_Delete:
        if (!inList)
            return false;
        removeSelectedRows();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (modifiers != Qt::NoModifier)
            return false;
        if (inList) {
            showRowProperties(); // as a double click does
            return true;
        }
        // The command buttons are no dialog's default buttons, so Enter would pass them by.
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (!button ||
            !(qobject_cast<QPushButton *>(button) || qobject_cast<QToolButton *>(button)))
            return false;
        if (button->isEnabled())
            button->click();
        return true;
    }
    default:
        return false;
    }
}

void MainWindow::showListMenuAtCurrentRow() {
    if (m_list.Count() < 1)
        return;
    const QModelIndex current = m_lvDw->currentIndex();
    QPoint at(0, 0);
    if (current.isValid()) {
        m_lvDw->scrollTo(current);
        at = m_lvDw->visualRect(current).bottomLeft();
    }
    showListMenu(m_lvDw->viewport()->mapToGlobal(at));
}

void MainWindow::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToFont();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // A run is stopped first; the window closes once the run has returned (beginCompare),
    // so the close steps never run inside a yield.
    if (m_running) {
        m_closeAfterRun = true;
        stopCompare();
        event->ignore();
        return;
    }
    saveSettingsOnClose();
    event->accept();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress)
        m_menuEscaped = false;
    if (handleDragAndDrop(watched, event))
        return true;
    if (watched == m_client) {
        if (type == QEvent::MouseButtonDblClick) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (!m_client->childAt(mouse->position().toPoint())) {
                showSystemAboutBox();
                return true;
            }
        }
        return false;
    }
    if ((watched == m_imgMaster || watched == m_imgCompare) && type == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *picture = static_cast<QWidget *>(watched);
        if (mouse->button() == Qt::LeftButton &&
            picture->rect().contains(mouse->position().toPoint())) {
            if (watched == m_imgMaster)
                chooseMasterDirectory();
            else
                chooseCompareDirectory();
            return true;
        }
        return false;
    }
    if (m_lvDw && watched == m_lvDw->viewport()) {
        if (type == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton)
                showListMenu(mouse->globalPosition().toPoint());
        } else if (type == QEvent::MouseButtonDblClick) {
            // The press before it has already made the clicked row current.
            showRowProperties();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- drops ------------------------------------------------------------------------------

MainWindow::DroppedRoots MainWindow::droppedRoots(const QMimeData *mime) const {
    DroppedRoots dropped;
    if (!mime || !mime->hasUrls())
        return dropped;
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        // Folders, and files that may be snapshots: anything else makes the whole drop
        // something else.
        if (path.isEmpty() || !(info.isDir() || info.isFile()))
            return {};
        if (info.isFile() && !isSnapshotFile(path))
            dropped.otherFiles = true;
        dropped.paths << QDir::cleanPath(path);
    }
    return dropped;
}

bool MainWindow::isSnapshotFile(const QString &path) {
    // The first bytes say it, as they do for a root typed in. Opened without waiting, so
    // a FIFO that looks like a file never holds the drag.
    const std::string bytes = toBytes(path);
    UniqueFd fd(::open(bytes.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::string head(4096, '\0');
    const ssize_t n = ::pread(fd.get(), head.data(), head.size(), 0);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return LooksLikeManifest(head);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event) { (void)handleDragAndDrop(this, event); }

void MainWindow::dragMoveEvent(QDragMoveEvent *event) { (void)handleDragAndDrop(this, event); }

void MainWindow::dropEvent(QDropEvent *event) { (void)handleDragAndDrop(this, event); }

bool MainWindow::handleDragAndDrop(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    const DroppedRoots dropped = droppedRoots(drop->mimeData());
    const QStringList &roots = dropped.paths;
    const bool masterSpot = watched == m_txtMasterDir || watched == m_imgMaster;
    const bool compareSpot = watched == m_txtCompareDir || watched == m_imgCompare;
    const bool directorySpot = masterSpot || compareSpot;
    // An extension box keeps its own text drops; folders and snapshots are the window's.
    if (roots.isEmpty() && !directorySpot && watched != this)
        return false;
    // More than there are boxes are taken in, only to be refused with a word: a drag
    // cursor alone would not say why. So is one file that is no snapshot on a box, with
    // the words a typed one gets; a pair that holds one is refused outright.
    const bool tooMany = roots.size() > 2;
    const bool wanted = tooMany || (roots.size() == 2 && !dropped.otherFiles) ||
                        (roots.size() == 1 && directorySpot);
    if (!wanted) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop && tooMany) {
        QMetaObject::invokeMethod(
            this,
            [this, count = roots.size()] {
                prompts().message(this, Prompts::Icon::Exclamation, tr("Too Many Folders"),
                                  tr("%1 folders were dropped. Drop one folder on a "
                                     "directory box or its picture, or two on the "
                                     "window: the master folder, then the compare "
                                     "folder.")
                                      .arg(count));
            },
            Qt::QueuedConnection);
    } else if (type == QEvent::Drop) {
        // Taken once the drop is over: an "Invalid Path" box must not hold the drag source.
        QMetaObject::invokeMethod(
            this,
            [this, roots, masterSpot, other = dropped.otherFiles] {
                if (roots.size() == 2)
                    takeCommandLineDirectories(roots[0], roots[1]);
                else if (other) {
                    // One that cannot be read may well be a snapshot: its trouble is told.
                    RootProblem problem;
                    problem.fault = RootFault::NotFolderOrSnapshot;
                    if (::faccessat(AT_FDCWD, toBytes(roots[0]).c_str(), R_OK, AT_EACCESS) != 0) {
                        problem.fault = RootFault::FolderUnusable;
                        problem.error = errno;
                    }
                    prompts().message(this, Prompts::Icon::Exclamation, tr("Invalid Path"),
                                      rootProblemText(masterSpot, problem, roots[0]));
                } else
                    (void)takeDirectory(masterSpot, roots[0]);
            },
            Qt::QueuedConnection);
    }
    return true;
}

} // namespace dirwise
