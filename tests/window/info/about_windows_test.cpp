#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest/QTest>

#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"
#include "window/info/info_windows.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

QColor colourOf(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

struct ExpectedLabel {
    const char* name;
    QRect geometry;
    const char* caption;
    QColor colour;
};

class AboutWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApplication();
        windows = createInfoWindows(tones, [this] { ++pagesOpened; });
    }

    void expectLabels(const QWidget& window, std::initializer_list<ExpectedLabel> expected) {
        for (const ExpectedLabel& e : expected) {
            SCOPED_TRACE(e.name);
            auto* label = window.findChild<QLabel*>(e.name);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->pos(), e.geometry.topLeft());
            EXPECT_EQ(label->height(), e.geometry.height());
            EXPECT_GE(label->width(), e.geometry.width());
            EXPECT_EQ(label->text(), QString::fromUtf8(e.caption));
            // Never cut: a wider substitute font widens the label.
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text().trimmed()),
                      label->width());
            EXPECT_EQ(colourOf(label), e.colour);
            EXPECT_EQ(label->font().family(), QString::fromUtf8("微軟正黑體"));
            EXPECT_EQ(label->font().pixelSize(), 15);
        }
    }

    RecordingToneSink tones;
    int pagesOpened = 0;
    InfoWindows windows;
};

const QColor kWhite(255, 255, 255);
const QColor kSilver(192, 192, 192);
const QColor kAqua(0, 255, 255);
const QColor kBlue(0, 0, 255);
const std::string kRule(66, '-');

TEST_F(AboutWindowsTest, InformationWindowsAreCreatedHiddenWithTheirFormNames) {
    ASSERT_TRUE(windows.About && windows.About2 && windows.menu);
    EXPECT_EQ(windows.About->objectName(), "About");
    EXPECT_EQ(windows.About2->objectName(), "About2");
    EXPECT_EQ(windows.menu->objectName(), "menu");
    for (QWidget* w :
         {static_cast<QWidget*>(windows.About.get()), static_cast<QWidget*>(windows.About2.get()),
          static_cast<QWidget*>(windows.menu.get())}) {
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
        EXPECT_TRUE(w->isWindow());
        // None of them keeps the program running once the main window has closed.
        EXPECT_FALSE(w->testAttribute(Qt::WA_QuitOnClose));
    }
    EXPECT_TRUE(tones.tones.empty());
}

TEST_F(AboutWindowsTest, BilingualAboutWindowHasItsFormLayoutAndStartsMinimised) {
    const TAbout& w = *windows.About;
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("About 關於本系統"));
    EXPECT_EQ(w.size(), QSize(684, 561));
    EXPECT_EQ(w.pos(), QPoint(500, 300));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(46, 46, 46));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    expectLabels(
        w, {
               {"Label1", {5, 4, 281, 19}, "HOQ-260 / TEV 3P 工業三相電力監測器  ", kWhite},
               {"Label5", {5, 20, 396, 19}, kRule.c_str(), kSilver},
               {"Label4", {5, 36, 270, 19}, "Windows PC 電腦版  Ver:  1.0   2024.8  ", kSilver},
               {"Label3", {5, 103, 202, 19}, "Website 官網 :  manual.html  ", kAqua},
           });
    auto* maker = w.findChild<QLabel*>("Label2");
    ASSERT_NE(maker, nullptr);
    EXPECT_EQ(maker->pos(), QPoint(5, 124));
    EXPECT_TRUE(maker->text().contains("TEV3P Power Monitor project"));
    EXPECT_EQ(colourOf(maker), kSilver);
    EXPECT_TRUE(w.controls().Label3->font().underline());
    EXPECT_EQ(w.controls().Image1->geometry(), QRect(6, 151, 505, 409));

    QToolButton* close = w.controls().SpeedButton1;
    EXPECT_EQ(close->geometry(), QRect(544, 530, 97, 22));
    EXPECT_EQ(close->text(), QString::fromUtf8("CLOSE 離開"));
    EXPECT_EQ(close->font().family(), "Arial");
    EXPECT_EQ(close->font().pixelSize(), 11);
    EXPECT_EQ(close->palette().color(QPalette::ButtonText), kBlue);
    QToolButton* go = w.controls().SpeedButton2;
    EXPECT_EQ(go->geometry(), QRect(219, 106, 55, 16));
    EXPECT_EQ(go->text(), "GO");
    EXPECT_EQ(go->font().family(), "MS Sans Serif");
    EXPECT_TRUE(go->font().bold());
    EXPECT_EQ(go->palette().color(QPalette::ButtonText), kBlue);

    EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
    windows.About->show();
    EXPECT_TRUE(windows.About->isMinimized());
}

