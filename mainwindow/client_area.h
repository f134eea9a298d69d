#pragma once

#include <QWidget>
#include <functional>

class QPainter;

namespace tev {

// The window's client area below the menu bar: it hands its paints and mouse presses to the
// main window, which draws the charts and the readings panel on it.
class ClientArea : public QWidget {
    Q_OBJECT
  public:
    using PaintHandler = std::function<void(QPainter&)>;
    // Button, double-click flag and client position of a press.
    using PressHandler = std::function<void(Qt::MouseButton, bool, int, int)>;

    explicit ClientArea(QWidget* parent = nullptr);

    void setPaintHandler(PaintHandler handler) { paintHandler_ = std::move(handler); }
    void setPressHandler(PressHandler handler) { pressHandler_ = std::move(handler); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void press(QMouseEvent* event, bool doubleClick);

    PaintHandler paintHandler_;
    PressHandler pressHandler_;
};

}  // namespace tev
