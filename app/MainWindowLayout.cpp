// The main window's Qt layouts and the sizes that follow the font.
#include "MainWindow.h"

#include "FilterBar.h"
#include "ResultsColumns.h"
#include "WindowSettings.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <cmath>

namespace dirwise {

namespace {

// The rows the results list shows at the least, at any font.
constexpr int kLeastListRows = 10;

// Rows of the main grid.
constexpr int kMasterCaptionRow = 0;
constexpr int kCompareCaptionRow = 3;
constexpr int kOptionsRow = 6;
constexpr int kFilterRow = 7;
constexpr int kListRow = 8;
constexpr int kGapRows[] = {2, 5};

} // namespace

void MainWindow::buildLayout() {
    // Row 0: the master caption, and "Save on Exit" at the right. Rows 1 to 4: each folder
    // picture to the left of its directory box and the box's caption, and the "..." button
    // at the right of the box; rows 2 and 5 are gaps (fitToFont sizes them). Row 6: the
    // options. Row 7: the filter bar. Row 8: the list, which takes all extra room. Column 1
    // (captions, boxes, options, list) takes all extra width.
    auto *grid = new QGridLayout;
    auto *top = new QHBoxLayout;
    top->addWidget(m_lblDw[0]);
    top->addStretch(1);
    top->addWidget(m_chkSave);
    grid->addLayout(top, kMasterCaptionRow, 1, 1, 2);
    grid->addWidget(m_imgMaster, kMasterCaptionRow, 0, 2, 1, Qt::AlignHCenter | Qt::AlignBottom);
    grid->addWidget(m_txtMasterDir, kMasterCaptionRow + 1, 1);
    grid->addWidget(m_cmdMasterDir, kMasterCaptionRow + 1, 2);
    grid->addWidget(m_lblDw[1], kCompareCaptionRow, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(m_imgCompare, kCompareCaptionRow, 0, 2, 1, Qt::AlignHCenter | Qt::AlignBottom);
    grid->addWidget(m_txtCompareDir, kCompareCaptionRow + 1, 1);
    grid->addWidget(m_cmdCompareDir, kCompareCaptionRow + 1, 2);

    // The options: four check boxes in a column; the two option buttons beside the middle
    // two; the four extension boxes to the right of the buttons' "Extentions >" captions,
    // centred between them.
    auto *options = new QGridLayout;
    options->setVerticalSpacing(0);
    const std::array<QCheckBox *, 4> checks = {m_chkSubDir, m_chkSize, m_chkDate, m_chkHide};
    for (int row = 0; row < 4; ++row)
        options->addWidget(checks[static_cast<std::size_t>(row)], row, 0);
    options->addWidget(m_optEX, 1, 1);
    options->addWidget(m_optIN, 2, 1);
    for (int i = 0; i < 4; ++i)
        options->addWidget(m_txtEXT[static_cast<std::size_t>(i)], 1, 2 + i, 2, 1, Qt::AlignVCenter);
    options->setColumnStretch(6, 1);
    grid->addLayout(options, kOptionsRow, 1, 1, 2);

    grid->addWidget(m_filterBar, kFilterRow, 1, 1, 2);
    grid->addWidget(m_lvDw, kListRow, 1, 1, 2);
    grid->setRowStretch(kListRow, 1);
    grid->setColumnStretch(1, 1);

    // The command panel: the buttons at the right, Stop in Begin's place (a hidden button
    // takes no room).
    auto *commands = new QHBoxLayout(m_picCommand);
    commands->addStretch(1);
    for (QPushButton *b : {m_cmdSave, m_cmdAbout, m_cmdHelp, m_cmdBegin, m_cmdStop})
        commands->addWidget(b);

    // The grey line spans the client area's whole width along its top, and the panel its
    // whole width along its bottom, so the outer layout keeps no margins of its own.
    auto *outer = new QVBoxLayout(m_client);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(m_lineHeader);
    outer->addLayout(grid, 1);
    outer->addWidget(m_picCommand);
    m_lineHeader->setFixedHeight(1);

    fitToFont();
}

void MainWindow::fitToFont() {
    if (!m_client || !m_client->layout())
        return;
    const QFontMetrics metrics = m_client->fontMetrics();
    const int em = metrics.averageCharWidth();

    auto *outer = static_cast<QBoxLayout *>(m_client->layout());
    auto *grid = static_cast<QGridLayout *>(outer->itemAt(1)->layout());
    QStyle *style = m_client->style();
    const int margin = style->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, m_client);
    grid->setContentsMargins(margin, margin, margin, 0);
    grid->setHorizontalSpacing(em);
    // Half a line between one directory and the next, and before the options.
    for (int row : kGapRows)
        grid->setRowMinimumHeight(row, metrics.height() / 2);
    // "Save on Exit" keeps a little distance from the master caption, however narrow: the
    // spacing on both sides of the stretch between them.
    auto *top = static_cast<QBoxLayout *>(grid->itemAtPosition(kMasterCaptionRow, 1)->layout());
    top->setSpacing(em);
    auto *options = static_cast<QGridLayout *>(grid->itemAtPosition(kOptionsRow, 1)->layout());
    options->setHorizontalSpacing(em);
    // Air between the check boxes and the option buttons, which belong to another question.
    options->setColumnMinimumWidth(0, m_chkHide->sizeHint().width() + 2 * em);

    // An extension is a few characters: each box holds about five.
    for (QLineEdit *box : m_txtEXT) {
        QStyleOptionFrame frame;
        frame.initFrom(box);
        const QSize text(metrics.horizontalAdvance(QLatin1Char('x')) * 5, metrics.height());
        box->setFixedWidth(style->sizeFromContents(QStyle::CT_LineEdit, &frame, text, box).width());
    }
    // The command buttons share one width, the widest caption's, so Stop fills Begin's place
    // exactly.
    int width = 0;
    for (QPushButton *b : {m_cmdSave, m_cmdAbout, m_cmdHelp, m_cmdBegin, m_cmdStop})
        width = std::max(width, b->sizeHint().width());
    for (QPushButton *b : {m_cmdSave, m_cmdAbout, m_cmdHelp, m_cmdBegin, m_cmdStop})
        b->setMinimumWidth(width);
    // The "..." buttons stand as high as the boxes beside them, and never below their own
    // caption's height (the list's rows, not these, give way when the window is small).
    for (QAbstractButton *b : {m_cmdMasterDir, m_cmdCompareDir}) {
        b->setMinimumHeight(0);
        b->setMinimumHeight(std::max(m_txtMasterDir->sizeHint().height(), b->sizeHint().height()));
    }

    fitResultColumns(m_lvDw);
    // The list keeps room for its header, kLeastListRows rows and a horizontal scroll bar
    // at any font, so a large font makes the window taller rather than the list useless.
    const int frame = 2 * m_lvDw->frameWidth();
    const int bar = style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_lvDw);
    m_lvDw->setMinimumHeight(frame + m_lvDw->horizontalHeader()->sizeHint().height() +
                             kLeastListRows * m_lvDw->verticalHeader()->defaultSectionSize() + bar);
}

