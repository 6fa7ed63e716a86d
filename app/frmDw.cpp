#include "frmDw.h"

#include "AppInfo.h"
#include "Art.h"
#include "DisplayText.h"
#include "Prompts.h"
#include "Report.h"
#include "ResultsModel.h"
#include "SettingsStore.h"
#include "TextForms.h"
#include "WindowHost.h"
#include "frmAbout.h"
#include "modDialog32.h"
#include "modWin32Api.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTreeView>

#include <QTimer>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

namespace {

const QString kSection = QStringLiteral("Settings");

// The design client area, in twips.
constexpr int kDesignWidth = 8295;
constexpr int kDesignHeight = 6030;

// Column widths of lvDw, in twips.
constexpr std::array<int, ColumnCount> kColumnWidths = {1440, 2000, 2000, 1440, 1440, 2000, 2000};

// The value of a check box as the settings and the options know it: 0, 1, or 2 (grayed).
int checkValue(const QCheckBox *box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void setCheckValue(QCheckBox *box, int value) {
    if (value == 2) {
        box->setCheckState(Qt::PartiallyChecked); // also makes the box tristate
        return;
    }
    box->setTristate(false);
    box->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
}

std::string toBytes(const QString &text) { return QFile::encodeName(text).toStdString(); }

QString settingsFile() { return SettingsStore().FileName(ApplicationTitle()); }

[[noreturn]] void badValue(const QString &key, const QString &value, const QString &why) {
    throw LoadError(QStringLiteral("the setting \"%1\" holds \"%2\", %3 (settings file %4)")
                        .arg(key, value, why, settingsFile())
                        .toStdString());
}

// A number as the settings keep it: C locale, no grouping, blanks around it allowed.
double readNumber(const QString &key, const QString &text) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        badValue(key, text, QStringLiteral("which is not a number"));
    return value;
}

// A 16-bit integer, rounded half to even as the settings' conversion does.
int readInt16(const QString &key, const QString &text) {
    const double value = std::nearbyint(readNumber(key, text));
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        badValue(key, text, QStringLiteral("which is out of range for a 16-bit integer"));
    return static_cast<int>(value);
}

int readCheckValue(const QString &key, const QString &text) {
    const int value = readInt16(key, text);
    if (value < 0 || value > 2)
        badValue(key, text, QStringLiteral("which is not a check box value (0, 1 or 2)"));
    return value;
}

float readSingle(const QString &key, const QString &text) {
    const double value = readNumber(key, text);
    if (std::fabs(value) > std::numeric_limits<float>::max())
        badValue(key, text, QStringLiteral("which is out of range for a single-precision number"));
    return static_cast<float>(value);
}

// How numbers are written to the settings: whole numbers as plain digits, others in the
// shortest C-locale form that reads back as the same single-precision value.
QString numberText(double value) {
    if (value == std::nearbyint(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QLocale::c().toString(value, 'g', 9);
}

// True when `path` names a directory this user may list.
bool isReadableDirectory(const std::string &path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), R_OK | X_OK) == 0;
}

// A root as the engine takes it: without trailing separators, except "/" itself.
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

QString countText(std::int64_t n) { return QLocale().toString(static_cast<qint64>(n)); }

} // namespace

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

frmDw::frmDw(QWidget *parent) : QMainWindow(parent) {
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

    // The design client area; the menu and status bars come on top of it.
    m_client->setMinimumSize(0, 0);
    resize(TwipsToPixels(kDesignWidth), TwipsToPixels(kDesignHeight) +
                                            menuBar()->sizeHint().height() +
                                            statusBar()->sizeHint().height());

    // The window sees key presses before the focused control does.
    new KeyPreview(this, [this](QObject *watched, QKeyEvent *key) {
        if (handlePreviewKey(key->key()))
            return true;
        if (key->key() == Qt::Key_Delete && (watched == m_lvDw || watched == m_lvDw->viewport())) {
            RemoveSelectedRows();
            return true;
        }
        return false;
    });
}

frmDw::~frmDw() {
    // The view must let go of the model before the list goes.
    if (m_lvDw)
        m_lvDw->setModel(nullptr);
}

int frmDw::TwipsToPixels(double twips) const {
    return static_cast<int>(std::lround(twips * logicalDpiX() / 1440.0));
}

double frmDw::PixelsToTwips(double pixels) const { return pixels * 1440.0 / logicalDpiX(); }

void frmDw::place(QWidget *control, TwipsRect rect) {
    m_rects[control] = rect;
    applyGeometry(control);
}

TwipsRect frmDw::TwipsRectOf(const QWidget *control) const {
    const auto it = m_rects.find(control);
    return it == m_rects.end() ? TwipsRect{} : it->second;
}

