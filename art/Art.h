#pragma once

// Dirwise's own pictures, compiled into the program as Qt resources (target dirwise_art).
//
// Every function needs a QGuiApplication (or QApplication) to exist already, because it
// makes QPixmap or QIcon objects. Each call returns a fresh value object that the caller
// owns; the pictures themselves are loaded from the resources on demand and are never
// null in a correct build (a null result means the resources were not linked in).
// All pictures have transparent backgrounds.

#include <QIcon>
#include <QPixmap>

namespace dirwise::art {

// The window icon: a page of text. Holds the sizes 16, 32, 48, 64, 128 and 256 pixels,
// so the window system and task bars pick a sharp one.
[[nodiscard]] QIcon windowIcon();

// The window icon at one of its six sizes (16, 32, 48, 64, 128, 256), as the PNG that is
// installed into the hicolor icon theme. Any other size gives a null pixmap.
[[nodiscard]] QPixmap windowIconPixmap(int size);

// imgMaster: a closed yellow folder, 30 x 25 pixels.
[[nodiscard]] QPixmap masterFolderPixmap();

// imgCompare: an open yellow folder with a sheet sticking out, 35 x 32 pixels.
[[nodiscard]] QPixmap compareFolderPixmap();

// The four 16 x 16 pictures of the results list, by icon key: 0 Match (a yellow tick),
// 1 Different (a red no-entry disc), 2 NotFound (a red X with a grey shadow), 3 Extra (a
// blue plus sign). These values equal dirwise::IconKey's, so
// `resultIcon(static_cast<int>(key))` works. Any other key gives a null icon.
[[nodiscard]] QIcon resultIcon(int key);

// The About box's product picture, 80 x 161 pixels: a master folder, a two-way arrow and
// an open compare folder.
[[nodiscard]] QPixmap aboutPixmap();

} // namespace dirwise::art