QSize MainWindow::initialSize() const {
    // About two thirds of the screen's available area, in its proportions, and wide enough
    // for every column of the list at its natural width where the screen is; never below
    // what the layout needs, never beyond the screen.
    const QSize least = minimumSizeHint().expandedTo(minimumSize());
    const QScreen *on = screen();
    if (!on)
        return least;
    const QSize area = on->availableGeometry().size();
    const double side = std::sqrt(2.0 / 3.0);
    QSize wanted(static_cast<int>(area.width() * side), static_cast<int>(area.height() * side));
    // Beside the list: the grid's side margins, the pictures' column and its spacing. Around
    // its columns: the list's frame and a vertical scroll bar.
    const auto *outer = static_cast<const QBoxLayout *>(m_client->layout());
    const auto *grid = static_cast<const QGridLayout *>(outer->itemAt(1)->layout());
    const QMargins margins = grid->contentsMargins();
    const int pictures =
        std::max(m_imgMaster->sizeHint().width(), m_imgCompare->sizeHint().width());
    const int bar = m_lvDw->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_lvDw);
    const int columns = margins.left() + pictures + grid->horizontalSpacing() +
                        m_lvDw->naturalColumnsWidth() + 2 * m_lvDw->frameWidth() + bar +
                        margins.right();
    // Widened no further than the screen leaves room for the window manager's frame: a
    // hundredth of its width, or the frame's own width when it is known.
    const int frame = std::max(area.width() / 100, frameGeometry().width() - width());
    wanted.setWidth(std::max(wanted.width(), std::min(columns, area.width() - frame)));
    return wanted.expandedTo(least).boundedTo(area.expandedTo(least));
}

void MainWindow::centreOnScreen() {
    const QScreen *on = screen();
    if (!on)
        return;
    const QRect area = on->availableGeometry();
    // The frame is not known before the window manager has decorated the window; its
    // margins are small beside the window, and the window never starts above or left of
    // the available area.
    const QSize outer = frameGeometry().size().expandedTo(size());
    move(std::max(area.left(), area.left() + (area.width() - outer.width()) / 2),
         std::max(area.top(), area.top() + (area.height() - outer.height()) / 2));
}

} // namespace dirwise