void frmDw::applyGeometry(QWidget *control) {
    const TwipsRect &t = m_rects[control];
    QRect r(TwipsToPixels(t.left), TwipsToPixels(t.top), TwipsToPixels(t.width),
            TwipsToPixels(t.height));
    // Small controls grow to what their font needs, about their designed centre line;
    // the list and the panel keep their designed sizes.
    const bool fontSized = qobject_cast<QLabel *>(control) || qobject_cast<QCheckBox *>(control) ||
                           qobject_cast<QRadioButton *>(control) ||
                           qobject_cast<QLineEdit *>(control) ||
                           qobject_cast<QPushButton *>(control);
    if (fontSized && !control->property("picture").toBool()) {
        const QSize hint = control->sizeHint();
        if (r.height() < hint.height()) {
            r.moveTop(r.top() - (hint.height() - r.height()) / 2);
            r.setHeight(hint.height());
        }
        // Labels are sized to their captions; a check box or option button whose caption
        // needs more than its designed width gets it, growing away from the edge it keeps
        // its distance to.
        if (qobject_cast<QLabel *>(control)) {
            r.setWidth(hint.width());
        } else if ((qobject_cast<QCheckBox *>(control) || qobject_cast<QRadioButton *>(control)) &&
                   r.width() < hint.width()) {
            if (control == m_chkSave)
                r.moveLeft(r.left() - (hint.width() - r.width()));
            r.setWidth(hint.width());
        }
    }
    control->setGeometry(r);
}

