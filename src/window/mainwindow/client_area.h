#pragma once

#include <QRect>
#include <QWidget>
#include <functional>

class QPainter;

namespace tev {

// The virtual key code of a key the chart navigation reacts to, or 0: the arrow keys, and the
// plus and minus of the numeric keypad (told from the main keyboard's by the keypad modifier).
int navigationVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);

// One notch of the mouse wheel, in the units Qt reports the wheel's angle in.
inline constexpr int kWheelNotch = 120;

// The window's client area below the menu bar: it hands its paints, mouse presses, wheel
// notches and navigation keys to the main window, which draws the charts and the readings
// panel on it.
class ClientArea : public QWidget {
    Q_OBJECT
  public:
    using PaintHandler = std::function<void(QPainter&)>;
    // Button, double-click flag and client position of a press.
    using PressHandler = std::function<void(Qt::MouseButton, bool, int, int)>;
    // True for a notch turned away from the user.
    using WheelHandler = std::function<void(bool awayFromUser)>;
    using KeyHandler = std::function<void(int virtualKey)>;

    explicit ClientArea(QWidget* parent = nullptr);

    void setPaintHandler(PaintHandler handler) { paintHandler_ = std::move(handler); }
    // A paint that covers no more than `area` goes to `handler` instead of the whole paint.
    void setAreaPaintHandler(QRect area, PaintHandler handler) {
        smallArea_ = area;
        areaPaintHandler_ = std::move(handler);
    }
    void setPressHandler(PressHandler handler) { pressHandler_ = std::move(handler); }
    void setWheelHandler(WheelHandler handler) { wheelHandler_ = std::move(handler); }
    void setKeyHandler(KeyHandler handler) { keyHandler_ = std::move(handler); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void press(QMouseEvent* event, bool doubleClick);

    PaintHandler paintHandler_;
    QRect smallArea_;
    PaintHandler areaPaintHandler_;
    PressHandler pressHandler_;
    WheelHandler wheelHandler_;
    KeyHandler keyHandler_;
    // Fine-grained wheels (touchpads) report parts of a notch; they add up to whole notches.
    int wheelRemainder_ = 0;
};

}  // namespace tev
