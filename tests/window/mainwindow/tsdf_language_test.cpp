#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <map>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

class TsdfLanguageTest : public TsdfTest {
  protected:
    // Every text the language commands may touch, by control name.
    std::map<QString, QString> captions() const {
        std::map<QString, QString> all;
        all["sdf"] = sdf->windowTitle();
        for (QMenu* menu : sdf->menuBar()->findChildren<QMenu*>())
            all[menu->objectName()] = menu->title();
        for (QAction* item : sdf->menuBar()->findChildren<QAction*>())
            if (!item->objectName().isEmpty()) all[item->objectName()] = item->text();
        for (QAction* item : sdf->popupMenu()->actions())
            if (!item->objectName().isEmpty()) all["popup " + item->objectName()] = item->text();
        const SdfControls& k = sdf->controls();
        all["copy_b"] = k.copy_b->text();
        all["Syn_CH"] = k.Syn_CH->text();
        all["Label1"] = k.Label1->text();
        all["Date_lb"] = k.Date_lb->text();
        for (int i = 0; i < kScaleCount; ++i) {
            all[k.ch1Scales[i]->objectName()] = k.ch1Scales[i]->text();
            all[k.ch2Scales[i]->objectName()] = k.ch2Scales[i]->text();
        }
        all["title 1"] = QString::fromStdString(sdf->view().channel(1).title);
        all["title 2"] = QString::fromStdString(sdf->view().channel(2).title);
        return all;
    }
    QString text(const char* name) const { return captions().at(name); }
    QAction* item(QAction* SdfMenu::*member) const { return sdf->mainMenu().*member; }
    void showQuantities(Quantity ch1, Quantity ch2) {
        sdf->view().channel(1).quantity = ch1;
        sdf->view().channel(2).quantity = ch2;
    }
};

TEST_F(TsdfLanguageTest, StartUpAppliesTheStoredLanguageToTheWindowCaption) {
    // No settings file: the start-up's settings load runs the bilingual command.
    EXPECT_EQ(sdf->windowTitle(),
              QString::fromUtf8("TEV3P  工業三相電力監控器       Ver: 1.03     Aug / 2 / 2024    "
                                "更新 :  Sep / 5 / 2024  "));
    EXPECT_TRUE(item(&SdfMenu::bilingual)->isChecked());
    EXPECT_FALSE(item(&SdfMenu::Taiwan)->isEnabled());
    EXPECT_FALSE(item(&SdfMenu::Nippon)->isEnabled());
}

TEST_F(TsdfLanguageTest, EnglishCommandWritesEveryEnglishCaption) {
    showQuantities(Quantity::V1, Quantity::V1);
    const int repaints = sdf->repaintRequestCount();
    item(&SdfMenu::English)->trigger();

    EXPECT_EQ(sdf->languageMode(), LanguageMode::English);
    EXPECT_EQ(sdf->repaintRequestCount(), repaints + 1);
    EXPECT_TRUE(item(&SdfMenu::English)->isChecked());
    EXPECT_FALSE(item(&SdfMenu::Taiwan)->isChecked());
    EXPECT_FALSE(item(&SdfMenu::bilingual)->isChecked());

    const std::map<QString, QString> expected = {
        {"sdf",
         "TEV3P  Power Monitor     Ver: 1.03     Aug / 2 / 2024    Update :  Sep / 5 / 2024  "},
        {"wifi_b", "WiFi Link      "},
        {"link_b", "ON Connected"},
        {"files_b", "Files Data      "},
        {"LoadData", "Load Records"},
        {"SaveData", "Save Records"},
        {"OutputData", "Data Records"},
        {"Setting", "Setting      "},
        {"SaveEnvior", "Save Environ"},
        {"LoadEnvior", "."},
        {"N220V", "220V Correction"},
        {"N380V", "380V Correction"},
        {"TSet", "TSet Total KWh Set"},
        {"ResetAll", "Reset Original"},
        {"Lang", "Language      "},
        {"English", "English"},
        {"Taiwan", "Taiwan"},
        {"Nippon", "Nippon"},
        {"bilingual", "Bilingual Eng/Twn"},
        {"Help", "Help Content     "},
        {"Manual_b", "Operation Manual"},
        {"About_b", "About TEV"},
        {"copy_b", "COPY"},
        {"Syn_CH", "SYNC"},
        {"Label1", "TEV System LOG"},
        {"Date_lb", "2024 / 8 / 2"},
        {"L10", "1-MIN "},
        {"L11", "5-MIN "},
        {"L12", "10-MIN "},
        {"L13", "HOUR "},
        {"L14", "DAY "},
        {"L15", "WEEK  "},
        {"L16", "MONTH  "},
        {"L25", "WEEK  "},
        {"L26", "MONTH  "},
        {"title 1", "VAC1 "},
        {"title 2", "VAC1"},
    };
    const std::map<QString, QString> shown = captions();
    for (const auto& [name, caption] : expected)
        EXPECT_EQ(shown.at(name), caption) << name.toStdString();
}