void frmDw::buildControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("frmDwClient"));
    // The design rectangles were drawn for an 8-point dialog font: keep the platform's
    // family, at most that size, so the captions fit their places.
    QFont font = m_client->font();
    if (font.pointSizeF() > 8.0) {
        font.setPointSizeF(8.0);
        m_client->setFont(font);
    }
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    auto label = [this](const QString &name, const QString &text, TwipsRect rect) {
        auto *l = new QLabel(text, m_client);
        l->setObjectName(name);
        place(l, rect);
        return l;
    };
    auto picture = [this](const QString &name, const QPixmap &pixmap, TwipsRect rect) {
        auto *l = new QLabel(m_client);
        l->setObjectName(name);
        l->setPixmap(pixmap);
        l->setAlignment(Qt::AlignCenter);
        l->setProperty("picture", true);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        place(l, rect);
        return l;
    };
    auto dirBox = [this](const QString &name, TwipsRect rect) {
        auto *e = new QLineEdit(m_client);
        e->setObjectName(name);
        e->setReadOnly(true);
        // Not a tab stop: only the choosers and the settings fill it.
        e->setFocusPolicy(Qt::ClickFocus);
        QPalette pal = e->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
        e->setPalette(pal);
        place(e, rect);
        return e;
    };
    auto button = [this](QWidget *parent, const QString &name, const QString &text,
                         const QString &tip, TwipsRect rect) {
        auto *b = new QPushButton(text, parent);
        b->setObjectName(name);
        b->setToolTip(tip);
        b->setAutoDefault(false);
        place(b, rect);
        return b;
    };
    auto check = [this](const QString &name, const QString &text, TwipsRect rect) {
        auto *c = new QCheckBox(text, m_client);
        c->setObjectName(name);
        place(c, rect);
        return c;
    };

    // Created in tab order where they take the focus; the rest follow.
    m_cmdMasterDir = button(m_client, QStringLiteral("cmdMasterDir"), QStringLiteral("..."),
                            QStringLiteral("Select Directory"), {7800, 420, 375, 285});
    m_cmdCompareDir = button(m_client, QStringLiteral("cmdCompareDir"), QStringLiteral("..."),
                             QStringLiteral("Select Directory"), {7800, 1140, 375, 285});
    m_chkSubDir = check(QStringLiteral("chkSubDir"), QStringLiteral("Include Su&bdirectories"),
                        {720, 1500, 2415, 195});
    m_chkSize = check(QStringLiteral("chkSize"), QStringLiteral("Match File Si&ze"),
                      {720, 1740, 2415, 195});
    m_chkDate = check(QStringLiteral("chkDate"), QStringLiteral("Match File &Date"),
                      {720, 1980, 2415, 195});
    m_chkHide = check(QStringLiteral("chkHide"), QStringLiteral("Don't Show Files that &Match"),
                      {720, 2220, 2415, 195});
    m_optEX = new QRadioButton(QStringLiteral("Exclude Extentions >"), m_client);
    m_optEX->setObjectName(QStringLiteral("optEX"));
    m_optEX->setChecked(true);
    place(m_optEX, {3240, 1740, 1875, 195});
    m_optIN = new QRadioButton(QStringLiteral("Include Extentions >"), m_client);
    m_optIN->setObjectName(QStringLiteral("optIN"));
    place(m_optIN, {3240, 2040, 1875, 195});
    // The two "Extentions >" captions point at the boxes: where the font makes them wider
    // than designed, the boxes move right just enough to keep the arrow visible (they never
    // move on a resize, so this is settled once).
    const int captionRight = std::max(m_optEX->geometry().right(), m_optIN->geometry().right()) + 4;
    const int shift = static_cast<int>(
        std::lround(PixelsToTwips(std::max(0, captionRight - TwipsToPixels(5160)))));
    for (int i = 0; i < 4; ++i) {
        auto *e = new QLineEdit(m_client);
        e->setObjectName(QStringLiteral("txtEXT%1").arg(i));
        place(e, {5160 + shift + 660 * i, 1860, 555, 285});
        m_txtEXT[static_cast<std::size_t>(i)] = e;
    }
    m_lvDw = new QTreeView(m_client);
    m_lvDw->setObjectName(QStringLiteral("lvDw"));
    place(m_lvDw, {720, 2520, 7455, 2775});

    m_picCommand = new QFrame(m_client);
    m_picCommand->setObjectName(QStringLiteral("picCommand"));
    place(m_picCommand, {-60, 5400, 8415, 735});
    m_cmdSave = button(m_picCommand, QStringLiteral("cmdSave"), QStringLiteral("&Save List..."),
                       QStringLiteral("Save Results"), {3060, 120, 1215, 375});
    m_cmdSave->setEnabled(false);
    m_cmdAbout = button(m_picCommand, QStringLiteral("cmdAbout"), QStringLiteral("&About..."),
                        QStringLiteral("About This Program"), {4380, 120, 1215, 375});
    m_cmdHelp = button(m_picCommand, QStringLiteral("cmdHelp"), QStringLiteral("&Help..."),
                       QStringLiteral("Help"), {5700, 120, 1215, 375});
    m_cmdBegin = button(m_picCommand, QStringLiteral("cmdBegin"), QStringLiteral("&Begin"),
                        QStringLiteral("Begin Compare"), {7020, 120, 1215, 375});
    m_cmdBegin->setEnabled(false);
    m_cmdStop = button(m_picCommand, QStringLiteral("cmdStop"), QStringLiteral("Stop"),
                       QStringLiteral("Stop Compare"), {7020, 120, 1215, 375});
    m_cmdStop->hide();

    m_chkSave =
        check(QStringLiteral("chkSave"), QStringLiteral("Save on E&xit"), {6900, 90, 1275, 195});
    m_chkSave->setChecked(true);

    m_lblDw[0] = label(QStringLiteral("lblDw0"),
                       QStringLiteral("Master Directory  (This is the directory that contains "
                                      "the correct files)"),
                       {720, 180, 4785, 195});
    m_imgMaster =
        picture(QStringLiteral("imgMaster"), art::masterFolderPixmap(), {150, 360, 450, 375});
    m_txtMasterDir = dirBox(QStringLiteral("txtMasterDir"), {720, 420, 6975, 285});
    m_lblDw[1] = label(QStringLiteral("lblDw1"),
                       QStringLiteral("Compare Directory  (This is the directory that contains "
                                      "the questionable files)"),
                       {720, 900, 5340, 195});
    m_imgCompare =
        picture(QStringLiteral("imgCompare"), art::compareFolderPixmap(), {120, 960, 525, 480});
    m_txtCompareDir = dirBox(QStringLiteral("txtCompareDir"), {720, 1140, 6975, 285});

    m_lineHeader = new QFrame(m_client);
    m_lineHeader->setObjectName(QStringLiteral("lineHeader"));
    m_lineHeader->setFrameShape(QFrame::NoFrame);
    m_lineHeader->setAutoFillBackground(true);
    {
        QPalette pal = m_lineHeader->palette();
        pal.setColor(QPalette::Window, QColor(192, 192, 192));
        m_lineHeader->setPalette(pal);
    }
    m_rects[m_lineHeader] = {0, 0, 8415, 15};
    m_lineHeader->setGeometry(0, 0, TwipsToPixels(8415), 1);

    // The tab order of the design.
    const QList<QWidget *> order = {m_cmdMasterDir, m_cmdCompareDir, m_chkSubDir, m_chkSize,
                                    m_chkDate,      m_chkHide,       m_optEX,     m_optIN,
                                    m_txtEXT[0],    m_txtEXT[1],     m_txtEXT[2], m_txtEXT[3],
                                    m_lvDw,         m_cmdSave,       m_cmdAbout,  m_cmdHelp,
                                    m_cmdBegin,     m_cmdStop,       m_chkSave};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_cmdMasterDir, &QPushButton::clicked, this, &frmDw::ChooseMasterDirectory);
    connect(m_cmdCompareDir, &QPushButton::clicked, this, &frmDw::ChooseCompareDirectory);
    connect(m_chkSize, &QCheckBox::stateChanged, this, &frmDw::UpdateBeginEnabled);
    connect(m_chkDate, &QCheckBox::stateChanged, this, &frmDw::UpdateBeginEnabled);
    // A grayed box that the user clicks becomes an ordinary two-state box again.
    for (QCheckBox *box : {m_chkSubDir, m_chkSize, m_chkDate, m_chkHide, m_chkSave})
        connect(box, &QCheckBox::clicked, box, [box] {
            if (box->checkState() != Qt::PartiallyChecked)
                box->setTristate(false);
        });
    connect(m_cmdBegin, &QPushButton::clicked, this, &frmDw::RunCompare);
    connect(m_cmdStop, &QPushButton::clicked, this, &frmDw::StopCompare);
    connect(m_cmdSave, &QPushButton::clicked, this, &frmDw::SaveList);
    connect(m_cmdAbout, &QPushButton::clicked, this, &frmDw::ShowAboutBox);
    connect(m_cmdHelp, &QPushButton::clicked, this, &frmDw::OpenHelpPage);
}

