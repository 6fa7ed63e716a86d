#include "frmAbout.h"

#include "Art.h"
#include "ProductInfo.h"
#include "Prompts.h"
#include "SystemInfo.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>

using namespace Qt::Literals::StringLiterals;

namespace dirwise {

namespace {

// Design rectangles in twips; converted to pixels with the box's logical dpi in layOut().
struct TwipRect {
    int left, top, width, height;
};
constexpr int clientWidth = 5250;
constexpr int clientHeight = 3420;
constexpr TwipRect imgAboutIconRect{120, 120, 1260, 2475};
constexpr int labelsLeft = 1590;
constexpr int lblAboutNameTop = 120;
constexpr int lblAboutProductTop = 420;
constexpr int lblAboutAuthorTop = 720;
constexpr TwipRect txtAboutDisclaimerRect{1560, 1320, 3555, 1275};
constexpr TwipRect picCommandRect{-60, 2760, 5415, 735};
constexpr TwipRect cmdAboutSysInfoRect{2430, 120, 1275, 375};
constexpr TwipRect btnAboutCloseRect{3870, 120, 1275, 375};

constexpr double twipsPerInch = 1440.0;

int toPixels(int twips, int dpi) { return qRound(twips * dpi / twipsPerInch); }

} // namespace

QString frmAbout::disclaimerText() {
    return u"Disclaimer:\r\n"
           u"\r\n"
           u"The Author, or anyone associated in \r\n"
           u"partnership, is not liable for any financial or \r\n"
           u"resource burden that may occur due to \r\n"
           u"software malfunctions or data loss during \r\n"
           u"use of this application.  This application \r\n"
           u"provides no warranty and must not be used \r\n"
           u"under business critical circumstances.\r\n"
           u"\r\n"_s;
}

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"About"_s);
    buildControls();
    load();
    layOut();

    // Key preview: Esc and F8 must close the box whichever control has the focus, even one
    // that would otherwise use the key itself.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

void frmAbout::buildControls() {
    m_imgAboutIcon = new QLabel(this);
    m_imgAboutIcon->setObjectName(u"imgAboutIcon"_s);
    m_imgAboutIcon->setPixmap(art::aboutPixmap());
    m_imgAboutIcon->setAlignment(Qt::AlignCenter);
    // The pointer tells that the picture is a link to the home page.
    m_imgAboutIcon->setCursor(Qt::PointingHandCursor);

    m_lblAboutName = new QLabel(u"Title"_s, this);
    m_lblAboutName->setObjectName(u"lblAboutName"_s);
    m_lblAboutName->setToolTip(u"Product Title"_s);

    m_lblAboutProduct = new QLabel(u"Comment"_s, this);
    m_lblAboutProduct->setObjectName(u"lblAboutProduct"_s);
    m_lblAboutProduct->setToolTip(u"Product Description"_s);

    m_lblAboutAuthor = new QLabel(u"Author"_s, this);
    m_lblAboutAuthor->setObjectName(u"lblAboutAuthor"_s);
    m_lblAboutAuthor->setToolTip(u"Author Info"_s);

    // Product texts come from the build and are never markup.
    for (QLabel *label : {m_lblAboutName, m_lblAboutProduct, m_lblAboutAuthor})
        label->setTextFormat(Qt::PlainText);

    m_txtAboutDisclaimer = new QPlainTextEdit(this);
    m_txtAboutDisclaimer->setObjectName(u"txtAboutDisclaimer"_s);
    m_txtAboutDisclaimer->setReadOnly(true);
    m_txtAboutDisclaimer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtAboutDisclaimer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txtAboutDisclaimer->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette palette = m_txtAboutDisclaimer->palette();
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    m_txtAboutDisclaimer->setPalette(palette);
    // A Linux text box holds lines ended by LF; CR LF would show a stray CR per line.
    QString shown = disclaimerText();
    shown.replace(u"\r\n"_s, u"\n"_s);
    m_txtAboutDisclaimer->setPlainText(shown);

    m_picCommand = new QFrame(this);
    m_picCommand->setObjectName(u"picCommand"_s);
    // The strip reaches past both sides of the box, so only its top edge shows as a line.
    m_picCommand->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);

    m_cmdAboutSysInfo = new QPushButton(u"&System Info..."_s, m_picCommand);
    m_cmdAboutSysInfo->setObjectName(u"cmdAboutSysInfo"_s);
    m_cmdAboutSysInfo->setToolTip(u"System Information"_s);
    connect(m_cmdAboutSysInfo, &QPushButton::clicked, this, &frmAbout::startSystemInfo);

    m_btnAboutClose = new QPushButton(u"&Close"_s, m_picCommand);
    m_btnAboutClose->setObjectName(u"btnAboutClose"_s);
    m_btnAboutClose->setToolTip(u"Close"_s);
    m_btnAboutClose->setDefault(true);
    connect(m_btnAboutClose, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(m_cmdAboutSysInfo, m_btnAboutClose);
    setTabOrder(m_btnAboutClose, m_txtAboutDisclaimer);
    m_btnAboutClose->setFocus();
}

