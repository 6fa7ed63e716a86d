#pragma once

#include "Compare.h"
#include "ResultsList.h"
#include "WindowSettings.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractButton;
class QAction;
class QActionGroup;
class QCheckBox;
class QMimeData;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace dirwise {

class FilterBar;
class OpenedRoot;
class ResultsView;
class ResultsModel;
struct RootProblem;
class WindowHost;

// The main window: the two directory boxes with their choosers, the options, the extension
// filter, the results list lvDw, the command panel, the menus (File, Options, Help) and a
// status bar, laid out by Qt layouts from the font: the list takes all extra room, the
// directory boxes widen with the window and the command buttons keep to its bottom right.
// Controls carry their names as objectName (txtMasterDir, cmdBegin, txtEXT0 to txtEXT3,
// lblDw0 and lblDw1, ...), and so do the menus and their actions (mnuOptions, mnuFileExit,
// mnuTimeExact, mnuRemove, ...).
//
// Keys: Esc and F8 close the window (Esc stops a run instead, and only leaves an active menu
// bar or, after closing a menu with Esc, the menus), Ctrl+Q is File >
// Exit, F1 the help page, F2 the About box, Delete removes the selected rows, Enter on a row
// shows its properties, Shift+F10 and the Menu key open the list's context menu at the
// current row, Enter presses a focused button. A folder dropped on a directory box or its
// picture is chosen for it; two folders dropped on the window fill both boxes.
//
// Closing the window by any route runs saveSettingsOnClose(), which ends the process. The
// window runs every compare on the GUI thread through its WindowHost. The code is split by
// concern: MainWindow.cpp (controls, list view, directories, window commands),
// MainWindowMenus.cpp (the menus and the Options menu's values), MainWindowInput.cpp (keys,
// mouse and drops), MainWindowLayout.cpp, MainWindowRun.cpp (the compare),
// MainWindowList.cpp (the list's commands) and MainWindowSettings.cpp (restore, save,
// geometry).
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // Builds the controls and opens at the design client area (8295 × 6030 twips at the
    // window's dpi) or at the layout's minimum when the font needs more.
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load steps: caption, the help controls (enabled when the help page can be read),
    // the About menu entry, restoreSettings(), updateBeginEnabled(), focus on the master
    // "..." button. Throws LoadError when a stored setting cannot be used; the window is
    // then unusable.
    void load();

    // Enables cmdBegin exactly when both directory boxes hold text (blanks count) and
    // "Match File Size" or "Match File Date" is checked (value 1, not grayed).
    void updateBeginEnabled();

    // Reads the settings (WindowSettings::read) into the controls, the Options menu and the
    // window geometry: the stored frame position and outer size, in twips, at this window's
    // dpi. A size below the layout's minimum (also 0 or negative) comes out at that minimum,
    // one beyond the desktop at the desktop's size; a window that would lie wholly off every
    // screen is moved onto the nearest one. Throws LoadError.
    void restoreSettings();
    // The controls as settings; the geometry (frame position and outer size in twips) only
    // while the window is in its normal state, else without it.
    [[nodiscard]] WindowSettings currentSettings() const;
    // The close steps: writes the settings (or deletes them when "Save on Exit" is not 1),
    // then ends the program through the program end (see setProgramEnd). Runs once; a second
    // close route arriving meanwhile finds it done.
    void saveSettingsOnClose();
    // Replaces how the program ends after the close steps (default: _exit(0), which also
    // abandons a run that is yielding). Tests record the call instead.
    void setProgramEnd(std::function<void()> end);

    // The Begin command: checks both directories (CheckRoot; a failing one gives the
    // "Invalid Path" message and no run), then runs one compare from a snapshot of the
    // options and the Options menu, with the Stop button, busy pointer and status bar while
    // it runs, and the summary (or "Dirwise stopped.") at the end. Running out of memory
    // ends the run with the "Out of Memory" message and an empty list. Ignored while a run
    // is under way.
    void beginCompare();
    // The Stop command: asks a running compare to stop at its next yield; nothing otherwise.
    void stopCompare();
    // Either directory box may hold a snapshot file (an mtree manifest) or a folder on
    // another machine typed as [user@]host:PATH, which Begin opens, reads (with the status
    // bar and Stop while it waits) and checks as dwc does: a snapshot without digests is
    // refused under Verify Contents, one without times under Match File Date.
    // File > Choose Master Snapshot / Choose Compare Snapshot: the open chooser for a
    // snapshot file, whose answer the box takes as a folder chooser's.
    void chooseSnapshot(bool master);
    // File > Save Snapshot: the master folder's snapshot (with every file's sha256 digest
    // when Verify Contents is on), to a file the save chooser names, written as dwc
    // --snapshot writes it, with the status bar and Stop while it runs; the file is replaced
    // only by a complete snapshot, never inside the folder it describes. Then "Complete"
    // (places not read in its details), "Stopped" or "Cannot Save File".
    void saveSnapshot();

