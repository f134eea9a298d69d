#include "platform/qt/program_icon.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "tests/support/qt_application.h"

namespace tev {
namespace {

TEST(ProgramIcon, IsDrawnFromThePictureCompiledIntoTheProgramAtEverySizeAskedFor) {
    testing::qtApplication();
    const QIcon icon = programIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(48, 48)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));

    // The meter's face fills the middle; the rounded case leaves the corners clear.
    for (const int size : {16, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0) << size;
    }
}

}  // namespace
}  // namespace tev
