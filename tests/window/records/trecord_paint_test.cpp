#include <QImage>
#include <QTableView>

#include "tests/window/records/trecord_fixture.h"

namespace tev::testing {
namespace {

// Pixels of the grid's blue text inside a rectangle of the grid's viewport.
int bluePixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 120 && c.green() < 120) ++count;
        }
    return count;
}

TEST_F(TRecordTest, GridPaintsRecordTextsAndLeavesSeparatorRowsBlank) {
    ScaleTable& min = table(TimeScale::Min);
    min.setDate(0, 240801);
    min.setTime(0, 1439);
    min.setDate(1, 240802);
    min.setTime(1, 0);
    min.setValue(kColKWh, 1, 123456.78f);  // wider than its cell
    min.cnt = 1;
    record->show();
    record->min_lClick();
    QTableView* sg = record->controls().sg;
    const QImage image = sg->viewport()->grab().toImage();

    const QModelIndex date = record->model().index(0, 1);
    const QModelIndex separator = record->model().index(1, 1);
    const QModelIndex older = record->model().index(2, 2);
    EXPECT_GT(bluePixels(image, sg->visualRect(date)), 20);
    EXPECT_EQ(bluePixels(image, sg->visualRect(separator)), 0);
    EXPECT_GT(bluePixels(image, sg->visualRect(older)), 20);
    // A text wider than its cell is cut at the cell's edge: the first pixels of the next
    // cell, before that cell's own text, stay clear.
    const QRect next = sg->visualRect(record->model().index(0, 4));
    EXPECT_EQ(bluePixels(image, QRect(next.left(), next.top(), 2, next.height())), 0);
    record->hide();
}

}  // namespace
}  // namespace tev::testing