    // Window commands.
    void chooseMasterDirectory();
    void chooseCompareDirectory();
    // Fills the directory boxes from the command line's MASTER and COMPARE (either may be
    // absent; an empty one is passed over) as a chooser's answers would: each made absolute
    // against the current directory and cleaned, refused with the "Invalid Path" message
    // when it equals the other box (MASTER is checked against COMPARE when both are given),
    // taken whether or not it exists. Begin follows its rule; no run starts.
    void takeCommandLineDirectories(const QString &master, const QString &compare);
    void openHelpPage();
    // Help on the Web (and the About box's picture): opens HomePageAddress(), the busy
    // pointer shown while the desktop is asked for a browser.
    void openHomePage();
    void showAboutBox();
    void showSystemAboutBox();

    // List commands. Column runs from 0 to 7 (others are ignored). Each is ignored while a
    // run is under way.
    void sortByColumn(int column);
    void removeSelectedRows();
    void showRowProperties();
    // Shows the context menu at `globalPos` when the list holds rows (popup, not modal).
    void showListMenu(const QPoint &globalPos);
    // The context menu from the keyboard: at the current row (made visible first), or at the
    // list's top left when no row is current; nothing when the list is empty.
    void showListMenuAtCurrentRow();
    // Options > "Skip Folders and Files…": the rules dialog, opened window-modal; OK takes
    // its rules and "Use .gitignore files" for the next runs and the settings.
    void showSkipRulesDialog();
    // "Skip This Folder" / "Skip This File" on the current row: adds the anchored rule for
    // the row's folder ("/path/") or file ("/path") to the skip rules and takes the rows
    // it covers out of the list at once. Skip This Folder does nothing for a row of the
    // root folder. Ignored while a run is under way.
    void skipCurrentRow(bool folder);
    // The skip rules and "Use .gitignore files" as the next run takes them.
    [[nodiscard]] const QString &skipRules() const { return m_skipRules; }
    [[nodiscard]] bool useGitignore() const { return m_useGitignore; }
    // Save List: the rows shown, in the chooser's file type: the tab-separated report ("Text
    // File"), every column as csv ("CSV File, all columns"), or the page a browser shows
    // ("HTML page"); the chooser's title says "N of M rows" while a filter hides rows. Then
    // the "Cannot Save File" or "File save complete" box. The busy pointer shows meanwhile.
    void saveList();

    // Row commands, on the current row (Copy Path: on the selected rows). Each is disabled
    // where it does not apply (no row; no compare file for Not Found; a run under way).
    // Compare Files: the master and the compare file in the DiffTool setting's program, or
    // the first installed of meld, kdiff3, kompare and diffuse; a message names them when
    // none is found.
    void compareFiles();
    // The file through the desktop's default application.
    void openMasterFile();
    void openCompareFile();
    // The file manager showing the row's file (the master file where there is one).
    void openContainingFolder();
    // The selected rows' paths, one a line, to the clipboard: relative to the roots
    // ("sub/a.txt"), or full (`full`: the master file's, or the compare file's for Extra).
    void copyPaths(bool full);
    // Swap: exchanges the master and the compare directory.
    void swapDirectories();
    // Fills both directory boxes from RecentPairs' pair `index` (0 the newest).
    void takeRecentPair(int index);
    // The filter bar above the list.
    [[nodiscard]] FilterBar &filterBar() { return *m_filterBar; }
    // Applies the filter bar to the list now.
    void applyFilter();
    // The list row behind the view's current row, or -1.
    [[nodiscard]] qsizetype currentListRow() const;

