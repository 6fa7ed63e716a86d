#include "MainWindow.h"

#include "AboutBox.h"
#include "AppInfo.h"
#include "Art.h"
#include "CheckValue.h"
#include "DesktopLaunch.h"
#include "FileScan.h"
#include "FilterBar.h"
#include "Prompts.h"
#include "ResultsColumns.h"
#include "ResultsModel.h"
#include "SystemAbout.h"
#include "TextForms.h"
#include "WindowHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDir>
#include <QFileSystemModel>
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
#include <QStyle>
#include <QToolButton>

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace dirwise {

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
    m_model = std::make_unique<ResultsModel>(m_list);
    m_host = std::make_unique<WindowHost>([this] { beforeTurn(); });
    m_programEnd = [] { ::_exit(0); };
    // Numbers and dates in the list follow the user's locale, which QApplication has set.
    ReloadLocaleForms();

    setWindowIcon(art::windowIcon());
    buildControls();
    buildList();
    buildRowActions();
    buildMenus();

    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(m_lblStatus, 1);
    m_lblRows = new QLabel(this);
    m_lblRows->setObjectName(QStringLiteral("lblRows"));
    statusBar()->addPermanentWidget(m_lblRows);
    statusBar()->setSizeGripEnabled(true);
    setStatus(tr("Ready"));

    buildLayout();
    describeControls();
    setAcceptDrops(true);

    installKeyPreview();
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
        l->setAcceptDrops(true); // a folder dropped on it is chosen
        l->installEventFilter(this);
        return l;
    };
    // Folder names complete as they are typed, and so do snapshot files named as the
    // choosers name them; one model of the file system serves both.
    auto *folders = new QFileSystemModel(this);
    folders->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Drives);
    folders->setNameFilters({QStringLiteral("*.mtree")});
    folders->setNameFilterDisables(false);
    folders->setRootPath(QString());
    auto dirBox = [this, folders](const QString &name) {
        auto *e = new QLineEdit(m_client);
        e->setObjectName(name);
        e->setAcceptDrops(true); // a folder dropped on it is chosen
        e->installEventFilter(this);
        auto *completer = new QCompleter(folders, e);
        completer->setCompletionMode(QCompleter::PopupCompletion);
        e->setCompleter(completer);
        // Typing follows the Begin rule at once; a chooser's answer only ever enables it.
        connect(e, &QLineEdit::textEdited, this, &MainWindow::updateBeginEnabled);
        return e;
    };
    // The choosers' "..." buttons are tool buttons: as narrow as their caption, where a push
    // button would take a style's minimum width of several characters. A click chooses a
    // folder; the button's arrow offers a folder or a snapshot file.
    auto chooser = [this](const QString &name, bool master) {
        auto *b = new QToolButton(m_client);
        b->setObjectName(name);
        b->setText(QStringLiteral("..."));
        b->setToolTip(tr("Select Directory"));
        auto *menu = new QMenu(b);
        menu->setObjectName(name + QStringLiteral("Menu"));
        QAction *folder =
            menu->addAction(master ? tr("Master &Folder...") : tr("Compare &Folder..."));
        folder->setObjectName(name + QStringLiteral("Folder"));
        connect(folder, &QAction::triggered, this, [this, master] { chooseDirectory(master); });
        QAction *snapshot = menu->addAction(master ? tr("Master &Snapshot File...")
                                                   : tr("Compare &Snapshot File..."));
        snapshot->setObjectName(name + QStringLiteral("Snapshot"));
        connect(snapshot, &QAction::triggered, this, [this, master] { chooseSnapshot(master); });
        b->setMenu(menu);
        b->setPopupMode(QToolButton::MenuButtonPopup);
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
                       tr("Master Di&rectory  (This is the directory that contains "
                          "the correct files)"));
    m_imgMaster = picture(QStringLiteral("imgMaster"), art::masterFolderPixmap());
    m_txtMasterDir = dirBox(QStringLiteral("txtMasterDir"));
    m_cmdMasterDir = chooser(QStringLiteral("cmdMasterDir"), true);
    m_lblDw[1] = label(QStringLiteral("lblDw1"),
                       tr("&Compare Directory  (This is the directory that contains "
                          "the questionable files)"));
    m_imgCompare = picture(QStringLiteral("imgCompare"), art::compareFolderPixmap());
    m_txtCompareDir = dirBox(QStringLiteral("txtCompareDir"));
    m_cmdCompareDir = chooser(QStringLiteral("cmdCompareDir"), false);
    // The captions' access keys reach the choosers: the boxes themselves take no focus.
    m_lblDw[0]->setBuddy(m_cmdMasterDir);
    m_lblDw[1]->setBuddy(m_cmdCompareDir);

    m_chkSubDir = check(QStringLiteral("chkSubDir"), tr("Include S&ubdirectories"));
    m_chkSize = check(QStringLiteral("chkSize"), tr("Match File Si&ze"));
    m_chkDate = check(QStringLiteral("chkDate"), tr("Match File &Date"));
    m_chkHide = check(QStringLiteral("chkHide"), tr("Don't Show Files that &Match"));
    m_optEX = new QRadioButton(tr("&Exclude Extentions >"), m_client);
    m_optEX->setObjectName(QStringLiteral("optEX"));
    m_optEX->setChecked(true);
    m_optIN = new QRadioButton(tr("&Include Extentions >"), m_client);
    m_optIN->setObjectName(QStringLiteral("optIN"));
    for (int i = 0; i < 4; ++i) {
        auto *e = new QLineEdit(m_client);
        e->setObjectName(QStringLiteral("txtEXT%1").arg(i));
        e->installEventFilter(this); // folders dropped on it are the window's
        m_txtEXT[static_cast<std::size_t>(i)] = e;
    }
    m_chkSave = check(QStringLiteral("chkSave"), tr("Save on E&xit"));
    m_chkSave->setChecked(true);

    // The recent pairs drop down from an arrow inside the master box, which takes no room of
    // the layout's; the File menu holds them too.
    m_mnuRecentPairs = new QMenu(tr("&Recent Pairs"), this);
    m_mnuRecentPairs->setObjectName(QStringLiteral("mnuRecentPairs"));
    connect(m_mnuRecentPairs, &QMenu::aboutToShow, this, &MainWindow::fillRecentPairsMenu);
    m_cmdRecentPairs = m_txtMasterDir->addAction(style()->standardIcon(QStyle::SP_ArrowDown),
                                                 QLineEdit::TrailingPosition);
    m_cmdRecentPairs->setObjectName(QStringLiteral("cmdRecentPairs"));
    m_cmdRecentPairs->setToolTip(tr("Recent Pairs: compare one of the last directory pairs again"));
    connect(m_cmdRecentPairs, &QAction::triggered, this, [this] {
        m_mnuRecentPairs->popup(m_txtMasterDir->mapToGlobal(m_txtMasterDir->rect().bottomLeft()));
    });
    m_filterBar = new FilterBar(m_client);

    m_lvDw = new ResultsView(m_client);
    m_lvDw->setObjectName(QStringLiteral("lvDw"));

    m_picCommand = new QFrame(m_client);
    m_picCommand->setObjectName(QStringLiteral("picCommand"));
    m_cmdSave = button(QStringLiteral("cmdSave"), tr("&Save List..."), tr("Save Results"));
    m_cmdSave->setEnabled(false);
    m_cmdAbout = button(QStringLiteral("cmdAbout"), tr("&About..."), tr("About This Program"));
    m_cmdHelp = button(QStringLiteral("cmdHelp"), tr("He&lp..."), tr("Help"));
    m_cmdBegin = button(QStringLiteral("cmdBegin"), tr("&Begin"), tr("Begin Compare"));
    m_cmdBegin->setEnabled(false);
    m_cmdStop = button(QStringLiteral("cmdStop"), tr("Stop (Esc)"), tr("Stop Compare"));
    m_cmdStop->hide();

    m_lineHeader = new QFrame(m_client);
    m_lineHeader->setObjectName(QStringLiteral("lineHeader"));
    m_lineHeader->setFrameShape(QFrame::NoFrame);
    m_lineHeader->setAutoFillBackground(true);
    QPalette pal = m_lineHeader->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    m_lineHeader->setPalette(pal);

    const QList<QWidget *> order = {
        m_txtMasterDir, m_cmdMasterDir, m_txtCompareDir, m_cmdCompareDir, m_chkSubDir,
        m_chkSize,      m_chkDate,      m_chkHide,       m_optEX,         m_optIN,
        m_txtEXT[0],    m_txtEXT[1],    m_txtEXT[2],     m_txtEXT[3],     m_filterBar->textBox(),
        m_lvDw,         m_cmdSave,      m_cmdAbout,      m_cmdHelp,       m_cmdBegin,
        m_cmdStop,      m_chkSave};
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

