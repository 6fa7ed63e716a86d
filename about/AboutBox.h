#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace dirwise {

// The About box: product name and version, description, author line, disclaimer and
// product picture, with a System Info button and a Close button.
//
// Create it each time it is shown and show it modally (exec()); every showing then reads
// the product information and looks the System Information program up afresh. The box is
// a fixed-size dialog without minimise and maximise buttons, laid out by Qt layouts from
// its font (the disclaimer box is as wide as its longest line), and centred over its owner
// when it has one.
//
// Controls carry their names as objectName: imgAboutIcon, lblAboutName, lblAboutProduct,
// lblAboutAuthor, txtAboutDisclaimer, picCommand, cmdAboutSysInfo, btnAboutClose.
//
// Keys: Esc and F8 close the box from any control (the box sees them before its
// controls do). The Close button is the default button, so Enter closes it too.
class AboutBox : public QDialog {
    Q_OBJECT

public:
    // Builds and loads the box. `owner` (may be null) only positions it and becomes its
    // Qt parent; the caller owns the box (typically a local that exec() runs).
    explicit AboutBox(QWidget *owner = nullptr);

    // The disclaimer as written: ten lines, each ended by CR LF, 318 characters in all.
    [[nodiscard]] static QString disclaimerText();
    // The disclaimer in the user's language, its lines broken where the translation breaks
    // them (CR LF); disclaimerText() where there is no translation. The box shows these
    // lines with plain line feeds, as a text box on Linux holds them (txtAboutDisclaimer's
    // toPlainText() is this text with every CR LF made LF).
    [[nodiscard]] static QString shownDisclaimer();

signals:
    // A left click on the product picture. The window connects this to opening the
    // product's home page (productinfo::homePage); the box stays open either way.
    void pictureClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildControls();
    void buildLayout();
    void fitDisclaimerToFont();
    void load();
    void startSystemInfo();

    QLabel *m_imgAboutIcon = nullptr;
    QLabel *m_lblAboutName = nullptr;
    QLabel *m_lblAboutProduct = nullptr;
    QLabel *m_lblAboutAuthor = nullptr;
    QPlainTextEdit *m_txtAboutDisclaimer = nullptr;
    QFrame *m_picCommand = nullptr;
    QPushButton *m_cmdAboutSysInfo = nullptr;
    QPushButton *m_btnAboutClose = nullptr;
};

} // namespace dirwise
