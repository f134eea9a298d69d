#include <QTextBrowser>
#include <QToolButton>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/info/info_windows.h"

namespace tev::testing {
namespace {

// The information windows as the program wires them: hidden after the main window, in the
// order About, About2, menu, Record; Label3 and GO play the Manual command.
class InfoWindowsInMainWindowTest : public TsdfTest {
  protected:
    void SetUp() override {
        TsdfTest::SetUp();
        info = createInfoWindows(tones, [this] { sdf->Manual_bClick(); });
        Record.setObjectName("Record");
        sdf->setSecondaryWindows({info.About.get(), info.About2.get(), info.menu.get(), &Record});
    }

    InfoWindows info;
    bool applicationReady_ = (qtApplication(), true);
    QWidget Record;
};

TEST_F(InfoWindowsInMainWindowTest, AboutInBilingualModeShowsTheBilingualWindowMinimisedFirst) {
    const SecondaryWindows& w = sdf->secondaryWindows();
    EXPECT_EQ(w.About->objectName(), "About");
    EXPECT_EQ(w.About2->objectName(), "About2");
    EXPECT_EQ(w.menu->objectName(), "menu");
    EXPECT_EQ(w.Record->objectName(), "Record");
    for (QWidget* window : {w.About, w.About2, w.menu, w.Record}) EXPECT_FALSE(window->isVisible());

    sdf->About_bClick();
    EXPECT_TRUE(info.About->isVisible());
    EXPECT_TRUE(info.About->isMinimized());
    EXPECT_FALSE(info.About2->isVisible());
    // Chosen again, the window comes up instead of staying out of sight.
    sdf->About_bClick();
    EXPECT_FALSE(info.About->isMinimized());

    info.About->controls().SpeedButton1->click();
    EXPECT_FALSE(info.About->isVisible());
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}, {1600, 150}, {1600, 200}}));
}

TEST_F(InfoWindowsInMainWindowTest, GoWithoutABrowserShowsTheUserManualInTheManualWindow) {
    urls.succeed = false;
    sdf->setLanguageMode(LanguageMode::English);
    sdf->About_bClick();
    ASSERT_TRUE(info.About2->isVisible());
    info.About2->controls().SpeedButton2->click();
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_TRUE(info.menu->isVisible());
    const QString shown = info.menu->richEdit()->toPlainText();
    EXPECT_TRUE(shown.contains("User manual"));
    EXPECT_TRUE(shown.contains("9317"));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}}));
}

}  // namespace
}  // namespace tev::testing
