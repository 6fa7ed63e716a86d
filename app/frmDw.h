#pragma once

#include "Compare.h"
#include "FileScan.h"
#include "ResultsList.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <unordered_map>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace dirwise {

class ResultsModel;
class WindowHost;

// A failure while the window loads (in practice: a stored setting that cannot be used).
// what() is the description that start-up shows after "Error loading main form: ".
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A rectangle in twips (1440 to the inch): left, top, width, height.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The main window: the two directory boxes with their choosers, the options, the extension
// filter, the results list lvDw, the command panel, the menus and a status bar. Controls
// carry their names as objectName (txtMasterDir, cmdBegin, txtEXT0 to txtEXT3, lblDw0 and
// lblDw1, ...), and so do the menu actions (mnuFileExit, mnuRemove, ...).
//
// Closing the window by any route runs SaveSettingsOnClose, which ends the process. The
// window runs every compare on the GUI thread through its WindowHost.
class frmDw final : public QMainWindow {
    Q_OBJECT
public:
    explicit frmDw(QWidget *parent = nullptr);
    ~frmDw() override;

    // The load steps: caption, AnchorMargins, the help controls (enabled when the help page
    // can be read), the About menu entry, RestoreSettings, UpdateBeginEnabled. Throws
    // LoadError when a stored setting cannot be used; the window is then unusable.
    void Load();

    // Enables cmdBegin exactly when both directory boxes hold text (blanks count) and
    // "Match File Size" or "Match File Date" is checked (value 1).
    void UpdateBeginEnabled();

    // The distances recorded at load, in twips: slot 0 and 1 the list's width and height
    // gaps, 2 the panel's top from the bottom, 3 the directory boxes' width gap, 4 to 9 the
    // right-anchored controls' lefts from the right edge.
    [[nodiscard]] const std::array<int, 10> &AnchorMargins() const { return m_anchor; }
    // Lays the controls out for a client area of `width` × `height` twips. A width or height
    // that would come out negative is skipped (that control keeps its size); positions are
    // applied as they come, past the left edge if need be. Runs on every resize of the
    // client area; tests call it with sizes the real window could not take.
    void LayoutPass(int width, int height);
    // The control's current rectangle in twips, as the layout keeps it (relative to the
    // client area, or to picCommand for its buttons). A zero rectangle for other widgets.
    [[nodiscard]] TwipsRect TwipsRectOf(const QWidget *control) const;
    // Pixels for twips at this window's logical dpi (15 twips to a pixel at 96 dpi).
    [[nodiscard]] int TwipsToPixels(double twips) const;
    [[nodiscard]] double PixelsToTwips(double pixels) const;

    // Reads the settings store into the controls and the window geometry. Throws LoadError
    // (naming the key, the value and the settings file) for a value that is not a number, a
    // check box value outside 0 to 2, or a settings file that cannot be parsed.
    void RestoreSettings();
    // The close steps: writes the settings (or deletes them when "Save on Exit" is not 1),
    // then ends the program through the program end (see SetProgramEnd). Runs once; a second
    // close route arriving meanwhile finds it done.
    void SaveSettingsOnClose();
    // Replaces how the program ends after the close steps (default: _exit(0), which also
    // abandons a run that is yielding). Tests record the call instead.
    void SetProgramEnd(std::function<void()> end);

    // The Begin command: checks both directories, then runs one compare from a snapshot of
    // the options, with the Stop button, busy pointer and status bar while it runs, and the
    // summary (or "Dirwise stopped.") at the end. Ignored while a run is under way.
    void RunCompare();
    // The Stop command: asks a running compare to stop at its next yield.
    void StopCompare();
    [[nodiscard]] bool IsRunning() const { return m_running; }

    // Window commands.
    void ChooseMasterDirectory();
    void ChooseCompareDirectory();
    void OpenHelpPage();
    void OpenHomePage();
    void ShowAboutBox();
    void ShowShellAboutBox();

    // List commands. Column runs from 0 to 6. Each is ignored while a run is under way.
    void SortByColumn(int column);
    void RemoveSelectedRows();
    void ShowRowProperties();
    // Shows the context menu at `globalPos` when the list holds rows (popup, not modal).
    void ShowListMenu(const QPoint &globalPos);
    // Save List: chooser, report, and the "Cannot Save File" or "File save complete" box.
    void SaveList();

    [[nodiscard]] bool SortDescending() const { return m_sortDescending; }
    [[nodiscard]] ResultsList &Results() { return m_list; }
    [[nodiscard]] ResultsModel &Model() { return *m_model; }
    [[nodiscard]] WindowHost &Host() { return *m_host; }
    [[nodiscard]] const ScanState &Scan() const { return m_scan; }
    // The status bar's text.
    [[nodiscard]] QString StatusText() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void buildList();
    void place(QWidget *control, TwipsRect rect);
    void applyGeometry(QWidget *control);
    void chooseDirectory(bool master);
    [[nodiscard]] CompareOptions takeOptions();
    void rewriteExtensionBoxes();
    void beforeTurn();
    void showRunStatus();
    void setStatus(const QString &text);
    void finishRun(const CompareSummary &summary);
    void applyFrameCorrection();
    [[nodiscard]] bool handlePreviewKey(int key);

    // Controls (owned by Qt's parent chain).
    QWidget *m_client = nullptr;
    std::array<QLabel *, 2> m_lblDw{};
    QLabel *m_imgMaster = nullptr;
    QLabel *m_imgCompare = nullptr;
    QLineEdit *m_txtMasterDir = nullptr;
    QLineEdit *m_txtCompareDir = nullptr;
    QPushButton *m_cmdMasterDir = nullptr;
    QPushButton *m_cmdCompareDir = nullptr;
    QCheckBox *m_chkSubDir = nullptr;
    QCheckBox *m_chkSize = nullptr;
    QCheckBox *m_chkDate = nullptr;
    QCheckBox *m_chkHide = nullptr;
    QCheckBox *m_chkSave = nullptr;
    QRadioButton *m_optEX = nullptr;
    QRadioButton *m_optIN = nullptr;
    std::array<QLineEdit *, 4> m_txtEXT{};
    QTreeView *m_lvDw = nullptr;
    QFrame *m_picCommand = nullptr;
    QFrame *m_lineHeader = nullptr;
    QPushButton *m_cmdSave = nullptr;
    QPushButton *m_cmdAbout = nullptr;
    QPushButton *m_cmdHelp = nullptr;
    QPushButton *m_cmdBegin = nullptr;
    QPushButton *m_cmdStop = nullptr;
    QLabel *m_lblStatus = nullptr;
    QAction *m_mnuHelpContents = nullptr;
    QAction *m_mnuHelpAbout = nullptr;
    QMenu *m_mnuPopupMenu = nullptr;

    std::unordered_map<const QWidget *, TwipsRect> m_rects;
    std::array<int, 10> m_anchor{};
    bool m_loaded = false;

    ResultsList m_list;
    ScanState m_scan;
    std::unique_ptr<ResultsModel> m_model;
    std::unique_ptr<WindowHost> m_host;
    bool m_running = false;
    bool m_sortDescending = false;
    bool m_closing = false;
    QString m_status;

    std::function<void()> m_programEnd;
    // The outer size the settings asked for, in pixels, until the window frame is known
    // and the client size can be corrected for it.
    QSize m_pendingOuterSize;
    QSize m_requestedSize;
};

} // namespace dirwise
