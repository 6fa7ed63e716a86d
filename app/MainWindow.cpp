#include "MainWindow.h"

#include "AboutBox.h"
#include "AppInfo.h"
#include "Art.h"
#include "CheckValue.h"
#include "DesktopLaunch.h"
#include "FileScan.h"
#include "Prompts.h"
#include "ResultsColumns.h"
#include "ResultsModel.h"
#include "SystemAbout.h"
#include "TextForms.h"
#include "WindowHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>

#include <unistd.h>

namespace dirwise {

// Sees every key press of the application before its receiver does, and hands those meant
// for one window's widgets to that window. A separate object from the window, so the
// window's own event filter is never called twice for the same event.
class KeyPreview final : public QObject {
public:
    KeyPreview(QWidget *window, std::function<bool(QObject *, QKeyEvent *)> handler)
        : QObject(window), m_window(window), m_handler(std::move(handler)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        if (static_cast<QWidget *>(watched)->window() != m_window)
            return false;
        return m_handler(watched, static_cast<QKeyEvent *>(event));
    }

private:
    QWidget *m_window;
    std::function<bool(QObject *, QKeyEvent *)> m_handler;
};

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
    m_model = std::make_unique<ResultsModel>(m_list);
    m_host = std::make_unique<WindowHost>([this] { beforeTurn(); });
    m_programEnd = [] { ::_exit(0); };
    // Numbers and dates in the list follow the user's locale, which QApplication has set.
    ReloadLocaleForms();

    setWindowIcon(art::windowIcon());
    buildControls();
    buildMenus();
    buildList();

    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(m_lblStatus, 1);
    statusBar()->setSizeGripEnabled(true);
    setStatus(QStringLiteral("Ready"));

    buildLayout();
    resize(initialSize());

    // The window sees key presses before the focused control does.
    new KeyPreview(this, [this](QObject *watched, QKeyEvent *key) {
        if (handlePreviewKey(key->key()))
            return true;
        if (key->key() == Qt::Key_Delete && (watched == m_lvDw || watched == m_lvDw->viewport())) {
            removeSelectedRows();
            return true;
        }
        return false;
    });
}

MainWindow::~MainWindow() {
    // The view must let go of the model before the list goes.
    if (m_lvDw)
        m_lvDw->setModel(nullptr);
}