void frmDw::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction *exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, &frmDw::close);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    m_mnuHelpContents = help->addAction(QStringLiteral("Help Contents..."));
    m_mnuHelpContents->setObjectName(QStringLiteral("mnuHelpContents"));
    connect(m_mnuHelpContents, &QAction::triggered, this, &frmDw::OpenHelpPage);
    QAction *web = help->addAction(QStringLiteral("Help on the Web..."));
    web->setObjectName(QStringLiteral("mnuHelpWeb"));
    connect(web, &QAction::triggered, this, &frmDw::OpenHomePage);
    help->addSeparator()->setObjectName(QStringLiteral("mnuSep0"));
    m_mnuHelpAbout = help->addAction(QStringLiteral("About"));
    m_mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
    connect(m_mnuHelpAbout, &QAction::triggered, this, &frmDw::ShowAboutBox);

    // The results list's context menu; it never shows on the menu bar.
    m_mnuPopupMenu = new QMenu(QStringLiteral("PopupMenu"), this);
    m_mnuPopupMenu->setObjectName(QStringLiteral("mnuPopupMenu"));
    QAction *remove = m_mnuPopupMenu->addAction(QStringLiteral("Remove From List"));
    remove->setObjectName(QStringLiteral("mnuRemove"));
    connect(remove, &QAction::triggered, this, &frmDw::RemoveSelectedRows);
    m_mnuPopupMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    QAction *cancel = m_mnuPopupMenu->addAction(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("mnuCancel"));
}

void frmDw::buildList() {
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
    QHeaderView *header = m_lvDw->header();
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < ColumnCount; ++c)
        header->resizeSection(c, TwipsToPixels(kColumnWidths[static_cast<std::size_t>(c)]));
    connect(header, &QHeaderView::sectionClicked, this, &frmDw::SortByColumn);
    m_lvDw->installEventFilter(this);
    m_lvDw->viewport()->installEventFilter(this);
    m_model->SetIcons(art::resultIcon(static_cast<int>(IconKey::Match)),
                      art::resultIcon(static_cast<int>(IconKey::Different)),
                      art::resultIcon(static_cast<int>(IconKey::NotFound)));
}

void frmDw::Load() {
    // 1. Caption.
    setWindowTitle(CaptionText());
    // 2. The distances to keep, from the design layout of the client area.
    const int w = kDesignWidth;
    const int h = kDesignHeight;
    m_anchor[0] = w - m_rects[m_lvDw].width;
    m_anchor[1] = h - m_rects[m_lvDw].height;
    m_anchor[2] = h - m_rects[m_picCommand].top;
    m_anchor[3] = w - m_rects[m_txtMasterDir].width;
    m_anchor[4] = w - m_rects[m_cmdMasterDir].left;
    m_anchor[5] = w - m_rects[m_chkSave].left;
    m_anchor[6] = w - m_rects[m_cmdSave].left;
    m_anchor[7] = w - m_rects[m_cmdAbout].left;
    m_anchor[8] = w - m_rects[m_cmdHelp].left;
    m_anchor[9] = w - m_rects[m_cmdBegin].left;
    m_loaded = true;
    // 3. The help controls follow whether the help page can be read.
    const std::string help = toBytes(HelpPagePath());
    m_cmdHelp->setEnabled(FileExists(help));
    m_mnuHelpContents->setEnabled(FileExists(help));
    // 4. The About entry names the product.
    m_mnuHelpAbout->setText(QStringLiteral("About ") + ApplicationTitle() + QStringLiteral("..."));
    // 5. and 6.
    RestoreSettings();
    UpdateBeginEnabled();
    m_cmdMasterDir->setFocus(Qt::OtherFocusReason);
    LayoutPass(static_cast<int>(std::lround(PixelsToTwips(m_client->width()))),
               static_cast<int>(std::lround(PixelsToTwips(m_client->height()))));
}

