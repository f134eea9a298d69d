#pragma once

#include <QPixmap>
#include <QSize>

class QPainter;

namespace tev {

// The picture of the about windows: a three-phase meter with its display, WiFi module and
// three current-transformer clamps, drawn in code (no image file).
void paintProductPicture(QPainter& painter, const QSize& size);
QPixmap productPicture(const QSize& size);

}  // namespace tev
