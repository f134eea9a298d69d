#include "window/mainwindow/qpainter_canvas.h"

#include <QPainter>
#include <QPen>
#include <cmath>

namespace tev {

namespace {

constexpr double kLayoutDpi = 96.0;
constexpr double kPointsPerInch = 72.0;

QColor toQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QPen onePixelPen(Rgb c) {
    QPen pen(toQColor(c));
    pen.setWidth(1);
    pen.setCapStyle(Qt::FlatCap);
    pen.setCosmetic(true);
    return pen;
}

}  // namespace

QPainterCanvas::QPainterCanvas(QPainter& painter) : painter_(painter) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setBackgroundMode(Qt::TransparentMode);
}

int QPainterCanvas::pixelSizeFor(int points) {
    return static_cast<int>(std::lround(points * kLayoutDpi / kPointsPerInch));
}

void QPainterCanvas::rectangle(int left, int top, int right, int bottom, Rgb pen, Rgb brush) {
    const int width = right - left;
    const int height = bottom - top;
    if (width <= 0 || height <= 0) return;
    const QColor edge = toQColor(pen);
    painter_.fillRect(left, top, width, height, toQColor(brush));
    painter_.fillRect(left, top, width, 1, edge);
    painter_.fillRect(left, bottom - 1, width, 1, edge);
    painter_.fillRect(left, top, 1, height, edge);
    painter_.fillRect(right - 1, top, 1, height, edge);
}

void QPainterCanvas::line(int x0, int y0, int x1, int y1, Rgb pen) {
    // The end point is not drawn, so that joined lines meet without overdraw.
    if (y0 == y1) {
        if (x1 > x0) painter_.fillRect(x0, y0, x1 - x0, 1, toQColor(pen));
        if (x1 < x0) painter_.fillRect(x1 + 1, y0, x0 - x1, 1, toQColor(pen));
        return;
    }
    if (x0 == x1) {
        if (y1 > y0) painter_.fillRect(x0, y0, 1, y1 - y0, toQColor(pen));
        if (y1 < y0) painter_.fillRect(x0, y1 + 1, 1, y0 - y1, toQColor(pen));
        return;
    }
    painter_.setPen(onePixelPen(pen));
    painter_.drawLine(x0, y0, x1, y1);
}

void QPainterCanvas::polyline(const Point* points, int count, Rgb pen) {
    if (count < 2) return;
    // A long series puts many points on one pixel; repeats of the same pixel add nothing.
    polylinePoints_.resize(count);
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const QPoint p(points[i].x, points[i].y);
        if (kept == 0 || polylinePoints_[kept - 1] != p) polylinePoints_[kept++] = p;
    }
    if (kept < 2) return;
    painter_.setPen(onePixelPen(pen));
    painter_.drawPolyline(polylinePoints_.constData(), kept);
}

const QPainterCanvas::CachedFont& QPainterCanvas::fontFor(const FontSpec& wanted) {
    for (const CachedFont& f : fonts_)
        if (f.size == wanted.size && f.bold == wanted.bold && f.family == wanted.family) return f;
    QFont font(
        QString::fromUtf8(wanted.family.data(), static_cast<qsizetype>(wanted.family.size())));
    font.setPixelSize(pixelSizeFor(wanted.size));
    font.setBold(wanted.bold);
    fonts_.push_back(
        {std::string(wanted.family), wanted.size, wanted.bold, font, QFontMetrics(font)});
    currentFont_ = nullptr;  // the vector may have moved its elements
    return fonts_.back();
}

void QPainterCanvas::text(int x, int y, std::string_view utf8, const FontSpec& font, Rgb colour,
                          Rgb background) {
    if (utf8.empty()) return;
    const CachedFont& f = fontFor(font);
    if (currentFont_ != &f) {
        painter_.setFont(f.font);
        currentFont_ = &f;
    }
    textScratch_ = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const int width = f.metrics.horizontalAdvance(textScratch_);
    painter_.fillRect(x, y, width, f.metrics.height(), toQColor(background));
    painter_.setPen(toQColor(colour));
    painter_.drawText(x, y + f.metrics.ascent(), textScratch_);
}

}  // namespace tev
