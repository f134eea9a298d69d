#include "window/mainwindow/client_area.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include "core/chart/navigation.h"

namespace tev {

int navigationVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    switch (qtKey) {
        case Qt::Key_Left:
            return static_cast<int>(NavigationKey::Left);
        case Qt::Key_Right:
            return static_cast<int>(NavigationKey::Right);
        case Qt::Key_Plus:
            return keypad ? static_cast<int>(NavigationKey::KeypadPlus) : 0;
        case Qt::Key_Minus:
            return keypad ? static_cast<int>(NavigationKey::KeypadMinus) : 0;
        default:
            return 0;
    }
}

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {
    // A press anywhere on the charts gives the keys back to the navigation.
    setFocusPolicy(Qt::ClickFocus);
}

void ClientArea::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (areaPaintHandler_ && smallArea_.contains(event->rect())) {
        areaPaintHandler_(painter);
        return;
    }
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

void ClientArea::wheelEvent(QWheelEvent* event) {
    event->accept();
    wheelRemainder_ += event->angleDelta().y();
    while (wheelRemainder_ >= kWheelNotch) {
        wheelRemainder_ -= kWheelNotch;
        if (wheelHandler_) wheelHandler_(true);
    }
    while (wheelRemainder_ <= -kWheelNotch) {
        wheelRemainder_ += kWheelNotch;
        if (wheelHandler_) wheelHandler_(false);
    }
}

void ClientArea::keyPressEvent(QKeyEvent* event) {
    const int key = navigationVirtualKey(event->key(), event->modifiers());
    if (key == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (keyHandler_) keyHandler_(key);
}

}  // namespace tev