void MainWindow::buildList() {
    m_lvDw->setModel(m_model.get());
    m_lvDw->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvDw->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lvDw->setSortingEnabled(false); // the list sorts itself, on header clicks below
    m_lvDw->setIconSize(QSize(16, 16));
    m_lvDw->setTextElideMode(Qt::ElideRight);
    // Paths and names are elided in the middle: the end of a path, where rows differ, and a
    // name's extension stay.
    auto *middle = new MiddleElideDelegate(m_lvDw);
    for (Column c : {Column::ComparePath, Column::FileName})
        m_lvDw->setItemDelegateForColumn(static_cast<int>(c), middle);
    QHeaderView *header = m_lvDw->horizontalHeader();
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
    m_mnuHelpAbout->setText(tr("&About %1...").arg(ApplicationTitle()));
    restoreSettings();
    updateBeginEnabled();
    m_cmdMasterDir->setFocus(Qt::OtherFocusReason);
}

void MainWindow::updateBeginEnabled() {
    m_cmdBegin->setEnabled(!m_txtMasterDir->text().isEmpty() &&
                           !m_txtCompareDir->text().isEmpty() &&
                           (checkValue(m_chkSize) == 1 || checkValue(m_chkDate) == 1));
}

// ---- window commands --------------------------------------------------------------------

