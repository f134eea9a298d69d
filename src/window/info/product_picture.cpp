#include "window/info/product_picture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <array>

namespace tev {

namespace {

// The drawing is laid out on this design size and scaled to the picture box.
constexpr qreal kDesignWidth = 505;
constexpr qreal kDesignHeight = 409;

const QColor kBodyFace{232, 235, 238};
const QColor kBodyEdge{150, 160, 170};
const QColor kBrandBlue{20, 60, 140};
const QColor kDisplayFace{12, 52, 40};
const QColor kDisplayText{124, 255, 178};
const QColor kClampHousing{38, 40, 44};

struct Phase {
    const char* name;
    QColor colour;
    const char* reading;
};

// Phase colours as the clamp tags and the cable sleeves show them.
const std::array<Phase, 3> kPhases{{
    {"L1", QColor(214, 48, 49), "V1 220.4 V   A1 12.6 A"},
    {"L2", QColor(240, 196, 25), "V2 219.8 V   A2 11.9 A"},
    {"L3", QColor(41, 128, 222), "V3 221.1 V   A3 13.2 A"},
}};

QFont font(const char* family, qreal pixelSize, bool bold = false) {
    QFont f(family);
    f.setPixelSize(static_cast<int>(pixelSize));
    f.setBold(bold);
    return f;
}

void drawBackground(QPainter& p, const QSize& size) {
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(34, 46, 56));
    sky.setColorAt(1, QColor(12, 18, 22));
    p.fillRect(QRect(QPoint(0, 0), size), sky);
}

void drawWifi(QPainter& p, QPointF centre) {
    p.setPen(QPen(kBrandBlue, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int r = 6; r <= 18; r += 6) {
        p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kBrandBlue);
    p.drawEllipse(centre + QPointF(0, -1), 2.5, 2.5);
}

void drawMeter(QPainter& p) {
    const QRectF body(36, 36, 262, 326);
    QLinearGradient face(body.topLeft(), body.bottomRight());
    face.setColorAt(0, kBodyFace.lighter(104));
    face.setColorAt(1, kBodyFace.darker(112));
    p.setPen(QPen(kBodyEdge, 2));
    p.setBrush(face);
    p.drawRoundedRect(body, 14, 14);

    p.setPen(kBrandBlue);
    p.setFont(font("Arial", 22, true));
    p.drawText(QPointF(56, 70), "HOQ-260");
    p.setFont(font("Arial", 10));
    p.setPen(QColor(70, 80, 90));
    p.drawText(QPointF(57, 86), "3-PHASE POWER METER  AC 220-380 V");
    drawWifi(p, QPointF(268, 72));

    const QRectF display(56, 98, 222, 116);
    p.setPen(QPen(QColor(60, 70, 80), 3));
    p.setBrush(kDisplayFace);
    p.drawRoundedRect(display, 6, 6);
    p.setPen(kDisplayText);
    p.setFont(font("DejaVu Sans Mono", 13, true));
    qreal y = 124;
    for (const Phase& phase : kPhases) {
        p.drawText(QPointF(66, y), phase.reading);
        y += 22;
    }
    p.setFont(font("DejaVu Sans Mono", 17, true));
    p.drawText(QPointF(66, y + 6), "P  8.21 kW");

    // Status lamps and the three keys under the display.
    const std::array<std::pair<const char*, QColor>, 2> lamps{
        {{"PWR", QColor(60, 220, 90)}, {"WiFi", QColor(60, 150, 255)}}};
    qreal x = 62;
    for (const auto& [label, colour] : lamps) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(x, 234), 5, 5);
        p.setPen(QColor(70, 80, 90));
        p.setFont(font("Arial", 10));
        p.drawText(QPointF(x + 9, 238), label);
        x += 56;
    }
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(120, 128, 136), 1.5));
        p.setBrush(QColor(205, 210, 215));
        p.drawRoundedRect(QRectF(186 + i * 32, 226, 24, 16), 4, 4);
    }

    // The terminal block: three phases and neutral.
    const QRectF block(52, 262, 230, 82);
    p.setPen(QPen(QColor(90, 96, 104), 1.5));
    p.setBrush(QColor(60, 64, 70));
    p.drawRoundedRect(block, 6, 6);
    const std::array<const char*, 4> terminals{"L1", "L2", "L3", "N"};
    for (int i = 0; i < 4; ++i) {
        const QPointF screw(80 + i * 58, 292);
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(QColor(196, 170, 90));
        p.drawEllipse(screw, 11, 11);
        p.setPen(QPen(QColor(90, 80, 40), 2));
        p.drawLine(screw + QPointF(-6, 0), screw + QPointF(6, 0));
        p.setPen(Qt::white);
        p.setFont(font("Arial", 11, true));
        p.drawText(QRectF(screw.x() - 20, 310, 40, 20), Qt::AlignCenter, terminals[i]);
    }
}

// A split-core current clamp: a C-shaped ring with a coloured phase tag and its lead.
void drawClamp(QPainter& p, QPointF centre, const Phase& phase, QPointF leadEnd) {
    QPainterPath lead(centre + QPointF(0, 34));
    lead.cubicTo(centre + QPointF(0, 90), leadEnd + QPointF(60, 60), leadEnd);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(20, 20, 20), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(lead);
    p.setPen(QPen(phase.colour, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(lead);

    p.setPen(QPen(kClampHousing, 15, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(centre.x() - 28, centre.y() - 28, 56, 56), 110 * 16, 320 * 16);
    p.setPen(QPen(QColor(90, 94, 100), 2));
    p.drawArc(QRectF(centre.x() - 36, centre.y() - 36, 72, 72), 110 * 16, 320 * 16);

    p.setPen(Qt::NoPen);
    p.setBrush(phase.colour);
    const QRectF tag(centre.x() + 38, centre.y() - 12, 34, 24);
    p.drawRoundedRect(tag, 4, 4);
    p.setPen(Qt::black);
    p.setFont(font("Arial", 13, true));
    p.drawText(tag, Qt::AlignCenter, phase.name);
}

}  // namespace

void paintProductPicture(QPainter& p, const QSize& size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    drawBackground(p, size);
    const qreal scale = std::min(size.width() / kDesignWidth, size.height() / kDesignHeight);
    p.translate((size.width() - kDesignWidth * scale) / 2,
                (size.height() - kDesignHeight * scale) / 2);
    p.scale(scale, scale);

    // Leads first, so that the meter body covers their ends at the terminals.
    for (int i = 0; i < 3; ++i) {
        drawClamp(p, QPointF(380, 84 + i * 104), kPhases[i], QPointF(80 + i * 58, 352));
    }
    drawMeter(p);

    p.setPen(QColor(200, 206, 212));
    p.setFont(font("Arial", 12));
    p.drawText(QRectF(0, 378, kDesignWidth, 24), Qt::AlignCenter,
               "TEV3P  three-phase monitoring over WiFi");
    p.restore();
}

QPixmap productPicture(const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::black);
    QPainter painter(&pixmap);
    paintProductPicture(painter, size);
    return pixmap;
}

}  // namespace tev
