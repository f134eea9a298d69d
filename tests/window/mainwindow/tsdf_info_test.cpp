#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/manual_viewer.h"
#include "window/mainwindow/user_manual.h"

namespace tev::testing {
namespace {

// A manual window that keeps what it was asked to show.
class RecordingManualWindow final : public QWidget, public ManualViewer {
  public:
    void showManual(const std::string& path) override {
        shownPaths.push_back(path);
        show();
    }
    std::vector<std::string> shownPaths;
};

class TsdfInfoTest : public TsdfTest {
  protected:
    void SetUp() override {
        TsdfTest::SetUp();
        About.setObjectName("About");
        About2.setObjectName("About2");
        menu.setObjectName("menu");
        Record.setObjectName("Record");
        sdf->setSecondaryWindows({&About, &About2, &menu, &Record});
    }

    // The application has to exist before the windows below.
    bool applicationReady_ = (qtApplication(), true);
    QWidget About;
    QWidget About2;
    RecordingManualWindow menu;
    QWidget Record;
};

TEST_F(TsdfInfoTest, AboutShowsTheWindowOfTheLanguageModeAfterItsTone) {
    sdf->setLanguageMode(LanguageMode::Bilingual);
    sdf->About_bClick();
    EXPECT_TRUE(About.isVisible());
    EXPECT_FALSE(About2.isVisible());
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}}));

    About.hide();
    sdf->setLanguageMode(LanguageMode::English);
    sdf->About_bClick();
    EXPECT_TRUE(About2.isVisible());
    EXPECT_FALSE(About.isVisible());
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}, {1600, 150}}));
    EXPECT_FALSE(menu.isVisible());
    EXPECT_FALSE(Record.isVisible());
}

TEST_F(TsdfInfoTest, AboutInChineseOnlyModeSoundsItsToneAndShowsNothing) {
    sdf->setLanguageMode(LanguageMode::Chinese);
    sdf->About_bClick();
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}}));
    EXPECT_FALSE(About.isVisible());
    EXPECT_FALSE(About2.isVisible());
    EXPECT_FALSE(menu.isVisible());
}

TEST_F(TsdfInfoTest, AboutChosenAgainRestoresAWindowLeftMinimised) {
    About.setWindowState(Qt::WindowMinimized);
    sdf->About_bClick();
    EXPECT_TRUE(About.isVisible());
    EXPECT_TRUE(About.isMinimized());
    sdf->About_bClick();
    EXPECT_TRUE(About.isVisible());
    EXPECT_FALSE(About.isMinimized());
}

TEST_F(TsdfInfoTest, ManualOpensTheBundledManualsFileAddressSilently) {
    const size_t logLines = sdf->eventLog().lines().size();
    sdf->Manual_bClick();
    ASSERT_EQ(urls.opened.size(), 1u);
    const QUrl url(QString::fromStdString(urls.opened[0]));
    EXPECT_EQ(url.scheme(), "file");
    EXPECT_TRUE(url.path().endsWith("/manual.html"));
    QFile manual(url.toLocalFile());
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    EXPECT_TRUE(manual.readAll().contains("TEV3P Power Monitor"));
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_TRUE(menu.shownPaths.empty());
    EXPECT_FALSE(menu.isVisible());
    EXPECT_EQ(sdf->eventLog().lines().size(), logLines);
}

TEST_F(TsdfInfoTest, ManualFallsBackToTheManualWindowWhenNoBrowserOpensIt) {
    urls.succeed = false;
    sdf->Manual_bClick();
    ASSERT_EQ(urls.opened.size(), 1u);
    ASSERT_EQ(menu.shownPaths.size(), 1u);
    EXPECT_EQ(fileUrl(menu.shownPaths[0]), urls.opened[0]);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_TRUE(tones.tones.empty());
}

void writeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
}

TEST(UserManualTest, InstalledDataFolderComesBeforeDocsBesideTheProgram) {
    QTemporaryDir root;
    const QString bin = root.filePath("usr/bin");
    QDir().mkpath(bin);
    const QString installed = root.filePath("usr/share/tev3p/manual.html");
    const QString beside = root.filePath("usr/bin/docs/manual.html");

    const std::vector<std::string> candidates = userManualCandidates(bin.toStdString());
    ASSERT_GE(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], installed.toStdString());
    EXPECT_EQ(candidates[1], beside.toStdString());

    writeFile(beside);
    EXPECT_EQ(findUserManual(bin.toStdString()), beside.toStdString());
    writeFile(installed);
    EXPECT_EQ(findUserManual(bin.toStdString()), installed.toStdString());
}

TEST(UserManualTest, FileAddressEncodesBlanksAndChineseCharacters) {
    EXPECT_EQ(fileUrl("/usr/share/tev3p/manual.html"), "file:///usr/share/tev3p/manual.html");
    EXPECT_EQ(fileUrl("/home/a b/電力/manual.html"),
              "file:///home/a%20b/%E9%9B%BB%E5%8A%9B/manual.html");
}

}  // namespace
}  // namespace tev::testing