void frmAbout::load() {
    const QString title = QString::fromUtf8(productinfo::title);
    setWindowTitle(u"About "_s + title);
    m_lblAboutName->setText(title + u' ' + QString::number(productinfo::versionMajor) + u'.' +
                            QString::number(productinfo::versionMinor) + u'.' +
                            QString::number(productinfo::versionRevision));
    m_lblAboutProduct->setText(QString::fromUtf8(productinfo::comments));
    m_lblAboutAuthor->setText(QString::fromUtf8(productinfo::legalNotice) + u'\u00A9');
    m_cmdAboutSysInfo->setEnabled(GetSystemInfoPath().isValid());
}

void frmAbout::layOut() {
    const int dpiX = logicalDpiX();
    const int dpiY = logicalDpiY();
    const auto place = [dpiX, dpiY](QWidget *w, const TwipRect &r) {
        w->setGeometry(toPixels(r.left, dpiX), toPixels(r.top, dpiY), toPixels(r.width, dpiX),
                       toPixels(r.height, dpiY));
    };
    setFixedSize(toPixels(clientWidth, dpiX), toPixels(clientHeight, dpiY));

    place(m_imgAboutIcon, imgAboutIconRect);
    const auto placeLabel = [dpiX, dpiY](QLabel *label, int top) {
        label->adjustSize(); // sized to its text
        label->move(toPixels(labelsLeft, dpiX), toPixels(top, dpiY));
    };
    placeLabel(m_lblAboutName, lblAboutNameTop);
    placeLabel(m_lblAboutProduct, lblAboutProductTop);
    placeLabel(m_lblAboutAuthor, lblAboutAuthorTop);
    place(m_txtAboutDisclaimer, txtAboutDisclaimerRect);
    fitDisclaimerFont();
    place(m_picCommand, picCommandRect);

    // A large font may need taller buttons than designed; grow them downwards rather than
    // clip their captions, as far as the strip allows.
    for (const auto &[button, rect] : {std::pair{m_cmdAboutSysInfo, cmdAboutSysInfoRect},
                                       std::pair{m_btnAboutClose, btnAboutCloseRect}}) {
        place(button, rect);
        const int room = m_picCommand->height() - button->y();
        const int wanted = qMax(button->height(), button->sizeHint().height());
        button->resize(button->width(), qMin(wanted, qMax(room, button->height())));
    }
}

void frmAbout::fitDisclaimerFont() {
    // The disclaimer's lines were set for a narrow dialog font. Wider desktop fonts would
    // wrap each line a word early and leave ragged stubs, so the box's font steps down a
    // little until the longest line fits; below a readable floor it wraps instead.
    constexpr qreal smallestPointSize = 7.0;
    const QStringList lines = disclaimerText().split(u"\r\n"_s);
    QPlainTextEdit *box = m_txtAboutDisclaimer;
    const qreal available = box->width() - 2 * box->frameWidth() -
                            box->verticalScrollBar()->sizeHint().width() -
                            2 * box->document()->documentMargin() - box->cursorWidth() - 1;
    QFont font = box->font();
    const auto widest = [&lines](const QFont &f) {
        const QFontMetricsF metrics(f);
        qreal w = 0;
        for (const QString &line : lines)
            w = qMax(w, metrics.horizontalAdvance(line));
        return w;
    };
    while (font.pointSizeF() - 0.5 >= smallestPointSize && widest(font) > available)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    box->setFont(font);
}

void frmAbout::startSystemInfo() {
    // Look again: the program may have been removed or installed since the box loaded.
    const SystemInfoProgram info = GetSystemInfoPath();
    if (!info.isValid()) {
        m_cmdAboutSysInfo->setEnabled(false);
        prompts().message(this, Prompts::Icon::Exclamation, u"System Information"_s,
                          u"No System Information program was found."_s);
        return;
    }
    if (!QProcess::startDetached(info.program, info.arguments)) {
        prompts().message(
            this, Prompts::Icon::Exclamation, u"System Information"_s,
            u"The System Information program could not be started:\n%1"_s.arg(info.program));
    }
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // The modifiers are not looked at: Shift+F8 closes the box as F8 does.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_F8) {
            reject();
            return true;
        }
        break;
    }
    case QEvent::MouseButtonPress:
        // Take the press so that the release comes back to the picture.
        if (watched == m_imgAboutIcon &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            return true;
        break;
    case QEvent::MouseButtonRelease:
        if (watched == m_imgAboutIcon) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            // A press that is dragged off the picture before release is no click.
            if (mouse->button() == Qt::LeftButton &&
                m_imgAboutIcon->rect().contains(mouse->position().toPoint())) {
                emit pictureClicked();
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace dirwise
