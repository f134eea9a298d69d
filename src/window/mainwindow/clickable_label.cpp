#include "window/mainwindow/clickable_label.h"

#include <QMouseEvent>

namespace tev {

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
    } else {
        event->ignore();
    }
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    if (rect().contains(event->position().toPoint())) emit clicked();
}

}  // namespace tev