void MainWindow::buildControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("frmDwClient"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    auto label = [this](const QString &name, const QString &text) {
        auto *l = new QLabel(text, m_client);
        l->setObjectName(name);
        return l;
    };
    auto picture = [this](const QString &name, const QPixmap &pixmap) {
        auto *l = new QLabel(m_client);
        l->setObjectName(name);
        l->setPixmap(pixmap);
        l->setAlignment(Qt::AlignCenter);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        return l;
    };
    auto dirBox = [this](const QString &name) {
        auto *e = new QLineEdit(m_client);
        e->setObjectName(name);
        e->setReadOnly(true);
        // Not a tab stop: only the choosers and the settings fill it.
        e->setFocusPolicy(Qt::ClickFocus);
        QPalette pal = e->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
        e->setPalette(pal);
        return e;
    };
    // The choosers' "..." buttons are tool buttons: as narrow as their caption, where a push
    // button would take a style's minimum width of several characters.
    auto chooser = [this](const QString &name) {
        auto *b = new QToolButton(m_client);
        b->setObjectName(name);
        b->setText(QStringLiteral("..."));
        b->setToolTip(QStringLiteral("Select Directory"));
        return b;
    };
    auto button = [this](const QString &name, const QString &text, const QString &tip) {
        auto *b = new QPushButton(text, m_picCommand);
        b->setObjectName(name);
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    auto check = [this](const QString &name, const QString &text) {
        auto *c = new QCheckBox(text, m_client);
        c->setObjectName(name);
        return c;
    };

    m_lblDw[0] = label(QStringLiteral("lblDw0"),
                       QStringLiteral("Master Directory  (This is the directory that contains "
                                      "the correct files)"));
    m_imgMaster = picture(QStringLiteral("imgMaster"), art::masterFolderPixmap());
    m_txtMasterDir = dirBox(QStringLiteral("txtMasterDir"));
    m_cmdMasterDir = chooser(QStringLiteral("cmdMasterDir"));
    m_lblDw[1] = label(QStringLiteral("lblDw1"),
                       QStringLiteral("Compare Directory  (This is the directory that contains "
                                      "the questionable files)"));
    m_imgCompare = picture(QStringLiteral("imgCompare"), art::compareFolderPixmap());
    m_txtCompareDir = dirBox(QStringLiteral("txtCompareDir"));
    m_cmdCompareDir = chooser(QStringLiteral("cmdCompareDir"));

    m_chkSubDir = check(QStringLiteral("chkSubDir"), QStringLiteral("Include Su&bdirectories"));
    m_chkSize = check(QStringLiteral("chkSize"), QStringLiteral("Match File Si&ze"));
    m_chkDate = check(QStringLiteral("chkDate"), QStringLiteral("Match File &Date"));
    m_chkHide = check(QStringLiteral("chkHide"), QStringLiteral("Don't Show Files that &Match"));
    m_optEX = new QRadioButton(QStringLiteral("Exclude Extentions >"), m_client);
    m_optEX->setObjectName(QStringLiteral("optEX"));
    m_optEX->setChecked(true);
    m_optIN = new QRadioButton(QStringLiteral("Include Extentions >"), m_client);
    m_optIN->setObjectName(QStringLiteral("optIN"));
    for (int i = 0; i < 4; ++i) {
        auto *e = new QLineEdit(m_client);
        e->setObjectName(QStringLiteral("txtEXT%1").arg(i));
        m_txtEXT[static_cast<std::size_t>(i)] = e;
    }
    m_chkSave = check(QStringLiteral("chkSave"), QStringLiteral("Save on E&xit"));
    m_chkSave->setChecked(true);

    m_lvDw = new QTreeView(m_client);
    m_lvDw->setObjectName(QStringLiteral("lvDw"));

    m_picCommand = new QFrame(m_client);
    m_picCommand->setObjectName(QStringLiteral("picCommand"));
    m_cmdSave = button(QStringLiteral("cmdSave"), QStringLiteral("&Save List..."),
                       QStringLiteral("Save Results"));
    m_cmdSave->setEnabled(false);
    m_cmdAbout = button(QStringLiteral("cmdAbout"), QStringLiteral("&About..."),
                        QStringLiteral("About This Program"));
    m_cmdHelp =
        button(QStringLiteral("cmdHelp"), QStringLiteral("&Help..."), QStringLiteral("Help"));
    m_cmdBegin = button(QStringLiteral("cmdBegin"), QStringLiteral("&Begin"),
                        QStringLiteral("Begin Compare"));
    m_cmdBegin->setEnabled(false);
    m_cmdStop =
        button(QStringLiteral("cmdStop"), QStringLiteral("Stop"), QStringLiteral("Stop Compare"));
    m_cmdStop->hide();

    m_lineHeader = new QFrame(m_client);
    m_lineHeader->setObjectName(QStringLiteral("lineHeader"));
    m_lineHeader->setFrameShape(QFrame::NoFrame);
    m_lineHeader->setAutoFillBackground(true);
    QPalette pal = m_lineHeader->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    m_lineHeader->setPalette(pal);

    const QList<QWidget *> order = {m_cmdMasterDir, m_cmdCompareDir, m_chkSubDir, m_chkSize,
                                    m_chkDate,      m_chkHide,       m_optEX,     m_optIN,
                                    m_txtEXT[0],    m_txtEXT[1],     m_txtEXT[2], m_txtEXT[3],
                                    m_lvDw,         m_cmdSave,       m_cmdAbout,  m_cmdHelp,
                                    m_cmdBegin,     m_cmdStop,       m_chkSave};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_cmdMasterDir, &QAbstractButton::clicked, this, &MainWindow::chooseMasterDirectory);
    connect(m_cmdCompareDir, &QAbstractButton::clicked, this, &MainWindow::chooseCompareDirectory);
    connect(m_chkSize, &QCheckBox::stateChanged, this, &MainWindow::updateBeginEnabled);
    connect(m_chkDate, &QCheckBox::stateChanged, this, &MainWindow::updateBeginEnabled);
    // A grayed box that the user clicks becomes an ordinary two-state box again.
    for (QCheckBox *box : {m_chkSubDir, m_chkSize, m_chkDate, m_chkHide, m_chkSave})
        connect(box, &QCheckBox::clicked, box, [box] {
            if (box->checkState() != Qt::PartiallyChecked)
                box->setTristate(false);
        });
    connect(m_cmdBegin, &QPushButton::clicked, this, &MainWindow::beginCompare);
    connect(m_cmdStop, &QPushButton::clicked, this, &MainWindow::stopCompare);
    connect(m_cmdSave, &QPushButton::clicked, this, &MainWindow::saveList);
    connect(m_cmdAbout, &QPushButton::clicked, this, &MainWindow::showAboutBox);
    connect(m_cmdHelp, &QPushButton::clicked, this, &MainWindow::openHelpPage);
}

void MainWindow::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction *exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, &MainWindow::close);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    m_mnuHelpContents = help->addAction(QStringLiteral("Help Contents..."));
    m_mnuHelpContents->setObjectName(QStringLiteral("mnuHelpContents"));
    connect(m_mnuHelpContents, &QAction::triggered, this, &MainWindow::openHelpPage);
    QAction *web = help->addAction(QStringLiteral("Help on the Web..."));
    web->setObjectName(QStringLiteral("mnuHelpWeb"));
    connect(web, &QAction::triggered, this, &MainWindow::openHomePage);
    help->addSeparator()->setObjectName(QStringLiteral("mnuSep0"));
    m_mnuHelpAbout = help->addAction(QStringLiteral("About"));
    m_mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
    connect(m_mnuHelpAbout, &QAction::triggered, this, &MainWindow::showAboutBox);

    // The results list's context menu; it never shows on the menu bar.
    m_mnuPopupMenu = new QMenu(QStringLiteral("PopupMenu"), this);
    m_mnuPopupMenu->setObjectName(QStringLiteral("mnuPopupMenu"));
    QAction *remove = m_mnuPopupMenu->addAction(QStringLiteral("Remove From List"));
    remove->setObjectName(QStringLiteral("mnuRemove"));
    connect(remove, &QAction::triggered, this, &MainWindow::removeSelectedRows);
    m_mnuPopupMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    QAction *cancel = m_mnuPopupMenu->addAction(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("mnuCancel"));
}

