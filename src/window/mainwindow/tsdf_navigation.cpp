// Chart navigation of the main window: presses, double-clicks, the wheel and the four keys.
// The rules live in chart/navigation; here Qt's events become calls and outcomes become tones,
// repaint requests and the memo's enabled state.

#include <QMenu>
#include <QPainter>

#include "core/chart/readings_panel.h"
#include "window/mainwindow/client_area.h"
#include "window/mainwindow/event_log_memo.h"
#include "window/mainwindow/qpainter_canvas.h"
#include "window/mainwindow/tsdf.h"

namespace tev {

namespace {

// Where the press position text "X= …   Y= …" is drawn, up to the window's right edge and the
// top of the event log memo.
const QRect kClickPositionArea(880, 602, 104, 17);

PressButton pressButtonOf(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return PressButton::Left;
        case Qt::RightButton:
            return PressButton::Right;
        case Qt::MiddleButton:
            return PressButton::Middle;
        default:
            return PressButton::Other;
    }
}

}  // namespace

void Tsdf::connectNavigation() {
    client_->setPressHandler([this](Qt::MouseButton button, bool doubleClick, int x, int y) {
        FormMouseDown(button, doubleClick, x, y);
    });
    client_->setWheelHandler([this](bool awayFromUser) {
        if (awayFromUser) {
            FormMouseWheelUp();
        } else {
            FormMouseWheelDown();
        }
    });
    client_->setKeyHandler([this](int virtualKey) { FormKeyDown(virtualKey); });
    // The position text of a press shows at once, without a paint of the whole window: a paint
    // of its own small area draws only that text.
    client_->setAreaPaintHandler(kClickPositionArea, [this](QPainter& painter) {
        ++clickPositionPaintCount_;
        QPainterCanvas canvas(painter);
        paintClickPosition(canvas, view_.lastClickX, view_.lastClickY);
    });
    client_->setFocus();
}

void Tsdf::apply(const NavigationOutcome& outcome) {
    if (outcome.showClickPosition) client_->update(kClickPositionArea);
    for (const NavigationAction& action : outcome.actions) {
        switch (action.kind) {
            case NavigationAction::Kind::Tone:
                beep(action.tone);
                break;
            case NavigationAction::Kind::Repaint:
                requestRepaint();
                break;
            // The memo takes focus and input only after a press on the log region, so that the
            // arrow keys otherwise reach the charts.
            case NavigationAction::Kind::EnableLog:
                controls_.m1->setEnabled(true);
                break;
            case NavigationAction::Kind::DisableLog:
                controls_.m1->setEnabled(false);
                client_->setFocus();
                break;
        }
    }
}

void Tsdf::FormMouseDown(Qt::MouseButton button, bool doubleClick, int x, int y) {
    apply(pressChart(view_, pressButtonOf(button), doubleClick, x, y));
    if (button == Qt::RightButton) popup_->popup(client_->mapToGlobal(QPoint(x, y)));
}

void Tsdf::FormMouseWheelUp() {
    apply(fewerPoints(view_));
}

void Tsdf::FormMouseWheelDown() {
    apply(morePoints(view_));
}

void Tsdf::FormKeyDown(int virtualKey) {
    apply(navigationKey(view_, virtualKey));
}

}  // namespace tev