TEST_F(TsdfLanguageTest, BilingualAfterEnglishRestoresEveryCaptionOfTheForm) {
    showQuantities(Quantity::Amp, Quantity::KWh);
    const std::map<QString, QString> form = captions();
    sdf->EnglishClick();
    EXPECT_EQ(text("title 1"), "Amp 3P");
    EXPECT_EQ(text("title 2"), "KWh 3P");
    sdf->bilingualClick();

    std::map<QString, QString> restored = captions();
    EXPECT_EQ(restored["sdf"],
              QString::fromUtf8("TEV3P  工業三相電力監控器       Ver: 1.03     Aug / "
                                "2 / 2024    更新 :  Sep / 5 / 2024  "));
    EXPECT_EQ(restored["title 1"], QString::fromUtf8("Amp 總電流"));
    EXPECT_EQ(restored["title 2"], QString::fromUtf8("KWh 總電量"));
    EXPECT_EQ(restored["Date_lb"], QString::fromUtf8("2024年 8月 2日      "));
    for (const char* name : {"sdf", "title 1", "title 2"}) {
        restored.erase(name);
    }
    std::map<QString, QString> original = form;
    for (const char* name : {"sdf", "title 1", "title 2"}) original.erase(name);
    EXPECT_EQ(restored, original);
    EXPECT_TRUE(item(&SdfMenu::bilingual)->isChecked());
    EXPECT_FALSE(item(&SdfMenu::English)->isChecked());
}

TEST_F(TsdfLanguageTest, EnglishLeavesThePopupBilingualAndItsChoiceUsesThePopupTitles) {
    sdf->EnglishClick();
    QAction* amp = sdf->popupMenu()->findChild<QAction*>("Amp_b");
    EXPECT_EQ(amp->text(), QString::fromUtf8("Amp 總電流"));
    sdf->show();
    QTest::mousePress(sdf->clientArea(), Qt::RightButton, {}, QPoint(600, 120));
    amp->trigger();
    sdf->popupMenu()->hide();
    EXPECT_EQ(sdf->view().channel(1).title, "AMP 3P");
    sdf->EnglishClick();
    EXPECT_EQ(sdf->view().channel(1).title, "Amp 3P");
}

TEST_F(TsdfLanguageTest, ChineseCommandKeepsTheFixedTextsLabelsAndTitles) {
    showQuantities(Quantity::Watt, Quantity::None);
    sdf->EnglishClick();
    sdf->view().channel(2).title = "kept";
    const std::map<QString, QString> english = captions();
    sdf->TaiwanClick();

    EXPECT_EQ(sdf->languageMode(), LanguageMode::Chinese);
    EXPECT_TRUE(item(&SdfMenu::Taiwan)->isChecked());
    EXPECT_FALSE(item(&SdfMenu::English)->isChecked());
    EXPECT_FALSE(item(&SdfMenu::bilingual)->isChecked());
    EXPECT_EQ(text("Nippon"), QString::fromUtf8("Nippon 日文 "));
    EXPECT_EQ(text("link_b"), QString::fromUtf8("ON 連線開啟"));
    EXPECT_EQ(text("Date_lb"), QString::fromUtf8("2024年 8月 2日      "));
    for (const char* kept :
         {"copy_b", "Syn_CH", "Label1", "L10", "L15", "L26", "title 1", "title 2", "LoadEnvior"})
        EXPECT_EQ(text(kept), english.at(kept)) << kept;
    EXPECT_EQ(text("title 1"), "Watt 3P");

    // A None channel's title stays as it was in every mode.
    sdf->bilingualClick();
    EXPECT_EQ(text("title 2"), "kept");
    EXPECT_EQ(text("Nippon"), QString::fromUtf8("Nippon 日文"));
}

TEST_F(TsdfLanguageTest, MenuCannotChooseTaiwanOrNippon) {
    const QString caption = sdf->windowTitle();
    item(&SdfMenu::Taiwan)->trigger();
    item(&SdfMenu::Nippon)->trigger();
    EXPECT_EQ(sdf->languageMode(), LanguageMode::Bilingual);
    EXPECT_EQ(sdf->windowTitle(), caption);
    EXPECT_TRUE(item(&SdfMenu::bilingual)->isChecked());
}

}  // namespace
}  // namespace tev::testing