void frmDw::UpdateBeginEnabled() {
    m_cmdBegin->setEnabled(!m_txtMasterDir->text().isEmpty() &&
                           !m_txtCompareDir->text().isEmpty() &&
                           (checkValue(m_chkSize) == 1 || checkValue(m_chkDate) == 1));
}

void frmDw::LayoutPass(int w, int h) {
    if (!m_loaded)
        return;
    auto setWidth = [this](QWidget *c, int value) {
        if (value >= 0) // a negative size is skipped: the control keeps its last one
            m_rects[c].width = value;
    };
    auto setHeight = [this](QWidget *c, int value) {
        if (value >= 0)
            m_rects[c].height = value;
    };
    auto setLeft = [this](QWidget *c, int value) { m_rects[c].left = value; };
    setWidth(m_lvDw, w - m_anchor[0]);
    setHeight(m_lvDw, h - m_anchor[1]);
    m_rects[m_picCommand].top = h - m_anchor[2];
    setWidth(m_txtMasterDir, w - m_anchor[3]);
    setWidth(m_txtCompareDir, w - m_anchor[3]);
    setLeft(m_cmdMasterDir, w - m_anchor[4]);
    setLeft(m_cmdCompareDir, w - m_anchor[4]);
    setLeft(m_chkSave, w - m_anchor[5]);
    setLeft(m_cmdSave, w - m_anchor[6]);
    setLeft(m_cmdAbout, w - m_anchor[7]);
    setLeft(m_cmdHelp, w - m_anchor[8]);
    setLeft(m_cmdBegin, w - m_anchor[9]);
    setLeft(m_cmdStop, w - m_anchor[9]);
    setWidth(m_picCommand, w + 60);
    setWidth(m_lineHeader, w);
    for (QWidget *c : std::initializer_list<QWidget *>{
             m_lvDw, m_picCommand, m_txtMasterDir, m_txtCompareDir, m_cmdMasterDir, m_cmdCompareDir,
             m_chkSave, m_cmdSave, m_cmdAbout, m_cmdHelp, m_cmdBegin, m_cmdStop})
        applyGeometry(c);
    m_lineHeader->setGeometry(0, 0, TwipsToPixels(m_rects[m_lineHeader].width), 1);
}

// ---- settings ---------------------------------------------------------------------------

void frmDw::RestoreSettings() {
    SettingsStore store;
    const QString app = ApplicationTitle();
    switch (store.Status(app)) {
    case QSettings::NoError:
        break;
    case QSettings::FormatError:
        throw LoadError(QStringLiteral("the settings file %1 cannot be read: it is not in "
                                       "the settings format")
                            .arg(store.FileName(app))
                            .toStdString());
    case QSettings::AccessError:
        throw LoadError(QStringLiteral("the settings file %1 cannot be read")
                            .arg(store.FileName(app))
                            .toStdString());
    }
    auto get = [&](const char *key, const QString &fallback) {
        return store.GetValue(app, kSection, QString::fromLatin1(key), fallback);
    };

    const QString saveText = get("Save", QStringLiteral("0"));
    if (readNumber(QStringLiteral("Save"), saveText) == 0) {
        setCheckValue(m_chkSubDir, 1);
        setCheckValue(m_chkSize, 1);
        return;
    }
    setCheckValue(m_chkSave, 1);
    setCheckValue(m_chkSave, readCheckValue(QStringLiteral("Save"),
                                            get("Save", QString::number(checkValue(m_chkSave)))));
    m_txtMasterDir->setText(get("MasterDir", QString()));
    m_txtCompareDir->setText(get("CompareDir", QString()));
    const std::array<std::pair<const char *, const char *>, 4> checks = {
        {{"SubDir", "1"}, {"CheckSize", "1"}, {"CheckDate", "0"}, {"NoShowMatch", "0"}}};
    const std::array<QCheckBox *, 4> boxes = {m_chkSubDir, m_chkSize, m_chkDate, m_chkHide};
    for (std::size_t i = 0; i < checks.size(); ++i)
        setCheckValue(boxes[i],
                      readCheckValue(QString::fromLatin1(checks[i].first),
                                     get(checks[i].first, QString::fromLatin1(checks[i].second))));
    for (std::size_t i = 0; i < 4; ++i)
        m_txtEXT[i]->setText(get(("Ext" + std::to_string(i + 1)).c_str(), QString()));

    // The geometry keys hold the frame's position and outer size in twips. A key that is
    // absent leaves the window where the platform places it.
    const QRect frame = frameGeometry();
    auto geometryKey = [&](const char *key, int currentPixels) -> std::optional<int> {
        const QString current = numberText(PixelsToTwips(currentPixels));
        const QString text = get(key, current);
        const float twips = readSingle(QString::fromLatin1(key), text);
        if (text == current)
            return std::nullopt;
        return TwipsToPixels(twips);
    };
    const auto left = geometryKey("FormLeft", frame.x());
    const auto top = geometryKey("FormTop", frame.y());
    const auto height = geometryKey("FormHeight", frame.height());
    const auto width = geometryKey("FormWidth", frame.width());
    if (left || top)
        move(left.value_or(frame.x()), top.value_or(frame.y()));
    if (height || width) {
        // The outer size includes the frame, which is not known until the window manager
        // has decorated the window: size the window now as if it had none and correct the
        // client size once the frame arrives, so that save and restore never grow it.
        const QSize outer(width.value_or(frame.width()), height.value_or(frame.height()));
        const QSize margins = frameGeometry().size() - geometry().size();
        m_requestedSize = outer - margins;
        resize(m_requestedSize);
        m_pendingOuterSize = margins.width() <= 0 && margins.height() <= 0 ? outer : QSize();
    }
}