void MainWindow::buildList() {
    m_lvDw->setModel(m_model.get());
    m_lvDw->setRootIsDecorated(false);
    m_lvDw->setItemsExpandable(false);
    m_lvDw->setUniformRowHeights(true); // a million rows must not be measured one by one
    m_lvDw->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvDw->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lvDw->setAllColumnsShowFocus(true);
    m_lvDw->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lvDw->setSortingEnabled(false); // the list sorts itself, on header clicks below
    m_lvDw->setIconSize(QSize(16, 16));
    m_lvDw->setTextElideMode(Qt::ElideRight);
    // Compare Path is elided in the middle: the end of the path, where rows differ, stays.
    m_lvDw->setItemDelegateForColumn(static_cast<int>(Column::ComparePath),
                                     new MiddleElideDelegate(m_lvDw));
    QHeaderView *header = m_lvDw->header();
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header, &QHeaderView::sectionClicked, this, &MainWindow::sortByColumn);
    m_lvDw->installEventFilter(this);
    m_lvDw->viewport()->installEventFilter(this);
    std::array<QIcon, IconKeyCount> icons;
    for (std::size_t key = 0; key < icons.size(); ++key)
        icons[key] = art::resultIcon(static_cast<int>(key));
    m_model->setIcons(icons);
}

void MainWindow::load() {
    setWindowTitle(CaptionText());
    // The help controls follow whether the help page can be read.
    const bool help = FileExists(toBytes(HelpPagePath()));
    m_cmdHelp->setEnabled(help);
    m_mnuHelpContents->setEnabled(help);
    m_mnuHelpAbout->setText(QStringLiteral("About ") + ApplicationTitle() + QStringLiteral("..."));
    restoreSettings();
    updateBeginEnabled();
    m_cmdMasterDir->setFocus(Qt::OtherFocusReason);
}

void MainWindow::updateBeginEnabled() {
    m_cmdBegin->setEnabled(!m_txtMasterDir->text().isEmpty() &&
                           !m_txtCompareDir->text().isEmpty() &&
                           (checkValue(m_chkSize) == 1 || checkValue(m_chkDate) == 1));
}

// ---- events -----------------------------------------------------------------------------

bool MainWindow::handlePreviewKey(int key) {
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_F8:
        close();
        return true;
    case Qt::Key_F1:
        openHelpPage();
        return true;
    case Qt::Key_F2:
        showAboutBox();
        return true;
    default:
        return false;
    }
}

void MainWindow::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToFont();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    saveSettingsOnClose();
    event->accept();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
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
    if (watched == m_lvDw->viewport()) {
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

// ---- window commands --------------------------------------------------------------------

void MainWindow::chooseMasterDirectory() { chooseDirectory(true); }

void MainWindow::chooseCompareDirectory() { chooseDirectory(false); }

void MainWindow::chooseDirectory(bool master) {
    QLineEdit *box = master ? m_txtMasterDir : m_txtCompareDir;
    const QLineEdit *other = master ? m_txtCompareDir : m_txtMasterDir;
    QString chosen =
        prompts().browseForFolder(this,
                                  master ? QStringLiteral("Select Master Directory...")
                                         : QStringLiteral("Select Compare Directory..."),
                                  box->text());
    if (chosen.isEmpty())
        return;
    // Compared exactly as returned, before a trailing separator goes.
    if (chosen == other->text()) {
        prompts().message(this, Prompts::Icon::Exclamation, QStringLiteral("Invalid Path"),
                          master ? QStringLiteral("Cannot specify same directory as compare "
                                                  "directory.")
                                 : QStringLiteral("Cannot specify same directory as master "
                                                  "directory."));
        return;
    }
    // The root keeps its one separator: without it the box would be empty.
    if (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    box->setText(chosen);
    // This step enables Begin when it can; it never disables it.
    if (!other->text().isEmpty() && (checkValue(m_chkSize) == 1 || checkValue(m_chkDate) == 1))
        m_cmdBegin->setEnabled(true);
}

void MainWindow::openHelpPage() {
    // A missing page, or one nothing opens, gives no message.
    (void)desktop::shellOpen(HelpPagePath());
}

void MainWindow::openHomePage() { desktop::openTarget(HomePageAddress()); }

void MainWindow::showAboutBox() {
    AboutBox box;
    connect(&box, &AboutBox::pictureClicked, this, &MainWindow::openHomePage);
    box.exec();
}

void MainWindow::showSystemAboutBox() {
    showSystemAbout(CaptionText() + QStringLiteral(" - By ") + CompanyName());
}

} // namespace dirwise
