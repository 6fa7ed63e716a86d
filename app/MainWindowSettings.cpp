// The main window's settings: restoring them into the controls and the geometry at load,
// saving them (or deleting them) when the window closes, and the window frame's part in
// the stored size.
#include "MainWindow.h"

#include "AppInfo.h"
#include "CheckValue.h"
#include "SettingsStore.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QResizeEvent>
#include <QTimer>

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

    // The geometry keys hold the frame's position and outer size in twips. A key that is
    // absent leaves the window where the platform places it, at the size it opened with.
    const QRect frame = frameGeometry();
    if (s.formLeft || s.formTop)
        move(s.formLeft ? twipsToPixels(*s.formLeft) : frame.x(),
             s.formTop ? twipsToPixels(*s.formTop) : frame.y());
    if (s.formHeight || s.formWidth) {
        // The outer size includes the frame, which is not known until the window manager
        // has decorated the window: size the window now as if it had none and correct the
        // client size once the frame arrives, so that save and restore never grow it.
        const QSize outer(s.formWidth ? twipsToPixels(*s.formWidth) : frame.width(),
                          s.formHeight ? twipsToPixels(*s.formHeight) : frame.height());
        const QSize margins = frameGeometry().size() - geometry().size();
        m_requestedSize = outer - margins;
        resize(m_requestedSize);
        m_pendingOuterSize = margins.width() <= 0 && margins.height() <= 0 ? outer : QSize();
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