TEST_F(AboutWindowsTest, EnglishAboutWindowHasItsFormLayoutAndStartsNormal) {
    const TAbout2& w = *windows.About2;
    EXPECT_EQ(w.windowTitle(), "About TEV Power Monitor");
    EXPECT_EQ(w.size(), QSize(664, 551));
    EXPECT_EQ(w.pos(), QPoint(500, 300));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(46, 46, 46));
    expectLabels(w,
                 {
                     {"Label1", {5, 4, 280, 19}, "HOQ-260 / TEV 3-Phase Power Monitor", kWhite},
                     {"Label5", {5, 20, 396, 19}, kRule.c_str(), kSilver},
                     {"Label4", {5, 36, 246, 19}, "Windows PC Version:  1.0   2024.8  ", kSilver},
                     {"Label3", {5, 103, 202, 19}, "Website Visit :  manual.html  ", kAqua},
                     {"Label2", {5, 124, 237, 19}, "TEV3P Power Monitor project", kSilver},
                 });
    EXPECT_EQ(w.controls().Image1->geometry(), QRect(6, 151, 505, 395));
    // The page address stays clear of the GO button.
    EXPECT_LE(w.controls().Label3->geometry().right(), w.controls().SpeedButton2->x());
    EXPECT_EQ(w.controls().SpeedButton1->geometry(), QRect(544, 515, 97, 22));
    EXPECT_EQ(w.controls().SpeedButton1->text(), "CLOSE");
    EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
    windows.About2->show();
    EXPECT_FALSE(windows.About2->isMinimized());
}

TEST_F(AboutWindowsTest, CloseHidesTheWindowThenBeeps) {
    for (AboutWindow* w : {static_cast<AboutWindow*>(windows.About.get()),
                           static_cast<AboutWindow*>(windows.About2.get())}) {
        tones.tones.clear();
        w->show();
        bool hiddenBeforeTone = false;
        QObject::connect(w->controls().SpeedButton1, &QToolButton::clicked, w,
                         [&] { hiddenBeforeTone = true; });
        QTest::mouseClick(w->controls().SpeedButton1, Qt::LeftButton);
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(hiddenBeforeTone);
        EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
        // Shown again, it is the same window with the same content.
        w->show();
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->controls().SpeedButton1->parent(), w);
        w->hide();
    }
    EXPECT_EQ(pagesOpened, 0);
}

TEST_F(AboutWindowsTest, WebsiteLabelAndGoButtonOpenThePageSilently) {
    AboutWindow& w = *windows.About2;
    w.show();
    QTest::mouseClick(w.controls().Label3, Qt::LeftButton);
    EXPECT_EQ(pagesOpened, 1);
    QTest::mouseClick(w.controls().SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(pagesOpened, 2);
    // A right press on the address is not a click.
    QTest::mouseClick(w.controls().Label3, Qt::RightButton);
    EXPECT_EQ(pagesOpened, 2);
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(AboutWindowsTest, ProductPictureIsDrawnNotBlank) {
    const QImage picture = windows.About->controls().Image1->pixmap().toImage();
    ASSERT_EQ(picture.size(), QSize(505, 409));
    // The meter body is a light face in the middle of a dark picture.
    EXPECT_GT(qGray(picture.pixel(150, 40)), 180);
    EXPECT_LT(qGray(picture.pixel(5, 5)), 80);
    EXPECT_EQ(windows.About2->controls().Image1->pixmap().size(), QSize(505, 395));
}

TEST_F(AboutWindowsTest, ManualWindowHoldsTheProductDescriptionInTraditionalChinese) {
    Tmenu& menu = *windows.menu;
    EXPECT_EQ(menu.windowTitle(), "Operation Manual");
    EXPECT_EQ(menu.pos(), QPoint(579, 136));
    EXPECT_EQ(menu.size(), QSize(800, 800));
    QTextBrowser* rich = menu.richEdit();
    EXPECT_EQ(rich->objectName(), "RichEdit1");
    EXPECT_EQ(rich->geometry(), QRect(8, 120, 769, 625));
    EXPECT_EQ(rich->font().family(), "MS Sans Serif");
    EXPECT_EQ(rich->font().pixelSize(), 11);
    EXPECT_TRUE(rich->isReadOnly());
    const QString text = rich->toPlainText();
    for (const char* phrase : {"AC 220–380 V", "WiFi", "TEV-3P", "CH1", "CH2", "V1、V2、V3",
                               "K1、K2、K3", "一分鐘", "十年", "HOQ-260"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(phrase))) << phrase;
    }
    EXPECT_GE(rich->document()->blockCount(), 12);
}

TEST_F(AboutWindowsTest, ManualWindowShowsAGivenManualAndItsOwnDescriptionWithoutOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("manual.html");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><body><h1>Connecting a meter</h1><p>Port 9317.</p></body></html>");
    file.close();

    Tmenu& menu = *windows.menu;
    menu.showManual(path.toStdString());
    EXPECT_TRUE(menu.isVisible());
    EXPECT_TRUE(menu.richEdit()->toPlainText().contains("Connecting a meter"));

    menu.hide();
    menu.showManual("");
    EXPECT_TRUE(menu.isVisible());
    EXPECT_TRUE(menu.richEdit()->toPlainText().contains(QString::fromUtf8("產品簡介")));
    EXPECT_TRUE(tones.tones.empty());
}

}  // namespace
}  // namespace tev::testing