void MainWindow::chooseMasterDirectory() { chooseDirectory(true); }

void MainWindow::chooseCompareDirectory() { chooseDirectory(false); }

void MainWindow::chooseDirectory(bool master) {
    QLineEdit *box = master ? m_txtMasterDir : m_txtCompareDir;
    const QString chosen = prompts().browseForFolder(
        this, master ? tr("Select Master Directory...") : tr("Select Compare Directory..."),
        box->text());
    if (!chosen.isEmpty())
        (void)takeDirectory(master, chosen);
}

bool MainWindow::takeDirectory(bool master, QString chosen, const QString *other) {
    QLineEdit *box = master ? m_txtMasterDir : m_txtCompareDir;
    const QString &otherText = other ? *other : (master ? m_txtCompareDir : m_txtMasterDir)->text();
    // Compared exactly as returned, before a trailing separator goes.
    if (chosen == otherText) {
        prompts().message(this, Prompts::Icon::Exclamation, tr("Invalid Path"),
                          master ? tr("Cannot specify same directory as compare "
                                      "directory.")
                                 : tr("Cannot specify same directory as master "
                                      "directory."));
        return false;
    }
    // The root keeps its one separator: without it the box would be empty.
    if (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    box->setText(chosen);
    enableBeginAfterChoice();
    return true;
}

void MainWindow::enableBeginAfterChoice() {
    // A choice enables Begin when it can; it never disables it.
    if (!m_txtMasterDir->text().isEmpty() && !m_txtCompareDir->text().isEmpty() &&
        (checkValue(m_chkSize) == 1 || checkValue(m_chkDate) == 1))
        m_cmdBegin->setEnabled(true);
}

void MainWindow::takeCommandLineDirectories(const QString &master, const QString &compare) {
    // The working folder by its bytes: Qt's own name for it loses those that are no UTF-8.
    std::string cwd(4096, '\0');
    while (::getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE)
        cwd.resize(cwd.size() * 2);
    cwd.resize(std::strlen(cwd.c_str()));
    const QString here = PathText(cwd);
    auto absolute = [&](const QString &path) {
        if (path.isEmpty())
            return path;
        return QDir::cleanPath(path.startsWith(u'/') ? path : here + u'/' + path);
    };
    const QString m = absolute(master), c = absolute(compare);
    // MASTER is checked against the COMPARE given with it, so swapping the stored pair works.
    if (!m.isEmpty())
        (void)takeDirectory(true, m, c.isEmpty() ? nullptr : &c);
    if (!c.isEmpty())
        (void)takeDirectory(false, c);
}

void MainWindow::openHelpPage() {
    // Help is enabled only while the page exists; when nothing can show it (no xdg-open),
    // the user learns why and where the page is instead of seeing nothing happen.
    const QString page = HelpPagePath();
    if (desktop::shellOpen(page) == desktop::OpenResult::HandedOver)
        return;
    prompts().message(this, Prompts::Icon::Exclamation, tr("Help"),
                      tr("No program was found to show the help page. Install "
                         "xdg-utils and a web browser, or open %1 in a browser.")
                          .arg(page));
}

void MainWindow::openHomePage() { desktop::openTargetWithBusyPointer(HomePageAddress()); }

void MainWindow::showAboutBox() {
    AboutBox box;
    connect(&box, &AboutBox::pictureClicked, this, &MainWindow::openHomePage);
    box.exec();
}

void MainWindow::showSystemAboutBox() {
    showSystemAbout(tr("%1 - By %2").arg(CaptionText(), CompanyName()));
}

} // namespace dirwise
