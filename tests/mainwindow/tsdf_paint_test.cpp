#include <QImage>
#include <QPixmap>

#include "tests/mainwindow/tsdf_fixture.h"

namespace tev::testing {
namespace {

TEST_F(TsdfTest, BurstOfRepaintRequestsFoldsIntoAFewPaints) {
    sdf->show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const int before = sdf->paintCount();
    for (int i = 0; i < 1000; ++i) sdf->requestRepaint();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const int paints = sdf->paintCount() - before;
    EXPECT_GE(paints, 1);
    EXPECT_LE(paints, 3);
}

TEST_F(TsdfTest, PaintCopiesTheWindowPositionIntoTheViewState) {
    sdf->show();
    sdf->move(300, 210);
    sdf->clientArea()->grab();
    EXPECT_EQ(sdf->view().windowLeft, sdf->x());
    EXPECT_EQ(sdf->view().windowTop, sdf->y());
}

TEST_F(TsdfTest, ScreenshotShowsTheBackgroundAndTheBlackScaleLabels) {
    sdf->show();
    const QImage shot = sdf->clientArea()->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(984, 796));
    EXPECT_EQ(QColor(shot.pixel(983, 0)), QColor(46, 46, 46));
    EXPECT_EQ(QColor(shot.pixel(250, 770)), QColor(46, 46, 46));
    // The memo's silver face, inside its frame.
    EXPECT_EQ(QColor(shot.pixel(700, 760)), QColor(192, 192, 192));
    // A time-scale label's black background at its top-left corner.
    EXPECT_EQ(QColor(shot.pixel(374, 33)), QColor(0, 0, 0));
}

}  // namespace
}  // namespace tev::testing
