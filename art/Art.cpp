#include "Art.h"

#include <QString>

namespace dirwise::art {

namespace {

// Resource paths stay in this file so callers never spell them.
QString resource(const char *name) {
    return QStringLiteral(":/dirwise/art/") + QLatin1String(name);
}

constexpr int iconSizes[] = {16, 32, 48, 64, 128, 256};

} // namespace

QIcon windowIcon() {
    QIcon icon;
    for (int size : iconSizes)
        icon.addFile(resource("dirwise-") + QString::number(size) + QStringLiteral(".png"),
                     QSize(size, size));
    return icon;
}

QPixmap windowIconPixmap(int size) {
    for (int known : iconSizes) {
        if (known == size)
            return QPixmap(resource("dirwise-") + QString::number(size) + QStringLiteral(".png"));
    }
    return {};
}

QPixmap masterFolderPixmap() { return QPixmap(resource("master.png")); }

QPixmap compareFolderPixmap() { return QPixmap(resource("compare.png")); }

QIcon resultIcon(int key) {
    switch (key) {
    case 0:
        return QIcon(resource("match.png"));
    case 1:
        return QIcon(resource("different.png"));
    case 2:
        return QIcon(resource("notfound.png"));
    case 3:
        return QIcon(resource("extra.png"));
    default:
        return {};
    }
}

QPixmap aboutPixmap() { return QPixmap(resource("about.png")); }

} // namespace dirwise::art
