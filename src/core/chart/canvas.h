#pragma once

#include <cstdint>
#include <string_view>

namespace tev {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    constexpr bool operator==(const Rgb&) const = default;
};

struct Point {
    int x = 0, y = 0;
    constexpr bool operator==(const Point&) const = default;
};

// A font by family, size in points and weight.
struct FontSpec {
    std::string_view family = "Arial";
    int size = 10;
    bool bold = false;
    constexpr bool operator==(const FontSpec&) const = default;
};

// The few drawing operations the window's paint uses. One adapter draws with QPainter; the
// tests record the calls. Coordinates are client pixels.
class Canvas {
  public:
    virtual ~Canvas() = default;
    // A rectangle from (left, top) to (right, bottom), the right and bottom edges excluded,
    // outlined with the pen colour and filled with the brush colour.
    virtual void rectangle(int left, int top, int right, int bottom, Rgb pen, Rgb brush) = 0;
    // A one-pixel line from (x0, y0) up to, not including, (x1, y1).
    virtual void line(int x0, int y0, int x1, int y1, Rgb pen) = 0;
    // A one-pixel polyline through the points in order.
    virtual void polyline(const Point* points, int count, Rgb pen) = 0;
    // UTF-8 text with its top-left corner at (x, y), drawn opaque on `background`.
    virtual void text(int x, int y, std::string_view utf8, const FontSpec& font, Rgb colour,
                      Rgb background) = 0;
};

}  // namespace tev
