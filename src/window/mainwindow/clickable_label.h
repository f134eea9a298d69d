#pragma once

#include <QLabel>

namespace tev {

// A label that reports a left-button click, as the time-scale labels L10 … L26 do. Presses of
// the other buttons pass on to the window, so a right press still opens the quantity pop-up.
class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tev
