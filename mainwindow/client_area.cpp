#include "mainwindow/client_area.h"

#include <QMouseEvent>
#include <QPainter>

namespace tev {

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {}

void ClientArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (paintHandler_) paintHandler_(painter);
}

void ClientArea::mousePressEvent(QMouseEvent* event) {
    press(event, false);
}

void ClientArea::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event, true);
}

void ClientArea::press(QMouseEvent* event, bool doubleClick) {
    event->accept();
    const QPoint at = event->position().toPoint();
    if (pressHandler_) pressHandler_(event->button(), doubleClick, at.x(), at.y());
}

}  // namespace tev
