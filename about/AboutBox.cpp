#include "AboutBox.h"

#include "Art.h"
#include "ProductInfo.h"
#include "Prompts.h"
#include "SystemInfo.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QtMath>

using namespace Qt::Literals::StringLiterals;

namespace dirwise {

namespace {

// The disclaimer as written, lines broken by hand; a translation keeps its line breaks.
const char kDisclaimer[] =
    QT_TRANSLATE_NOOP("dirwise::AboutBox", "Disclaimer:\r\n"
                                           "\r\n"
                                           "The Author, or anyone associated in \r\n"
                                           "partnership, is not liable for any financial or \r\n"
                                           "resource burden that may occur due to \r\n"
                                           "software malfunctions or data loss during \r\n"
                                           "use of this application.  This application \r\n"
                                           "provides no warranty and must not be used \r\n"
                                           "under business critical circumstances.\r\n"
                                           "\r\n");

} // namespace

QString AboutBox::disclaimerText() { return QString::fromUtf8(kDisclaimer); }

QString AboutBox::shownDisclaimer() { return tr(kDisclaimer); }

AboutBox::AboutBox(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(u"frmAbout"_s);
    setWindowTitle(tr("About"));
    buildControls();
    buildLayout();
    load();

    // Key preview: Esc and F8 must close the box whichever control has the focus, even one
    // that would otherwise use the key itself.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

void AboutBox::buildControls() {
    m_imgAboutIcon = new QLabel(this);
    m_imgAboutIcon->setObjectName(u"imgAboutIcon"_s);
    m_imgAboutIcon->setPixmap(art::aboutPixmap());
    m_imgAboutIcon->setAlignment(Qt::AlignCenter);
    // The pointer tells that the picture is a link to the home page.
    m_imgAboutIcon->setCursor(Qt::PointingHandCursor);

    m_lblAboutName = new QLabel(u"Title"_s, this);
    m_lblAboutName->setObjectName(u"lblAboutName"_s);
    m_lblAboutName->setToolTip(tr("Product Title"));

    m_lblAboutProduct = new QLabel(u"Comment"_s, this);
    m_lblAboutProduct->setObjectName(u"lblAboutProduct"_s);
    m_lblAboutProduct->setToolTip(tr("Product Description"));

    m_lblAboutAuthor = new QLabel(u"Author"_s, this);
    m_lblAboutAuthor->setObjectName(u"lblAboutAuthor"_s);
    m_lblAboutAuthor->setToolTip(tr("Author Info"));

    // Product texts come from the build and are never markup.
    for (QLabel *label : {m_lblAboutName, m_lblAboutProduct, m_lblAboutAuthor})
        label->setTextFormat(Qt::PlainText);

    m_txtAboutDisclaimer = new QPlainTextEdit(this);
    m_txtAboutDisclaimer->setObjectName(u"txtAboutDisclaimer"_s);
    m_txtAboutDisclaimer->setReadOnly(true);
    m_txtAboutDisclaimer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtAboutDisclaimer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txtAboutDisclaimer->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The text box keeps the palette's colours, so the disclaimer reads on dark themes too.
    // A Linux text box holds lines ended by LF; CR LF would show a stray CR per line.
    QString shown = shownDisclaimer();
    shown.replace(u"\r\n"_s, u"\n"_s);
    m_txtAboutDisclaimer->setPlainText(shown);

    m_picCommand = new QFrame(this);
    m_picCommand->setObjectName(u"picCommand"_s);
    // The strip runs along the whole bottom edge: its raised border shows as a line above
    // the buttons, the other edges meet the box's own.
    m_picCommand->setFrameStyle(QFrame::Panel | QFrame::Raised);

    m_cmdAboutSysInfo = new QPushButton(tr("&System Info..."), m_picCommand);
    m_cmdAboutSysInfo->setObjectName(u"cmdAboutSysInfo"_s);
    m_cmdAboutSysInfo->setToolTip(tr("System Information"));
    connect(m_cmdAboutSysInfo, &QPushButton::clicked, this, &AboutBox::startSystemInfo);

    m_btnAboutClose = new QPushButton(tr("&Close"), m_picCommand);
    m_btnAboutClose->setObjectName(u"btnAboutClose"_s);
    m_btnAboutClose->setToolTip(tr("Close"));
    m_btnAboutClose->setDefault(true);
    connect(m_btnAboutClose, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(m_cmdAboutSysInfo, m_btnAboutClose);
    setTabOrder(m_btnAboutClose, m_txtAboutDisclaimer);
    m_btnAboutClose->setFocus();
}

void AboutBox::load() {
    const QString title = QString::fromUtf8(productinfo::title);
    setWindowTitle(tr("About %1").arg(title));
    m_lblAboutName->setText(title + u' ' + QString::fromUtf8(productinfo::versionText));
    m_lblAboutProduct->setText(QString::fromUtf8(productinfo::comments));
    m_lblAboutAuthor->setText(QString::fromUtf8(productinfo::legalNotice) + u'\u00A9');
    m_cmdAboutSysInfo->setEnabled(findSystemInfoProgram().isValid());
}

void AboutBox::buildLayout() {
    // The picture on the left; beside it the three product lines at the top and the
    // disclaimer at the bottom; the button strip across the whole bottom edge.
    auto *texts = new QVBoxLayout;
    texts->addWidget(m_lblAboutName);
    texts->addWidget(m_lblAboutProduct);
    texts->addWidget(m_lblAboutAuthor);
    texts->addStretch(1);
    texts->addWidget(m_txtAboutDisclaimer);

    auto *content = new QHBoxLayout;
    content->addWidget(m_imgAboutIcon, 0, Qt::AlignTop);
    content->addLayout(texts, 1);

    auto *buttons = new QHBoxLayout(m_picCommand);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdAboutSysInfo);
    buttons->addWidget(m_btnAboutClose);

    // The strip spans the box edge to edge, so the outer layout has no margins of its own
    // and the content gets the style's.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *contentMargins = new QWidget(this);
    contentMargins->setLayout(content);
    outer->addWidget(contentMargins);
    outer->addWidget(m_picCommand);
    // A fixed dialog of exactly the size its contents need at the current font.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    fitDisclaimerToFont();
}

void AboutBox::fitDisclaimerToFont() {
    // The disclaimer's lines were set by hand: the box is as wide as the longest of them,
    // so none wraps a word early, and tall enough for six lines; the rest scrolls.
    QPlainTextEdit *box = m_txtAboutDisclaimer;
    const QFontMetricsF metrics(box->font());
    qreal widest = 0;
    for (const QString &line : shownDisclaimer().split(u"\r\n"_s))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const qreal margins = 2 * box->frameWidth() + 2 * box->document()->documentMargin();
    const int width = qCeil(widest + margins + box->cursorWidth() + 1) +
                      box->verticalScrollBar()->sizeHint().width();
    const int height = qCeil(6 * metrics.lineSpacing() + margins);
    box->setFixedSize(width, height);
    // Buttons of equal width, wide enough for either caption.
    const int buttonWidth =
        qMax(m_cmdAboutSysInfo->sizeHint().width(), m_btnAboutClose->sizeHint().width());
    m_cmdAboutSysInfo->setMinimumWidth(buttonWidth);
    m_btnAboutClose->setMinimumWidth(buttonWidth);
}

void AboutBox::changeEvent(QEvent *event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitDisclaimerToFont();
}

void AboutBox::startSystemInfo() {
    // Look again: the program may have been removed or installed since the box loaded.
    const SystemInfoProgram info = findSystemInfoProgram();
    if (!info.isValid()) {
        m_cmdAboutSysInfo->setEnabled(false);
        prompts().message(this, Prompts::Icon::Exclamation, tr("System Information"),
                          tr("No System Information program was found."));
        return;
    }
    if (!QProcess::startDetached(info.program, info.arguments)) {
        prompts().message(
            this, Prompts::Icon::Exclamation, tr("System Information"),
            tr("The System Information program could not be started:\n%1").arg(info.program));
    }
}

bool AboutBox::eventFilter(QObject *watched, QEvent *event) {
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