void frmDw::applyFrameCorrection() {
    if (!m_pendingOuterSize.isValid() || !isVisible())
        return;
    const QSize margins = frameGeometry().size() - geometry().size();
    if (margins.width() <= 0 && margins.height() <= 0)
        return; // the frame has not arrived (or there is none)
    const QSize outer = m_pendingOuterSize;
    m_pendingOuterSize = QSize();
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        resize(outer - margins);
}

void frmDw::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    applyFrameCorrection();
    // The window manager may decorate the window only after it is mapped.
    QTimer::singleShot(0, this, &frmDw::applyFrameCorrection);
}

void frmDw::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    applyFrameCorrection();
}

void frmDw::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    // Once the user (or the window manager) has chosen another size, the stored one no
    // longer applies.
    if (m_pendingOuterSize.isValid() && event->size() != m_requestedSize)
        m_pendingOuterSize = QSize();
    applyFrameCorrection();
}

void frmDw::SetProgramEnd(std::function<void()> end) { m_programEnd = std::move(end); }

void frmDw::SaveSettingsOnClose() {
    if (m_closing)
        return;
    m_closing = true;
    SettingsStore store;
    const QString app = ApplicationTitle();
    // A failing write is passed over: the program ends in any case.
    if (checkValue(m_chkSave) == 1) {
        auto set = [&](const char *key, const QString &text) {
            store.SetValue(app, kSection, QString::fromLatin1(key), text);
        };
        set("Save", QString::number(checkValue(m_chkSave)));
        set("MasterDir", m_txtMasterDir->text());
        set("CompareDir", m_txtCompareDir->text());
        set("SubDir", QString::number(checkValue(m_chkSubDir)));
        set("CheckSize", QString::number(checkValue(m_chkSize)));
        set("CheckDate", QString::number(checkValue(m_chkDate)));
        set("NoShowMatch", QString::number(checkValue(m_chkHide)));
        set("Ext1", m_txtEXT[0]->text());
        set("Ext2", m_txtEXT[1]->text());
        set("Ext3", m_txtEXT[2]->text());
        set("Ext4", m_txtEXT[3]->text());
        if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
            const QRect frame = frameGeometry();
            // A size still waiting for its frame correction is the size the user has.
            const QSize outer = m_pendingOuterSize.isValid() ? m_pendingOuterSize : frame.size();
            set("FormLeft", numberText(PixelsToTwips(frame.x())));
            set("FormTop", numberText(PixelsToTwips(frame.y())));
            set("FormHeight", numberText(PixelsToTwips(outer.height())));
            set("FormWidth", numberText(PixelsToTwips(outer.width())));
        }
    } else {
        store.DeleteApplication(app);
    }
    if (m_programEnd)
        m_programEnd();
}

void frmDw::closeEvent(QCloseEvent *event) {
    SaveSettingsOnClose();
    event->accept();
}

// ---- events -----------------------------------------------------------------------------

bool frmDw::handlePreviewKey(int key) {
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_F8:
        close();
        return true;
    case Qt::Key_F1:
        OpenHelpPage();
        return true;
    case Qt::Key_F2:
        ShowAboutBox();
        return true;
    default:
        return false;
    }
}

