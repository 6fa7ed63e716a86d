// The layout checks the main window's and the About box's tests share: the looks to try (a
// style and a font size), putting one on, and what a shown window's layout gets wrong.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleFactory>

#include <vector>

namespace dirwise::test {

// A style and a font size in points (0: the default font).
struct Look {
    QString style;
    qreal pointSize = 0;
    [[nodiscard]] QString name() const {
        return style + (pointSize > 0 ? QStringLiteral(" 14pt") : QStringLiteral(" default font"));
    }
};

// Every installed style, each at the default font and then at 14 points.
inline std::vector<Look> InstalledLooks() {
    std::vector<Look> looks;
    for (const QString &style : QStyleFactory::keys()) {
        looks.push_back({style, 0});
        looks.push_back({style, 14});
    }
    return looks;
}

// Puts `look` on the application; the default look puts back the style and font it started
// with.
inline void UseLook(const Look &look = {}) {
    static const QString startStyle = QApplication::style()->name();
    static const QFont startFont = QApplication::font();
    QApplication::setStyle(look.style.isEmpty() ? startStyle : look.style);
    QFont font = startFont;
    if (look.pointSize > 0)
        font.setPointSizeF(look.pointSize);
    QApplication::setFont(font);
}

// What is wrong with the layout of the shown `top`, one text a fault: fewer than `captions`
// captioned controls (labels with text, and buttons) found; a visible one smaller than it
// asks to be; one of the controls `names` not wholly inside `area` (in `top`'s coordinates);
// two of them overlapping. Empty when all is well.
inline QStringList LayoutFaults(QWidget *top, const QRect &area, const QStringList &names,
                                int captions) {
    QStringList faults;
    QList<QWidget *> captioned;
    for (QLabel *l : top->findChildren<QLabel *>())
        if (!l->text().isEmpty())
            captioned << l;
    for (QAbstractButton *b : top->findChildren<QAbstractButton *>())
        if (!qobject_cast<QLineEdit *>(b->parentWidget())) // a text box's own icons
            captioned << b;
    if (captioned.size() < captions)
        faults << QStringLiteral("only %1 captions").arg(captioned.size());
    for (const QWidget *c : captioned)
        if (c->isVisibleTo(top) &&
            (c->width() < c->sizeHint().width() || c->height() < c->sizeHint().height()))
            faults << c->objectName() + " clipped";
    QList<QRect> places;
    for (const QString &name : names) {
        const QWidget *c = top->findChild<QWidget *>(name);
        places << QRect(c->mapTo(top, QPoint(0, 0)), c->size());
        if (!area.contains(places.last()))
            faults << name + " outside";
        for (qsizetype i = 0; i + 1 < places.size(); ++i)
            if (places[i].intersects(places.last()))
                faults << names[i] + " overlaps " + name;
    }
    return faults;
}

} // namespace dirwise::test
