#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/chart/canvas.h"

namespace tev::testing {

// One drawing call as a canvas received it.
struct DrawCall {
    enum class Kind { Rectangle, Line, Polyline, Text };
    Kind kind;
    // Rectangle: left, top, right, bottom. Line: from (x0, y0) to (x1, y1). Text: x0, y0.
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    Rgb pen;    // the pen of rectangles, lines and polylines; the colour of a text
    Rgb brush;  // the fill of a rectangle; the background of a text
    std::vector<Point> points;
    std::string text;
    std::string fontFamily;
    int fontSize = 0;
    bool bold = false;
};

// Keeps every call in order, with small queries for the tests.
class RecordingCanvas final : public Canvas {
  public:
    using Kind = DrawCall::Kind;

    void rectangle(int left, int top, int right, int bottom, Rgb pen, Rgb brush) override {
        calls.push_back(
            {Kind::Rectangle, left, top, right, bottom, pen, brush, {}, {}, {}, 0, false});
    }
    void line(int x0, int y0, int x1, int y1, Rgb pen) override {
        calls.push_back({Kind::Line, x0, y0, x1, y1, pen, {}, {}, {}, {}, 0, false});
    }
    void polyline(const Point* points, int count, Rgb pen) override {
        calls.push_back({Kind::Polyline,
                         0,
                         0,
                         0,
                         0,
                         pen,
                         {},
                         std::vector<Point>(points, points + count),
                         {},
                         {},
                         0,
                         false});
    }
    void text(int x, int y, std::string_view utf8, const FontSpec& font, Rgb colour,
              Rgb background) override {
        calls.push_back({Kind::Text,
                         x,
                         y,
                         0,
                         0,
                         colour,
                         background,
                         {},
                         std::string(utf8),
                         std::string(font.family),
                         font.size,
                         font.bold});
    }

    void clear() { calls.clear(); }

    std::vector<const DrawCall*> ofKind(Kind kind) const {
        std::vector<const DrawCall*> found;
        for (const DrawCall& c : calls)
            if (c.kind == kind) found.push_back(&c);
        return found;
    }
    std::vector<const DrawCall*> texts() const { return ofKind(Kind::Text); }
    std::vector<const DrawCall*> rectangles() const { return ofKind(Kind::Rectangle); }
    std::vector<const DrawCall*> polylines() const { return ofKind(Kind::Polyline); }

    // The first text call with exactly this text, or null.
    const DrawCall* findText(std::string_view text) const {
        for (const DrawCall& c : calls)
            if (c.kind == Kind::Text && c.text == text) return &c;
        return nullptr;
    }
    bool hasText(std::string_view text) const { return findText(text) != nullptr; }
    // Every text drawn at (x, y).
    std::vector<const DrawCall*> textsAt(int x, int y) const {
        std::vector<const DrawCall*> found;
        for (const DrawCall& c : calls)
            if (c.kind == Kind::Text && c.x0 == x && c.y0 == y) found.push_back(&c);
        return found;
    }
    // The texts in one colour, in drawing order.
    std::vector<std::string> textsIn(Rgb colour) const {
        std::vector<std::string> found;
        for (const DrawCall& c : calls)
            if (c.kind == Kind::Text && c.pen == colour) found.push_back(c.text);
        return found;
    }
    // The lines drawn with this pen.
    std::vector<const DrawCall*> linesIn(Rgb pen) const {
        std::vector<const DrawCall*> found;
        for (const DrawCall& c : calls)
            if (c.kind == Kind::Line && c.pen == pen) found.push_back(&c);
        return found;
    }
    std::vector<const DrawCall*> rectanglesFilled(Rgb brush) const {
        std::vector<const DrawCall*> found;
        for (const DrawCall& c : calls)
            if (c.kind == Kind::Rectangle && c.brush == brush) found.push_back(&c);
        return found;
    }

    std::vector<DrawCall> calls;
};

}  // namespace tev::testing
