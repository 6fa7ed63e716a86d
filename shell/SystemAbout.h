#pragma once

#include <QString>

namespace dirwise {

// The desktop's About window for a program: a modal information box (through prompts())
// titled "About <appText>" that shows `appText`, `otherText` when not empty, and the
// operating system's name and version with the kernel and the Qt version. Returns when it
// is closed.
void showSystemAbout(const QString &appText, const QString &otherText = QString());

} // namespace dirwise
