#pragma once

#include "DisplayText.h"

#include <QCheckBox>
#include <QFile>
#include <QString>

#include <string>

namespace dirwise {

// The value of a check box as the settings know it: 0 (unchecked), 1 (checked) or 2
// (grayed, Qt's partially checked).
[[nodiscard]] inline int checkValue(const QCheckBox *box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

// Sets a check box from a settings value: 2 grays it (making it tristate), 1 checks it,
// anything else clears it; a box set to 0 or 1 is an ordinary two-state box again.
inline void setCheckValue(QCheckBox *box, int value) {
    if (value == 2) {
        box->setCheckState(Qt::PartiallyChecked); // also makes the box tristate
        return;
    }
    box->setTristate(false);
    box->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
}

// A path typed or chosen in the window as the byte string the core takes: UTF-8, with the
// bytes a box keeps for a name that is not valid UTF-8 (PathBytes).
[[nodiscard]] inline std::string toBytes(const QString &text) { return PathBytes(text); }

} // namespace dirwise
