#include "platform/qt/program_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace tev {

QIcon programIcon() {
    // Drawn here rather than left to Qt's image plug-ins, which a machine may lack.
    QSvgRenderer renderer(QStringLiteral(":/tev3p/tev3p.svg"));
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace tev
