#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPoint>
#include <QString>
#include <QVector>
#include <string>
#include <vector>

#include "core/chart/canvas.h"

class QPainter;

namespace tev {

// Draws the window's paint with QPainter: no antialiasing, one-pixel pens, texts opaque on
// their background with the top-left corner at the given point.
class QPainterCanvas final : public Canvas {
  public:
    explicit QPainterCanvas(QPainter& painter);

    void rectangle(int left, int top, int right, int bottom, Rgb pen, Rgb brush) override;
    void line(int x0, int y0, int x1, int y1, Rgb pen) override;
    void polyline(const Point* points, int count, Rgb pen) override;
    void text(int x, int y, std::string_view utf8, const FontSpec& font, Rgb colour,
              Rgb background) override;

    // Font sizes are points on the 96-dpi screen the window was laid out for; Qt gets them as
    // pixels so that the layout does not depend on this screen's resolution.
    static int pixelSizeFor(int points);

  private:
    struct CachedFont {
        std::string family;
        int size;
        bool bold;
        QFont font;
        QFontMetrics metrics;
    };
    const CachedFont& fontFor(const FontSpec& wanted);

    QPainter& painter_;
    std::vector<CachedFont> fonts_;
    const CachedFont* currentFont_ = nullptr;
    QVector<QPoint> polylinePoints_;
    QString textScratch_;
};

}  // namespace tev
