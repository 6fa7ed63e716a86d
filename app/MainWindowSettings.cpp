// The main window's settings: restoring them into the controls and the geometry at load,
// saving them (or deleting them) when the window closes, and the window frame's part in
// the stored size.
#include "MainWindow.h"

#include "AppInfo.h"
#include "CheckValue.h"
#include "SettingsStore.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace dirwise {

int MainWindow::twipsToPixels(double twips) const {
    return dirwise::twipsToPixels(twips, logicalDpiX());
}

double MainWindow::pixelsToTwips(double pixels) const {
    return dirwise::pixelsToTwips(pixels, logicalDpiX());
}

void MainWindow::restoreSettings() { applySettings(WindowSettings::read(SettingsStore())); }

void MainWindow::applySettings(const WindowSettings &s) {
    setCheckValue(m_chkSave, s.save);
    m_txtMasterDir->setText(s.masterDir);
    m_txtCompareDir->setText(s.compareDir);
    setCheckValue(m_chkSubDir, s.subDir);
    setCheckValue(m_chkSize, s.checkSize);
    setCheckValue(m_chkDate, s.checkDate);
    setCheckValue(m_chkHide, s.noShowMatch);
    for (std::size_t i = 0; i < m_txtEXT.size(); ++i)
        m_txtEXT[i]->setText(s.extensions[i]);

    setMenuOptions(s);
    m_diffTool = s.diffTool;
    m_recentPairs = s.recentPairs;
    applyGeometry(s);
}

namespace {

// The screen whose available area is nearest to `rect` (the one it overlaps most, or the
// one closest to its centre when it overlaps none); null only without screens.
const QScreen *nearestScreen(const QRect &rect, bool &overlaps) {
    const QScreen *best = nullptr;
    qint64 bestArea = 0;
    double bestDistance = 0;
    overlaps = false;
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QRect common = area.intersected(rect);
        const qint64 shared = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        const QPointF d = QPointF(rect.center()) -
                          QPointF(std::clamp(rect.center().x(), area.left(), area.right()),
                                  std::clamp(rect.center().y(), area.top(), area.bottom()));
        const double distance = std::hypot(d.x(), d.y());
        if (shared > bestArea ||
            (bestArea == 0 && shared == 0 && (!best || distance < bestDistance))) {
            best = screen;
            bestArea = shared;
            bestDistance = distance;
        }
    }
    overlaps = bestArea > 0;
    return best;
}

} // namespace

void MainWindow::applyGeometry(const WindowSettings &s) {
    // The geometry keys hold the frame's position and outer size in twips. A key that is
    // absent leaves the window where the platform places it, at the size it opened with;
    // without any, the window opens centred on its screen.
    if (!s.formLeft && !s.formTop && !s.formHeight && !s.formWidth) {
        resize(initialSize());
        centreOnScreen();
        return;
    }
    const QRect frame = frameGeometry();
    // The frame is not known until the window manager has decorated the window: size the
    // window now as if it had none and correct the client size once the frame arrives, so
    // that save and restore never grow it.
    const QSize margins = frame.size() - geometry().size();
    QRect wanted(s.formLeft ? twipsToPixels(*s.formLeft) : frame.x(),
                 s.formTop ? twipsToPixels(*s.formTop) : frame.y(),
                 s.formWidth ? twipsToPixels(*s.formWidth) : initialSize().width(),
                 s.formHeight ? twipsToPixels(*s.formHeight) : initialSize().height());
    // A usable window whatever was stored: never below the layout's minimum (also for 0 or
    // a negative size), never beyond the desktop, never wholly off every screen.
    const QSize least = minimumSizeHint().expandedTo(minimumSize()) + margins;
    QSize size = wanted.size();
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        size = size.boundedTo(primary->availableVirtualGeometry().size());
    wanted.setSize(size.expandedTo(least));
    bool overlaps = false;
    if (const QScreen *screen = nearestScreen(wanted, overlaps); screen && !overlaps) {
        const QRect area = screen->availableGeometry();
        wanted.moveTo(std::clamp(wanted.x(), area.left(),
                                 std::max(area.left(), area.right() + 1 - wanted.width())),
                      std::clamp(wanted.y(), area.top(),
                                 std::max(area.top(), area.bottom() + 1 - wanted.height())));
    }
    if (s.formLeft || s.formTop || !overlaps)
        move(wanted.topLeft());
    if (s.formHeight || s.formWidth || wanted.size() != frame.size()) {
        m_requestedSize = wanted.size() - margins;
        resize(m_requestedSize);
        m_pendingOuterSize =
            margins.width() <= 0 && margins.height() <= 0 ? wanted.size() : QSize();
    }
}

WindowSettings MainWindow::currentSettings() const {
    WindowSettings s;
    s.save = checkValue(m_chkSave);
    s.masterDir = m_txtMasterDir->text();
    s.compareDir = m_txtCompareDir->text();
    s.subDir = checkValue(m_chkSubDir);
    s.checkSize = checkValue(m_chkSize);
    s.checkDate = checkValue(m_chkDate);
    s.noShowMatch = checkValue(m_chkHide);
    for (std::size_t i = 0; i < m_txtEXT.size(); ++i)
        s.extensions[i] = m_txtEXT[i]->text();
    getMenuOptions(s);
    s.diffTool = m_diffTool;
    s.recentPairs = m_recentPairs;
    // A minimised, maximised or full-screen window keeps the last normal geometry stored.
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const QRect frame = frameGeometry();
        // A size still waiting for its frame correction is the size the user has.
        const QSize outer = m_pendingOuterSize.isValid() ? m_pendingOuterSize : frame.size();
        s.formLeft = pixelsToTwips(frame.x());
        s.formTop = pixelsToTwips(frame.y());
        s.formHeight = pixelsToTwips(outer.height());
        s.formWidth = pixelsToTwips(outer.width());
    }
    return s;
}

void MainWindow::setProgramEnd(std::function<void()> end) { m_programEnd = std::move(end); }

void MainWindow::saveSettingsOnClose() {
    if (m_closing)
        return;
    m_closing = true;
    SettingsStore store;
    // A failing write is passed over: the program ends in any case.
    if (checkValue(m_chkSave) == 1)
        (void)currentSettings().write(store);
    else
        store.DeleteApplication(ApplicationTitle());
    if (m_programEnd)
        m_programEnd();
}

void MainWindow::applyFrameCorrection() {
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

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    applyFrameCorrection();
    // The window manager may decorate the window only after it is mapped.
    QTimer::singleShot(0, this, &MainWindow::applyFrameCorrection);
}

void MainWindow::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    applyFrameCorrection();
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    // Once the user (or the window manager) has chosen another size, the stored one no
    // longer applies.
    if (m_pendingOuterSize.isValid() && event->size() != m_requestedSize)
        m_pendingOuterSize = QSize();
    applyFrameCorrection();
}

} // namespace dirwise
