#include <QImage>
#include <QLabel>
#include <QPixmap>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "tools/hoq-sim/meter_messages.h"

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
    // The grey frames of the CH1 and CH2 panels and the black inside of the CH1 plot.
    EXPECT_EQ(QColor(shot.pixel(255, 100)), QColor(128, 128, 128));
    EXPECT_EQ(QColor(shot.pixel(600, 280)), QColor(128, 128, 128));
    EXPECT_EQ(QColor(shot.pixel(600, 150)), QColor(0, 0, 0));
}

TEST_F(TsdfTest, PaintShowsTheConnectedMeterInTheConnectionLabels) {
    sim::DataWords words;
    words.decimals[0] = 230;
    sdf->meterLink().handleMessage(
        sim::buildDataMessage("A1B2C3D4E5F6", "192.168.1.20", 240802, 29100, words) + "\r\n");
    ASSERT_EQ(sdf->meterCount(), 1);
    sdf->show();
    sdf->clientArea()->grab();
    const SdfControls& k = sdf->controls();
    EXPECT_EQ(k.Connect_l->text(), QString::fromUtf8("連線 192.168.1.20"));
    EXPECT_EQ(textColour(k.Connect_l), QColor(255, 0, 0));
    EXPECT_EQ(k.id_l->text(), "ID: A1B2C3D4E5F6");
    EXPECT_EQ(textColour(k.id_l), QColor(255, 0, 255));

    // With the link off the labels keep what they show.
    sdf->setLinkFlag(0);
    sdf->meterLink().handleMessage(
        sim::buildDataMessage("FFFFFFFFFFFF", "10.0.0.9", 240802, 29100, words) + "\r\n");
    sdf->clientArea()->grab();
    EXPECT_EQ(k.id_l->text(), "ID: A1B2C3D4E5F6");
}

}  // namespace
}  // namespace tev::testing