    // Whether the next header click sorts ascending (false) or descending (true) is the
    // flip of this: the direction of the last sort made by a header click.
    [[nodiscard]] bool sortDescending() const { return m_sortDescending; }
    [[nodiscard]] ResultsList &results() { return m_list; }
    [[nodiscard]] ResultsModel &model() { return *m_model; }
    [[nodiscard]] WindowHost &host() { return *m_host; }
    // The status bar's text.
    [[nodiscard]] QString statusText() const { return m_status; }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // MainWindow.cpp
    void buildControls();
    void buildList();
    void chooseDirectory(bool master);
    // Takes `chosen` for the master (or compare) box as a chooser's answer: refused with the
    // "Invalid Path" message when it equals `other` (the other box's text unless given);
    // otherwise shown without a trailing separator. Returns whether it was taken.
    bool takeDirectory(bool master, QString chosen, const QString *other = nullptr);
    void enableBeginAfterChoice();
    // MainWindowMenus.cpp
    void buildMenus();
    void buildOptionsMenu(QMenu *options);
    void buildViewMenu(QMenu *view);
    void setMenuOptions(const WindowSettings &settings);
    void getMenuOptions(WindowSettings &settings) const;
    void setRunOptions(CompareOptions &options) const;
    // MainWindowInput.cpp
    void installKeyPreview();
    [[nodiscard]] bool handlePreviewKey(QObject *watched, const QKeyEvent &key);
    [[nodiscard]] bool handleDragAndDrop(QObject *watched, QEvent *event);
    // What a drag carries that a directory box could take: local folders and files, in
    // order, cleaned; `otherFiles` when a file among them is no snapshot. Empty when
    // anything else is among them (a remote address, something that does not exist, a
    // device).
    struct DroppedRoots {
        QStringList paths;
        bool otherFiles = false;
    };
    [[nodiscard]] DroppedRoots droppedRoots(const QMimeData *mime) const;
    // Whether `path` is a regular file that begins as a snapshot (an mtree manifest).
    [[nodiscard]] static bool isSnapshotFile(const QString &path);
    // MainWindowAccess.cpp
    void describeControls();
    // MainWindowActions.cpp
    void buildRowActions();
    void updateRowActions();
    void updateRowCount();
    [[nodiscard]] std::vector<std::size_t> selectedListRows() const;
    // The full path of the place a row stands for: its master file, else its compare file,
    // else (Not Compared) the place in its own tree.
    [[nodiscard]] std::string placeOf(std::size_t row) const;
    void rememberPair();
    void fillRecentPairsMenu();
    // MainWindowLayout.cpp
    void buildLayout();
    void fitToFont();
    // The size the window opens at without a stored geometry, and its place then: about
    // two thirds of the screen's available area, widened where the screen allows until the
    // list shows every column at its natural width; centred on the screen.
    [[nodiscard]] QSize initialSize() const;
    void centreOnScreen();
    // MainWindowRun.cpp
    [[nodiscard]] CompareOptions takeOptions();
    void rewriteExtensionBoxes();
    void beforeTurn();
    void showRunStatus();
    void setStatus(const QString &text);
    // `troubles`: what went wrong with a remote root, told after the totals.
    void finishRun(const CompareSummary &summary, const QStringList &troubles);
    void runOutOfMemory();
    // MainWindowRoots.cpp
    [[nodiscard]] bool openRoot(bool master, const CompareOptions &options, OpenedRoot &out);
    [[nodiscard]] bool waitForTrees(OpenedRoot &master, OpenedRoot &compare);
    // The words for `problem` with the master's (or compare) box's root; or with `given`,
    // a root that is not (yet) in the box.
    [[nodiscard]] QString rootProblemText(bool master, const RootProblem &problem) const;
    [[nodiscard]] QString rootProblemText(bool master, const RootProblem &problem,
                                          const QString &given) const;
    // Puts the buttons and pointer back after a run that did not happen (stopped while the
    // trees were read, or refused) or after a snapshot was written.
    void endWithoutRun();
    // MainWindowSettings.cpp
    void applySettings(const WindowSettings &settings);
    void applyFrameCorrection();
    [[nodiscard]] int twipsToPixels(double twips) const;
    void applyGeometry(const WindowSettings &settings);
    [[nodiscard]] double pixelsToTwips(double pixels) const;

