// The main menu MainMenu1 and the quantity pop-up PopupMenu1, with the form's captions.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "window/mainwindow/tsdf.h"

namespace tev {

namespace {

QMenu* addMenu(QMenuBar* bar, const char* name, const char* caption) {
    auto* menu = new QMenu(QString::fromUtf8(caption), bar);
    menu->setObjectName(name);
    bar->addMenu(menu);
    return menu;
}

QAction* addItem(QMenu* menu, const char* name, const char* caption) {
    QAction* item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(name);
    return item;
}

}  // namespace

void Tsdf::buildMainMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    // Menus are drawn in the system's menu font; the window's own font is for its controls.
    bar->setFont(QApplication::font("QMenuBar"));
    SdfMenu& m = menu_;

    m.wifi_b = addMenu(bar, "wifi_b", "WiFi 網路      ");
    m.link_b = addItem(m.wifi_b, "link_b", "ON 連線開啟");
    m.link_b->setCheckable(true);
    m.link_b->setChecked(linkFlag_ == 1);
    m.ReadFile1 = addItem(m.wifi_b, "ReadFile1", "");
    m.ReadFile2 = addItem(m.wifi_b, "ReadFile2", "");

    m.files_b = addMenu(bar, "files_b", "Files 檔案      ");
    m.LoadData = addItem(m.files_b, "LoadData", "Load 讀取記錄");
    m.SaveData = addItem(m.files_b, "SaveData", "Save 儲存記錄");
    m.files_b->addSeparator();
    m.OutputData = addItem(m.files_b, "OutputData", "Record 記錄管理");

    m.Setting = addMenu(bar, "Setting", "Setting 設定      ");
    m.SaveEnvior = addItem(m.Setting, "SaveEnvior", "Save 儲存環境");
    m.LoadEnvior = addItem(m.Setting, "LoadEnvior", ".");
    m.Setting->addSeparator();
    m.N220V = addItem(m.Setting, "N220V", "220V 電壓校正");
    m.N220V->setEnabled(false);
    m.N380V = addItem(m.Setting, "N380V", "380V 電壓校正");
    m.N380V->setEnabled(false);
    m.Setting->addSeparator();
    m.TSet = addItem(m.Setting, "TSet", "TSet 總電量設定");
    m.ResetAll = addItem(m.Setting, "ResetAll", "Reset 還原初始");

    m.Lang = addMenu(bar, "Lang", "Lang 語言      ");
    m.English = addItem(m.Lang, "English", "English 英文");
    m.English->setCheckable(true);
    m.Taiwan = addItem(m.Lang, "Taiwan", "Taiwan 中文");
    m.Taiwan->setCheckable(true);
    m.Taiwan->setEnabled(false);
    m.Nippon = addItem(m.Lang, "Nippon", "Nippon 日文");
    m.Nippon->setEnabled(false);
    m.Lang->addSeparator();
    m.bilingual = addItem(m.Lang, "bilingual", "Bilingual 中英文");
    m.bilingual->setCheckable(true);
    m.bilingual->setChecked(true);

    m.Help = addMenu(bar, "Help", "Help 說明      ");
    m.Manual_b = addItem(m.Help, "Manual_b", "Manual 使用說明");
    m.Help->addSeparator();
    m.About_b = addItem(m.Help, "About_b", "About 關於產品");

    // Check marks change only through the commands, never by the menu's own toggling.
    for (QAction* item : {m.link_b, m.English, m.Taiwan, m.bilingual}) {
        connect(item, &QAction::triggered, item,
                [item](bool toggledTo) { item->setChecked(!toggledTo); });
    }
    connect(m.link_b, &QAction::triggered, this, &Tsdf::link_bClick);
    connect(m.LoadData, &QAction::triggered, this, &Tsdf::LoadDataClick);
    connect(m.SaveData, &QAction::triggered, this, &Tsdf::SaveDataClick);
    connect(m.OutputData, &QAction::triggered, this, &Tsdf::OutputDataClick);
    connect(m.SaveEnvior, &QAction::triggered, this, &Tsdf::SaveEnviorClick);
    connect(m.LoadEnvior, &QAction::triggered, this, &Tsdf::LoadEnviorClick);
    connect(m.N220V, &QAction::triggered, this, &Tsdf::N220VClick);
    connect(m.N380V, &QAction::triggered, this, &Tsdf::N380VClick);
    connect(m.TSet, &QAction::triggered, this, &Tsdf::TSetClick);
    connect(m.ResetAll, &QAction::triggered, this, &Tsdf::ResetAllClick);
    connect(m.English, &QAction::triggered, this, &Tsdf::EnglishClick);
    connect(m.Taiwan, &QAction::triggered, this, &Tsdf::TaiwanClick);
    connect(m.bilingual, &QAction::triggered, this, &Tsdf::bilingualClick);
    connect(m.Manual_b, &QAction::triggered, this, &Tsdf::Manual_bClick);
    connect(m.About_b, &QAction::triggered, this, &Tsdf::About_bClick);
}

void Tsdf::buildPopupMenu() {
    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenu1");
    for (const QuantityItem& item : quantityItems()) {
        if (auto separator = separatorBefore(item.quantity)) {
            QAction* line = popup_->addSeparator();
            line->setObjectName(QString::fromUtf8(separator->data(), separator->size()));
        }
        QAction* action =
            popup_->addAction(QString::fromUtf8(item.formCaption.data(), item.formCaption.size()));
        action->setObjectName(QString::fromUtf8(item.name.data(), item.name.size()));
        connect(action, &QAction::triggered, this, [this, &item] { quantityItemClick(item); });
    }
}

}  // namespace tev
