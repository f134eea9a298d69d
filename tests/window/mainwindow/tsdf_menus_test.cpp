#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "tests/window/mainwindow/tsdf_fixture.h"

namespace tev::testing {
namespace {

struct ExpectedItem {
    const char* name;  // empty for a separator
    const char* caption;
    bool enabled = true;
    bool checked = false;
};

void expectItems(const QMenu* menu, std::initializer_list<ExpectedItem> expected) {
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    int i = 0;
    for (const ExpectedItem& e : expected) {
        QAction* a = actions[i++];
        SCOPED_TRACE(menu->objectName().toStdString() + " item " + std::to_string(i));
        if (*e.name == '\0') {
            EXPECT_TRUE(a->isSeparator());
            continue;
        }
        EXPECT_FALSE(a->isSeparator());
        EXPECT_EQ(a->objectName(), e.name);
        EXPECT_EQ(a->text(), QString::fromUtf8(e.caption));
        EXPECT_EQ(a->isEnabled(), e.enabled);
        EXPECT_EQ(a->isChecked(), e.checked);
    }
}

TEST_F(TsdfTest, MainMenuHoldsFiveMenusWithTheFormCaptionsInOrder) {
    QMenuBar* bar = sdf->menuBar();
    EXPECT_EQ(bar->objectName(), "MainMenu1");
    const QList<QAction*> menus = bar->actions();
    ASSERT_EQ(menus.size(), 5);
    const char* names[] = {"wifi_b", "files_b", "Setting", "Lang", "Help"};
    const char* captions[] = {"WiFi 網路      ", "Files 檔案      ", "Setting 設定      ",
                              "Lang 語言      ", "Help 說明      "};
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(menus[i]->menu(), nullptr);
        EXPECT_EQ(menus[i]->menu()->objectName(), names[i]);
        EXPECT_EQ(menus[i]->text(), QString::fromUtf8(captions[i]));
    }

    const SdfMenu& m = sdf->mainMenu();
    expectItems(m.wifi_b,
                {{"link_b", "ON 連線開啟", true, true}, {"ReadFile1", ""}, {"ReadFile2", ""}});
    expectItems(m.files_b, {{"LoadData", "Load 讀取記錄"},
                            {"SaveData", "Save 儲存記錄"},
                            {"", ""},
                            {"OutputData", "Record 記錄管理"}});
    expectItems(m.Setting, {{"SaveEnvior", "Save 儲存環境"},
                            {"LoadEnvior", "."},
                            {"", ""},
                            {"N220V", "220V 電壓校正", false},
                            {"N380V", "380V 電壓校正", false},
                            {"", ""},
                            {"TSet", "TSet 總電量設定"},
                            {"ResetAll", "Reset 還原初始"}});
    expectItems(m.Lang, {{"English", "English 英文"},
                         {"Taiwan", "Taiwan 中文", false},
                         {"Nippon", "Nippon 日文", false},
                         {"", ""},
                         {"bilingual", "Bilingual 中英文", true, true}});
    expectItems(m.Help, {{"Manual_b", "Manual 使用說明"}, {"", ""}, {"About_b", "About 關於產品"}});
}

TEST_F(TsdfTest, MenusUseTheSystemMenuFontNotTheFormFont) {
    EXPECT_EQ(sdf->font().family(), "MS Serif");
    QMenuBar* bar = sdf->menuBar();
    EXPECT_NE(bar->font().family(), "MS Serif");
    EXPECT_EQ(bar->font().family(), QApplication::font("QMenuBar").family());
    EXPECT_NE(sdf->mainMenu().wifi_b->font().family(), "MS Serif");
    EXPECT_NE(sdf->popupMenu()->font().family(), "MS Serif");
}

TEST_F(TsdfTest, CheckMarksChangeOnlyThroughTheirCommandsAndTheLinkFlag) {
    const SdfMenu& m = sdf->mainMenu();
    m.bilingual->trigger();
    EXPECT_TRUE(m.bilingual->isChecked());
    m.English->trigger();
    EXPECT_TRUE(m.link_b->isChecked());
    EXPECT_FALSE(m.bilingual->isChecked());
    EXPECT_TRUE(m.English->isChecked());

    sdf->setLinkFlag(0);
    EXPECT_FALSE(m.link_b->isChecked());
    sdf->setLinkFlag(1);
    EXPECT_TRUE(m.link_b->isChecked());
}

TEST_F(TsdfTest, QuantityPopupListsSixteenItemsWithSeparatorsInOrder) {
    QMenu* popup = sdf->popupMenu();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->objectName(), "PopupMenu1");
    expectItems(popup, {{"None_b", "None 無顯示"},
                        {"", ""},
                        {"V1_b", "V1 電壓"},
                        {"V2_b", "V2 電壓"},
                        {"V3_b", "V3 電壓"},
                        {"", ""},
                        {"Amp_b", "Amp 總電流"},
                        {"A1_b", "L1 Amp 電流"},
                        {"A2_b", "L2 Amp 電流"},
                        {"A3_b", "L3 Amp 電流"},
                        {"", ""},
                        {"Watt_b", "Watt 總功率"},
                        {"W1_b", "L1 Watt 功率"},
                        {"W2_b", "L2 Watt 功率"},
                        {"W3_b", "L3 Watt 功率"},
                        {"", ""},
                        {"KWh_b", "kWh 總電量"},
                        {"K1_b", "L1 KWh 電量"},
                        {"K2_b", "L2 KWh 電量"},
                        {"K3_b", "L3 KWh 電量"}});
    const QList<QAction*> actions = popup->actions();
    EXPECT_EQ(actions[1]->objectName(), "N3");
    EXPECT_EQ(actions[5]->objectName(), "N4");
    EXPECT_EQ(actions[10]->objectName(), "N6");
    EXPECT_EQ(actions[15]->objectName(), "N5");
}

}  // namespace
}  // namespace tev::testing