    // Controls (owned by Qt's parent chain).
    QWidget *m_client = nullptr;
    std::array<QLabel *, 2> m_lblDw{};
    QLabel *m_imgMaster = nullptr;
    QLabel *m_imgCompare = nullptr;
    QLineEdit *m_txtMasterDir = nullptr;
    QLineEdit *m_txtCompareDir = nullptr;
    QAbstractButton *m_cmdMasterDir = nullptr;
    QAbstractButton *m_cmdCompareDir = nullptr;
    QCheckBox *m_chkSubDir = nullptr;
    QCheckBox *m_chkSize = nullptr;
    QCheckBox *m_chkDate = nullptr;
    QCheckBox *m_chkHide = nullptr;
    QCheckBox *m_chkSave = nullptr;
    QRadioButton *m_optEX = nullptr;
    QRadioButton *m_optIN = nullptr;
    std::array<QLineEdit *, 4> m_txtEXT{};
    ResultsView *m_lvDw = nullptr;
    QFrame *m_picCommand = nullptr;
    QFrame *m_lineHeader = nullptr;
    QPushButton *m_cmdSave = nullptr;
    QPushButton *m_cmdAbout = nullptr;
    QPushButton *m_cmdHelp = nullptr;
    QPushButton *m_cmdBegin = nullptr;
    QPushButton *m_cmdStop = nullptr;
    QLabel *m_lblStatus = nullptr;
    QLabel *m_lblRows = nullptr; // "N of M rows"
    FilterBar *m_filterBar = nullptr;
    QAction *m_cmdRecentPairs = nullptr;
    QMenu *m_mnuRecentPairs = nullptr;
    // Row commands: Compare Files, Open Master File, Open Compare File, Open Containing
    // Folder, Copy Path, Copy Full Path; and Swap.
    QAction *m_mnuCompareFiles = nullptr;
    QAction *m_mnuOpenMaster = nullptr;
    QAction *m_mnuOpenCompare = nullptr;
    QAction *m_mnuOpenFolder = nullptr;
    QAction *m_mnuCopyPath = nullptr;
    QAction *m_mnuCopyFullPath = nullptr;
    QAction *m_mnuSwap = nullptr;
    QAction *m_mnuHelpContents = nullptr;
    QAction *m_mnuHelpAbout = nullptr;
    QMenu *m_mnuPopupMenu = nullptr;
    // The Options menu: time tolerance 0, 1 and 2 seconds (one checked), then the switches.
    std::array<QAction *, 3> m_mnuTime{};
    QAction *m_mnuHourShifts = nullptr;
    QAction *m_mnuShowExtra = nullptr;
    QAction *m_mnuVerify = nullptr;
    QAction *m_mnuFollowLinks = nullptr;
    QAction *m_mnuSkipFolder = nullptr;
    QString m_skipRules; // Options > Skip Folders and Files, one rule a line
    bool m_useGitignore = false;

    ResultsList m_list;
    std::unique_ptr<ResultsModel> m_model;
    std::unique_ptr<WindowHost> m_host;
    bool m_running = false;
    bool m_verifying = false;       // the run reads contents: the status bar counts the bytes
    bool m_writingSnapshot = false; // Save Snapshot is under way
    bool m_masterLive = true;       // the last run's roots were folders on this computer
    bool m_compareLive = true;
    QString m_waitingFor; // while a snapshot or remote tree is read: what for
    // The roots of the run under way, which Stop ends too (a remote tree's transport).
    OpenedRoot *m_runRoots[2] = {nullptr, nullptr};
    bool m_sortDescending = false;
    bool m_closing = false;
    bool m_closeAfterRun = false; // the window was closed during a run: close once it ends
    bool m_menuEscaped = false;   // Esc closed a menu-bar menu; the next Esc only ends that
    QString m_status;
    QString m_lastSaveFolder;   // where Save List last wrote; empty before the first save
    std::string m_runOptions;   // the last run's options in words, for the HTML page
    std::int64_t m_runTime = 0; // when the last run began, seconds since the epoch
    QString m_diffTool;         // the DiffTool setting
    QStringList m_recentPairs;  // the RecentPairs setting

    std::function<void()> m_programEnd;
    // The outer size the settings asked for, in pixels, until the window frame is known
    // and the client size can be corrected for it.
    QSize m_pendingOuterSize;
    QSize m_requestedSize;
};

} // namespace dirwise
