#include "window/mainwindow/qpainter_canvas.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "tests/support/qt_application.h"

namespace tev::testing {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kGreen{0, 128, 0};
constexpr Rgb kYellow{255, 255, 0};
const QColor kBackdrop(46, 46, 46);

class QPainterCanvasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApplication();
        image.fill(kBackdrop);
    }

    QColor at(int x, int y) const { return QColor(image.pixel(x, y)); }
    static QColor q(Rgb c) { return QColor(c.r, c.g, c.b); }

    QImage image{200, 120, QImage::Format_RGB32};
};

TEST_F(QPainterCanvasTest, RectangleOutlinesAndFillsUpToButNotIncludingItsRightAndBottom) {
    {
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        canvas.rectangle(10, 10, 20, 15, kRed, kBlue);
    }
    EXPECT_EQ(at(10, 10), q(kRed));
    EXPECT_EQ(at(19, 10), q(kRed));
    EXPECT_EQ(at(10, 14), q(kRed));
    EXPECT_EQ(at(19, 14), q(kRed));
    EXPECT_EQ(at(15, 12), q(kBlue));
    EXPECT_EQ(at(11, 11), q(kBlue));
    EXPECT_EQ(at(20, 12), kBackdrop);
    EXPECT_EQ(at(15, 15), kBackdrop);
    EXPECT_EQ(at(9, 12), kBackdrop);
}

TEST_F(QPainterCanvasTest, LinesStopOnePixelShortOfTheirEndAndAreNotSmoothed) {
    const Point zigzag[] = {{100, 50}, {110, 60}, {120, 50}};
    {
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        canvas.line(30, 40, 40, 40, kYellow);
        canvas.line(50, 20, 50, 30, kRed);
        canvas.line(60, 30, 60, 20, kBlue);
        canvas.polyline(zigzag, 3, kYellow);
    }
    for (int x = 30; x < 40; ++x) EXPECT_EQ(at(x, 40), q(kYellow)) << x;
    EXPECT_EQ(at(40, 40), kBackdrop);
    EXPECT_EQ(at(30, 39), kBackdrop);
    EXPECT_EQ(at(30, 41), kBackdrop);
    for (int y = 20; y < 30; ++y) EXPECT_EQ(at(50, y), q(kRed)) << y;
    EXPECT_EQ(at(50, 30), kBackdrop);
    for (int y = 21; y <= 30; ++y) EXPECT_EQ(at(60, y), q(kBlue)) << y;
    EXPECT_EQ(at(60, 20), kBackdrop);
    // The diagonal runs pixel by pixel in pure colour, with no blended neighbours.
    for (int i = 1; i < 10; ++i) {
        EXPECT_EQ(at(100 + i, 50 + i), q(kYellow)) << i;
        EXPECT_EQ(at(101 + i, 50 + i), kBackdrop) << i;
    }
}

TEST_F(QPainterCanvasTest, TextSitsOnAnOpaqueBoxFromItsTopLeftCorner) {
    const FontSpec font{"Arial", 10, false};
    {
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        canvas.text(40, 60, "0.00", font, kYellow, kGreen);
    }
    QFont probe("Arial");
    probe.setPixelSize(QPainterCanvas::pixelSizeFor(10));
    const QFontMetrics metrics(probe);
    const int width = metrics.horizontalAdvance("0.00");
    const int height = metrics.height();
    ASSERT_GT(width, 0);

    EXPECT_EQ(at(40, 60), q(kGreen));
    EXPECT_EQ(at(40 + width - 1, 60), q(kGreen));
    EXPECT_EQ(at(40, 60 + height - 1), q(kGreen));
    EXPECT_EQ(at(39, 60), kBackdrop);
    EXPECT_EQ(at(40, 59), kBackdrop);
    EXPECT_EQ(at(40 + width, 60), kBackdrop);
    EXPECT_EQ(at(40, 60 + height), kBackdrop);
    int glyphPixels = 0;
    for (int y = 60; y < 60 + height; ++y)
        for (int x = 40; x < 40 + width; ++x)
            if (at(x, y) != q(kGreen)) ++glyphPixels;
    EXPECT_GT(glyphPixels, 10);
}

TEST_F(QPainterCanvasTest, FontPointsBecomePixelsOfTheNinetySixDpiScreen) {
    EXPECT_EQ(QPainterCanvas::pixelSizeFor(9), 12);
    EXPECT_EQ(QPainterCanvas::pixelSizeFor(10), 13);
    EXPECT_EQ(QPainterCanvas::pixelSizeFor(12), 16);
    EXPECT_EQ(QPainterCanvas::pixelSizeFor(22), 29);
    EXPECT_EQ(QPainterCanvas::pixelSizeFor(28), 37);
}

}  // namespace
}  // namespace tev::testing
