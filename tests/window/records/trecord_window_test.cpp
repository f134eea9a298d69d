#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

#include "tests/window/records/trecord_fixture.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

QColor colourOf(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

TEST_F(TRecordTest, WindowAndControlsStandAtTheirPlacesWithTheirFontsAndColours) {
    EXPECT_EQ(record->objectName(), "Record");
    EXPECT_EQ(record->windowTitle(), QString::fromUtf8("Records 資料管理"));
    EXPECT_EQ(record->size(), QSize(1004, 761));
    EXPECT_EQ(record->pos(), QPoint(382, 199));
    EXPECT_TRUE(record->windowFlags() & Qt::Tool);
    EXPECT_FALSE(record->isVisible());
    EXPECT_EQ(record->palette().color(QPalette::Window), QColor(46, 46, 46));

    struct Expected {
        const char* name;
        QRect geometry;
        const char* caption;
        const char* family;
        int height;
        QColor colour;
    };
    const Expected controls[] = {
        {"input_b", {7, 13, 90, 22}, "Input 讀入檔案", "Arial", 12, QColor(0, 0, 255)},
        {"wh_div", {106, 16, 52, 13}, "Wh /1000 ", "MS Sans Serif", 11, QColor(0, 255, 255)},
        {"kwh_mul", {165, 16, 59, 13}, "KWh x1000 ", "MS Sans Serif", 11, QColor(0, 255, 255)},
        {"output_b", {257, 13, 90, 22}, "Output 輸出檔案", "Arial", 12, QColor(128, 0, 0)},
        {"min_l", {429, 15, 73, 16}, "Min 一分鐘", "Arial", 13, QColor(128, 128, 128)},
        {"m5_l", {507, 15, 64, 16}, "5Min 五分", "Arial", 13, QColor(128, 128, 128)},
        {"m10_l", {574, 15, 71, 16}, "10Min 十分", "Arial", 13, QColor(128, 128, 128)},
        {"hour_l", {650, 15, 63, 16}, "Hour 小時", "Arial", 13, QColor(128, 128, 128)},
        {"day_l", {720, 15, 47, 16}, "Day 日 ", "Arial", 13, QColor(128, 128, 128)},
        {"week_l", {772, 15, 58, 16}, "Week 周 ", "Arial", 13, QColor(128, 128, 128)},
        {"month_l", {834, 15, 60, 16}, "Month 月 ", "Arial", 13, QColor(128, 128, 128)},
        {"update_b", {909, 12, 80, 22}, "Update 更新", "Arial", 12, QColor(0, 0, 255)},
    };
    for (const Expected& e : controls) {
        QWidget* w = record->findChild<QWidget*>(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        // Labels keep their place and height; their design width is the least they take.
        if (qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(w->pos(), e.geometry.topLeft()) << e.name;
            EXPECT_EQ(w->height(), e.geometry.height()) << e.name;
            EXPECT_GE(w->width(), e.geometry.width()) << e.name;
        } else {
            EXPECT_EQ(w->geometry(), e.geometry) << e.name;
        }
        const QString caption = qobject_cast<QPushButton*>(w)
                                    ? qobject_cast<QPushButton*>(w)->text()
                                    : qobject_cast<QLabel*>(w)->text();
        EXPECT_EQ(caption, QString::fromUtf8(e.caption)) << e.name;
        EXPECT_EQ(w->font().family(), e.family) << e.name;
        EXPECT_EQ(w->font().pixelSize(), e.height) << e.name;
        EXPECT_EQ(colourOf(w), e.colour) << e.name;
    }
    for (ClickableLabel* scale : record->controls().scales)
        EXPECT_EQ(scale->palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(record->controls().wh_div->toolTip(), "Divided all data /1000 to KW/hr");
    EXPECT_EQ(record->controls().kwh_mul->toolTip(), "Upscale all data x1000 to Watt/hr");
}

TEST_F(TRecordTest, GridHasEighteenColumnsOfFixedSizeAndOnlyAVerticalScrollBar) {
    QTableView* sg = record->controls().sg;
    EXPECT_EQ(sg->objectName(), "sg");
    EXPECT_EQ(sg->geometry(), QRect(2, 44, 999, 713));
    EXPECT_EQ(sg->font().family(), "Arial");
    EXPECT_EQ(sg->font().pixelSize(), 15);
    EXPECT_EQ(sg->palette().color(QPalette::Base), QColor(235, 234, 209));
    EXPECT_EQ(sg->palette().color(QPalette::Text), QColor(0, 0, 255));
    EXPECT_EQ(sg->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_NE(sg->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(record->model().columnCount(), 18);
    EXPECT_EQ(sg->horizontalHeader()->defaultSectionSize(), 53);
    EXPECT_EQ(sg->verticalHeader()->defaultSectionSize(), 22);
    EXPECT_EQ(sg->columnWidth(17), 53);
    EXPECT_EQ(sg->rowHeight(100), 22);
    // Row 0 (the header row) and the 30,199 rows below it before any refresh.
    EXPECT_EQ(record->model().rowCount(), 30199);
    EXPECT_EQ(record->model().headerData(0, Qt::Horizontal).toString(), "");
    EXPECT_EQ(record->model().headerData(3, Qt::Horizontal).toString(), "KWh ");
    EXPECT_EQ(record->model().headerData(17, Qt::Horizontal).toString(), "Vac3 ");
}

TEST_F(TRecordTest, ScaleLabelBeepsHighlightsItselfAndShowsItsTable) {
    ScaleTable& hour = table(TimeScale::Hour);
    hour.setDate(0, 240802);
    hour.setTime(0, 480);
    hour.setDate(1, 240802);
    hour.setTime(1, 540);
    hour.setValue(kColKWh, 1, 3.5f);
    hour.cnt = 1;
    record->hour_lClick();
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}}));
    EXPECT_EQ(record->recordScale(), 4);
    for (int i = 0; i < kScaleCount; ++i) {
        EXPECT_EQ(colourOf(record->controls().scales[i]),
                  i == 3 ? QColor(0, 255, 255) : QColor(128, 128, 128));
    }
    EXPECT_EQ(record->model().headerData(0, Qt::Horizontal).toString(), "2");
    EXPECT_EQ(record->model().data(record->model().index(0, 2)).toString(), "9:0");
    EXPECT_EQ(record->model().data(record->model().index(0, 3)).toString(), "3.50");
    EXPECT_EQ(record->model().rowCount(), 2 + 5);

    record->month_lClick();
    EXPECT_EQ(record->model().rowCount(), 2009);
    EXPECT_EQ(colourOf(record->controls().scales[3]), QColor(128, 128, 128));
    EXPECT_EQ(colourOf(record->controls().scales[6]), QColor(0, 255, 255));
}

TEST_F(TRecordTest, GridShowsTheLastRefreshUntilUpdateIsClicked) {
    record->update_bClick();  // no scale yet: nothing happens
    EXPECT_EQ(record->model().rowCount(), 30199);
    EXPECT_TRUE(tones.tones.empty());

    ScaleTable& min = table(TimeScale::Min);
    min.setValue(kColV1, 0, 230.0f);
    record->min_lClick();
    EXPECT_EQ(cell(0, 0), "1");
    min.setDate(0, 240802);
    min.setDate(1, 240802);
    min.setValue(kColV1, 1, 231.0f);
    min.cnt = 1;
    EXPECT_EQ(cell(0, 0), "1");
    EXPECT_EQ(cell(1, 15), "");
    record->update_bClick();
    EXPECT_EQ(cell(0, 0), "2");
    EXPECT_EQ(cell(1, 15), "231");
    EXPECT_EQ(cell(2, 15), "230");
}

TEST_F(TRecordTest, RecordMenuItemShowsTheWindowAndClosingOnlyHidesIt) {
    sdf->show();
    sdf->OutputDataClick();
    EXPECT_TRUE(record->isVisible());
    record->close();
    EXPECT_FALSE(record->isVisible());
    sdf->mainMenu().OutputData->trigger();
    EXPECT_TRUE(record->isVisible());
    EXPECT_FALSE(record->testAttribute(Qt::WA_QuitOnClose));
}

TEST_F(TRecordTest, PopupOffersInsertMonifyDeleteAndNoneChangesAnything) {
    const QMenu* menu = record->popup().PopupMenu;
    ASSERT_EQ(menu->actions().size(), 5);
    EXPECT_EQ(menu->actions()[0]->text(), QString::fromUtf8("Insert 插入"));
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_EQ(menu->actions()[2]->text(), QString::fromUtf8("Monify 修改"));
    EXPECT_TRUE(menu->actions()[3]->isSeparator());
    EXPECT_EQ(menu->actions()[4]->text(), QString::fromUtf8("Delete 刪除"));

    table(TimeScale::Day).setValue(kColKWh, 0, 4.0f);
    table(TimeScale::Day).cnt = 1;
    record->day_lClick();
    auto before = std::make_unique<MeasurementStore>(store());
    for (QAction* a : menu->actions()) a->trigger();
    EXPECT_TRUE(sameTables(*before, store()));
    EXPECT_EQ(cell(2, 3), "4.00");
    EXPECT_EQ(tones.tones.size(), 1u);
}

TEST_F(TRecordTest, ScalingDividesTheImportedTablesRefreshesAndBeeps) {
    ScaleTable& m10 = table(TimeScale::M10);
    ScaleTable& hour = table(TimeScale::Hour);
    for (int r = 0; r < 12; ++r) {
        m10.setValue(kColKWh, r, 2000.0f);
        hour.setValue(kColKWh, r, 3000.0f);
        hour.setValue(kColK1, r, 5.0f);
    }
    m10.cnt = 10;
    hour.cnt = 3;
    record->hour_lClick();
    tones.tones.clear();

    record->wh_divClick();
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1400, 200}}));
    EXPECT_FLOAT_EQ(hour.value(kColKWh, 3), 3.0f);
    EXPECT_EQ(hour.value(kColKWh, 4), 3000.0f);
    EXPECT_FLOAT_EQ(m10.value(kColKWh, 10), 2.0f);
    EXPECT_EQ(m10.value(kColKWh, 11), 2000.0f);
    EXPECT_EQ(hour.value(kColK1, 0), 5.0f);
    EXPECT_EQ(cell(1, 3), "3.00");

    record->kwh_mulClick();
    EXPECT_EQ(tones.tones.back(), (Tone{1600, 200}));
    EXPECT_FLOAT_EQ(hour.value(kColKWh, 0), 3000.0f);
    EXPECT_EQ(cell(1, 3), "3000.00");

    m10.cnt = 0;
    record->wh_divClick();
    EXPECT_FLOAT_EQ(hour.value(kColKWh, 0), 3000.0f);
    EXPECT_EQ(tones.tones.back(), (Tone{1400, 200}));
}

}  // namespace
}  // namespace tev::testing