bool frmDw::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (watched == m_client) {
        if (type == QEvent::Resize) {
            LayoutPass(static_cast<int>(std::lround(PixelsToTwips(m_client->width()))),
                       static_cast<int>(std::lround(PixelsToTwips(m_client->height()))));
        } else if (type == QEvent::MouseButtonDblClick) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (!m_client->childAt(mouse->position().toPoint())) {
                ShowShellAboutBox();
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
                ChooseMasterDirectory();
            else
                ChooseCompareDirectory();
            return true;
        }
        return false;
    }
    if (watched == m_lvDw->viewport()) {
        if (type == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton)
                ShowListMenu(mouse->globalPosition().toPoint());
        } else if (type == QEvent::MouseButtonDblClick) {
            // The press before it has already made the clicked row current.
            ShowRowProperties();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- window commands --------------------------------------------------------------------

void frmDw::ChooseMasterDirectory() { chooseDirectory(true); }

void frmDw::ChooseCompareDirectory() { chooseDirectory(false); }

void frmDw::chooseDirectory(bool master) {
    QLineEdit *box = master ? m_txtMasterDir : m_txtCompareDir;
    const QLineEdit *other = master ? m_txtCompareDir : m_txtMasterDir;
    QString chosen =
        modDialog32::BrowseForFolder(this,
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

void frmDw::OpenHelpPage() {
    // A missing page, or one nothing opens, gives no message.
    (void)modWin32Api::ShellOpen(HelpPagePath(), QString());
}

void frmDw::OpenHomePage() { modWin32Api::OpenTarget(HomePageAddress()); }

void frmDw::ShowAboutBox() {
    frmAbout box;
    connect(&box, &frmAbout::pictureClicked, this, &frmDw::OpenHomePage);
    box.exec();
}

void frmDw::ShowShellAboutBox() {
    modDialog32::ShowShellAbout(CaptionText() + QStringLiteral(" - By ") + CompanyName());
}

// ---- compare run ------------------------------------------------------------------------

void frmDw::rewriteExtensionBoxes() {
    for (QLineEdit *box : m_txtEXT) {
        const QByteArray text = box->text().toUtf8();
        const std::string rewritten = RewriteExtensionBox(
            std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
        const QString newText =
            QString::fromUtf8(rewritten.data(), static_cast<qsizetype>(rewritten.size()));
        if (newText != box->text())
            box->setText(newText);
    }
}

CompareOptions frmDw::takeOptions() {
    CompareOptions o;
    o.masterDir = withoutTrailingSlash(toBytes(m_txtMasterDir->text()));
    o.compareDir = withoutTrailingSlash(toBytes(m_txtCompareDir->text()));
    o.subDirs = checkValue(m_chkSubDir) != 0;
    o.checkSize = checkValue(m_chkSize);
    o.checkDate = checkValue(m_chkDate);
    o.hideMatches = checkValue(m_chkHide) != 0;
    o.excludeMode = m_optEX->isChecked();
    for (std::size_t i = 0; i < 4; ++i)
        o.extensions[i] = m_txtEXT[i]->text().toUtf8().toStdString();
    return o;
}

void frmDw::RunCompare() {
    if (m_running)
        return;
    // A missing or unreadable root would report every file as not found, or an empty
    // master as a complete compare: refuse to start instead.
    const std::array<std::pair<QLineEdit *, QString>, 2> roots = {
        {{m_txtMasterDir, QStringLiteral("Master directory not found: ")},
         {m_txtCompareDir, QStringLiteral("Compare directory not found: ")}}};
    for (const auto &[box, text] : roots) {
        if (!isReadableDirectory(toBytes(box->text()))) {
            prompts().message(this, Prompts::Icon::Exclamation, QStringLiteral("Invalid Path"),
                              text + box->text());
            return;
        }
    }

    m_running = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_cmdBegin->hide();
    m_cmdStop->show();
    m_cmdSave->setEnabled(false);
    rewriteExtensionBoxes();
    const CompareOptions options = takeOptions();

    m_host->BeginRun();
    setStatus(QStringLiteral("Starting..."));
    const CompareSummary summary = dirwise::RunCompare(options, m_scan, m_list, *m_host);
    m_host->EndRun();
    m_model->Sync();
    finishRun(summary);
}

void frmDw::finishRun(const CompareSummary &summary) {
    m_cmdBegin->show();
    m_cmdStop->hide();
    // A list the user had sorted is sorted again: the run appended its rows in scan order.
    const SortState sorting = m_list.Sorting();
    if (sorting.sorted && m_list.Count() > 0)
        m_model->Sort(sorting.key, sorting.order, m_lvDw->selectionModel());
    QApplication::restoreOverrideCursor();

    if (summary.stopped) {
        setStatus(QStringLiteral("Stopped"));
        m_running = false;
        prompts().message(this, Prompts::Icon::Information, QStringLiteral("Stopped"),
                          QStringLiteral("Dirwise stopped."));
    } else {
        QStringList totals = {QStringLiteral("Total Files: %1").arg(summary.total()),
                              QStringLiteral("Matching Files: %1").arg(summary.matching()),
                              QStringLiteral("Different Files: %1").arg(summary.different)};
        if (!summary.notCompared.empty())
            totals << QStringLiteral("Not Compared: %1").arg(summary.notCompared.size());
        setStatus(totals.join(QStringLiteral("    ")));
        QStringList lines;
        for (const std::string &line : SummaryLines(summary))
            lines << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
        QString details;
        for (const Diagnostic &d : summary.notCompared)
            details += DisplayPath(d.path) + QStringLiteral(": ") +
                       QString::fromLocal8Bit(std::strerror(d.error)) + QLatin1Char('\n');
        m_running = false;
        prompts().message(this,
                          summary.notCompared.empty() ? Prompts::Icon::Information
                                                      : Prompts::Icon::Exclamation,
                          QStringLiteral("Complete"), lines.join(QLatin1Char('\n')), details);
    }
    if (m_list.Count() > 0) {
        m_cmdSave->setEnabled(true);
        if (!m_lvDw->currentIndex().isValid())
            m_lvDw->selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                                      QItemSelectionModel::NoUpdate);
        m_lvDw->setFocus(Qt::OtherFocusReason);
    }
}

void frmDw::StopCompare() {
    if (m_running)
        m_scan.StopRequested = true;
}

void frmDw::beforeTurn() {
    m_model->Sync();
    showRunStatus();
}

void frmDw::showRunStatus() {
    if (m_scan.ComparedCount > 0)
        setStatus(QStringLiteral("Comparing: %1 of %2 files")
                      .arg(countText(m_scan.ComparedCount), countText(m_scan.ScanFileCount)));
    else
        setStatus(QStringLiteral("Listing: %1 files found").arg(countText(m_scan.ScanFileCount)));
}

void frmDw::setStatus(const QString &text) {
    m_status = text;
    m_lblStatus->setText(text);
}

QString frmDw::StatusText() const { return m_status; }

// ---- list commands ----------------------------------------------------------------------

void frmDw::SortByColumn(int column) {
    if (m_list.Count() == 0 || m_running || column < 0 || column >= ColumnCount)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_sortDescending = !m_sortDescending;
    const SortOrder order = m_sortDescending ? SortOrder::Descending : SortOrder::Ascending;
    m_model->Sort(static_cast<Column>(column), order, m_lvDw->selectionModel());
    m_lvDw->header()->setSortIndicatorShown(true);
    m_lvDw->header()->setSortIndicator(column,
                                       m_sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    const QModelIndex current = m_lvDw->currentIndex();
    if (current.isValid())
        m_lvDw->scrollTo(current);
    QApplication::restoreOverrideCursor();
}

void frmDw::RemoveSelectedRows() {
    if (m_running)
        return;
    std::vector<std::size_t> rows;
    int first = -1;
    for (const QModelIndex &ix : m_lvDw->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(ix.row()));
        first = first < 0 ? ix.row() : std::min(first, ix.row());
    }
    if (!rows.empty()) {
        m_model->RemoveRows(rows);
        // Keep the keyboard's place: the row that moved up into the first removed position.
        const int count = m_model->rowCount();
        if (count > 0)
            m_lvDw->selectionModel()->setCurrentIndex(m_model->index(std::min(first, count - 1), 0),
                                                      QItemSelectionModel::NoUpdate);
    }
    m_cmdSave->setEnabled(m_list.Count() != 0);
}

void frmDw::ShowRowProperties() {
    if (m_list.Count() == 0 || m_running)
        return;
    const QModelIndex current = m_lvDw->currentIndex();
    if (!current.isValid() || static_cast<std::size_t>(current.row()) >= m_list.Count())
        return;
    const auto row = static_cast<std::size_t>(current.row());
    // The row's own files: the master file, and the compare file when there is one.
    std::string compare;
    if (m_list.Row(row).result != Result::NotFound) {
        compare = m_list.ComparePath(row);
        struct stat st {};
        if (::lstat(compare.c_str(), &st) != 0)
            compare.clear();
    }
    modDialog32::ShowFileProperties(this, m_list.MasterPath(row), compare);
}

void frmDw::ShowListMenu(const QPoint &globalPos) {
    if (m_list.Count() < 1)
        return;
    m_mnuPopupMenu->popup(globalPos);
}

void frmDw::SaveList() {
    const QString path =
        modDialog32::ShowFileDialog(this, QStringLiteral("Save Results As..."),
                                    QStringLiteral("dw.txt"), QStringLiteral("Text File (*.txt)"));
    if (path.isEmpty())
        return;
    const ReportStatus status = SaveReport(m_list, toBytes(path));
    if (!status.ok) {
        prompts().message(this, Prompts::Icon::Critical, QStringLiteral("Cannot Save File"),
                          QString::fromLocal8Bit(status.error.data(),
                                                 static_cast<qsizetype>(status.error.size())));
        return;
    }
    prompts().message(this, Prompts::Icon::Information, QStringLiteral("Complete"),
                      QStringLiteral("File save complete"));
}

} // namespace dirwise
