#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <utility>

#include "tests/window/records/trecord_fixture.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

// Columns of a window picture, within a label's row, that hold pixels of the label's aqua text.
int rightmostAquaColumn(const QImage& image, const QRect& row) {
    int rightmost = -1;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right() && x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 90 && c.green() > 160 && c.blue() > 160)
                rightmost = std::max(rightmost, x);
        }
    return rightmost;
}

// Two days of hour rows, as after two days of recording, for the picture in the README.
void fillHours(ScaleTable& hour) {
    for (int i = 0; i < 48; ++i) {
        const int h = i % 24 + 1;
        const float load = 1.0f + 0.6f * static_cast<float>((h * 7) % 5);  // A per phase
        hour.setDate(i, i < 24 ? 261207 : 261208);
        hour.setTime(i, h * 60);
        hour.setValue(kColV1, i, 229.0f);
        hour.setValue(kColV2, i, 228.0f);
        hour.setValue(kColV3, i, 230.0f);
        hour.setValue(kColA1, i, load);
        hour.setValue(kColA2, i, load * 0.85f);
        hour.setValue(kColA3, i, load * 0.6f);
        hour.setValue(kColAmp, i, load * 2.45f);
        hour.setValue(kColW1, i, 229.0f * load * 0.86f);
        hour.setValue(kColW2, i, 228.0f * load * 0.85f * 0.86f);
        hour.setValue(kColW3, i, 230.0f * load * 0.6f * 0.86f);
        hour.setValue(kColWatt, i, 229.0f * load * 2.45f * 0.86f);
        hour.setValue(kColKWh, i,
                      0.45f * static_cast<float>(h) + 0.01f * static_cast<float>(h * h));
    }
    hour.cnt = 47;
}

TEST_F(TRecordTest, ScreenshotShowsEveryLabelsWholeCaptionWithoutOverlappingItsNeighbour) {
    fillHours(table(TimeScale::Hour));
    record->show();
    record->hour_lClick();
    const QImage shot = record->grab().toImage();
    // TEV_RECORDS_SCREENSHOT=path saves the picture, as docs/records-manager.png is made.
    if (const QByteArray path = qgetenv("TEV_RECORDS_SCREENSHOT"); !path.isEmpty())
        shot.save(QString::fromLocal8Bit(path));

    const TRecordControls& k = record->controls();
    // Each label with the left edge of the control to its right, where its ink must end.
    const std::pair<QLabel*, int> labels[] = {{k.wh_div, k.kwh_mul->x()},
                                              {k.kwh_mul, k.output_b->x()}};
    for (const auto& [label, nextLeft] : labels) {
        const QString text = label->text().trimmed();
        const int needed = label->fontMetrics().horizontalAdvance(text);
        EXPECT_GE(label->width(), needed) << text.toStdString();
        // The last glyph's ink lies within its last advance: the whole "KWh x1000" shows.
        const int lastGlyph = label->fontMetrics().horizontalAdvance(text.right(1));
        const QRect row(label->x(), label->y(), nextLeft - label->x(), label->height());
        const int inkEnd = rightmostAquaColumn(shot, row);
        EXPECT_GE(inkEnd, label->x() + needed - lastGlyph) << text.toStdString();
        EXPECT_LT(inkEnd, label->x() + label->width()) << text.toStdString();
    }
    EXPECT_LT(k.wh_div->geometry().right(), k.kwh_mul->x());
    EXPECT_LT(k.kwh_mul->geometry().right(), k.output_b->x());
    for (int i = 0; i < kScaleCount; ++i) {
        const QLabel* scale = k.scales[i];
        EXPECT_GE(scale->width(), scale->fontMetrics().horizontalAdvance(scale->text().trimmed()))
            << scale->objectName().toStdString();
        const QRect next =
            i + 1 < kScaleCount ? k.scales[i + 1]->geometry() : k.update_b->geometry();
        EXPECT_LT(scale->geometry().right(), next.left()) << scale->objectName().toStdString();
    }
    record->hide();
}

}  // namespace
}  // namespace tev::testing
