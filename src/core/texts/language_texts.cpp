#include "core/texts/language_texts.h"

namespace tev {
namespace {

using Opt = std::optional<std::string_view>;
constexpr Opt kUnchanged = std::nullopt;

constexpr std::string_view kChineseCaption =
    "TEV3P  工業三相電力監控器       Ver: 1.03     Aug / 2 / 2024    更新 :  Sep / 5 / 2024  ";

constexpr std::array<LanguageCaption, kLanguageCaptionCount> kCaptions = {{
    {"sdf", "TEV3P  Power Monitor     Ver: 1.03     Aug / 2 / 2024    Update :  Sep / 5 / 2024  ",
     kChineseCaption, kChineseCaption},
    {"wifi_b", "WiFi Link      ", "WiFi 網路      ", "WiFi 網路      "},
    {"link_b", "ON Connected", "ON 連線開啟", "ON 連線開啟"},
    {"files_b", "Files Data      ", "Files 檔案      ", "Files 檔案      "},
    {"LoadData", "Load Records", "Load 讀取記錄", "Load 讀取記錄"},
    {"SaveData", "Save Records", "Save 儲存記錄", "Save 儲存記錄"},
    {"OutputData", "Data Records", "Record 記錄管理", "Record 記錄管理"},
    {"Setting", "Setting      ", "Setting 設定      ", "Setting 設定      "},
    {"SaveEnvior", "Save Environ", "Save 儲存環境", "Save 儲存環境"},
    {"N220V", "220V Correction", "220V 電壓校正", "220V 電壓校正"},
    {"N380V", "380V Correction", "380V 電壓校正", "380V 電壓校正"},
    {"TSet", "TSet Total KWh Set", "TSet 總電量設定", "TSet 總電量設定"},
    {"ResetAll", "Reset Original", "Reset 還原初始", "Reset 還原初始"},
    {"Lang", "Language      ", "Lang 語言      ", "Lang 語言      "},
    {"English", "English", "English 英文", "English 英文"},
    {"Taiwan", "Taiwan", "Taiwan 中文", "Taiwan 中文"},
    {"Nippon", "Nippon", "Nippon 日文 ", "Nippon 日文"},
    {"bilingual", "Bilingual Eng/Twn", "Bilingual 中英文", "Bilingual 中英文"},
    {"Help", "Help Content     ", "Help 說明      ", "Help 說明      "},
    {"Manual_b", "Operation Manual", "Manual 使用說明", "Manual 使用說明"},
    {"About_b", "About TEV", "About 關於產品", "About 關於產品"},
    {"copy_b", "COPY", kUnchanged, "複製"},
    {"Syn_CH", "SYNC", kUnchanged, "CH同步"},
    {"Label1", "TEV System LOG", kUnchanged, "TEV System LOG  工作記錄"},
}};

constexpr std::array<std::string_view, kScaleCount> kCommandEnglishScale = {
    "1-MIN ", "5-MIN ", "10-MIN ", "HOUR ", "DAY ", "WEEK  ", "MONTH  "};
constexpr std::array<std::string_view, kScaleCount> kLoaderEnglishScale = {
    "1-MIN ", "5-MIN ", "10-MIN ", "HOUR ", "DAY ", "WEEK ", "MONTH "};
constexpr std::array<std::string_view, kScaleCount> kBilingualScale = {
    "Min 一分鐘", "5Min 五分", "10Min 十分", "Hour 小時", "Day 日 ", "Week 周 ", "Month 月 "};

struct QuantityTexts {
    std::string_view popupEnglish;
    std::string_view popupBilingual;
    std::string_view ch1English;
    std::string_view ch2English;
    std::string_view titleBilingual;
};

constexpr std::array<QuantityTexts, kQuantityCount + 1> kQuantityTexts = {{
    {"None ", "None 無顯示", "", "", ""},
    {"VAC1 ", "V1 電壓", "VAC1 ", "VAC1", "V1 AC 電壓"},
    {"VAC2 ", "V2 電壓", "VAC2 ", "VAC2", "V2 AC 電壓"},
    {"VAC3 ", "V3 電壓", "VAC3 ", "VAC3", "V3 AC 電壓"},
    {"Amp 3P", "Amp 總電流", "Amp 3P", "Amp 3P", "Amp 總電流"},
    {"L1 Amp", "L1 Amp 電流", "L1 Amp", "L1 Amp", "L1 Amp 電流"},
    {"L2 Amp", "L2 Amp 電流", "L2 Amp", "L2 Amp", "L2 Amp 電流"},
    {"L3 Amp", "L3 Amp 電流", "L3 Amp", "L3 Amp", "L3 Amp 電流"},
    {"Watts 3P", "Watt 總功率", "Watt 3P", "Watt 3P", "Watt 總功率"},
    {"L1 Watt ", "L1 Watt 功率", "L1 Watt", "L1 Watt", "L1 Watt 功率"},
    {"L2 Watt ", "L2 Watt 功率", "L2 Watt", "L2 Watt", "L2 Watt 功率"},
    {"L3 Watt ", "L3 Watt 功率", "L3 Watt", "L3 Watt", "L3 Watt 功率"},
    {"kWh 3P", "kWh 總電量", "KWh 3P", "KWh 3P", "KWh 總電量"},
    {"L1 KWh ", "L1 KWh 電量", "L1 KWh", "L1 KWh", "L1 KWh 電量"},
    {"L2 KWh ", "L2 KWh 電量", "L2 KWh", "L2 KWh", "L2 KWh 電量"},
    {"L3 KWh ", "L3 KWh 電量", "L3 KWh", "L3 KWh", "L3 KWh 電量"},
}};

bool validScale(TimeScale scale) {
    return isValidScale(static_cast<int>(scale));
}

const QuantityTexts* quantityTexts(Quantity quantity) {
    const int index = static_cast<int>(quantity);
    if (index < 0 || index > kQuantityCount) return nullptr;
    return &kQuantityTexts[index];
}

}  // namespace

const std::array<LanguageCaption, kLanguageCaptionCount>& languageCaptions() {
    return kCaptions;
}

const LanguageCaption* languageCaption(std::string_view name) {
    for (const LanguageCaption& c : kCaptions)
        if (c.name == name) return &c;
    return nullptr;
}

std::optional<std::string_view> commandScaleLabel(LanguageMode mode, TimeScale scale) {
    if (!validScale(scale)) return std::nullopt;
    if (mode == LanguageMode::English) return kCommandEnglishScale[scaleIndex(scale)];
    if (mode == LanguageMode::Bilingual) return kBilingualScale[scaleIndex(scale)];
    return std::nullopt;
}

std::optional<std::string_view> loaderScaleLabel(LanguageMode mode, TimeScale scale) {
    if (!validScale(scale)) return std::nullopt;
    if (mode == LanguageMode::English) return kLoaderEnglishScale[scaleIndex(scale)];
    if (mode == LanguageMode::Bilingual) return kBilingualScale[scaleIndex(scale)];
    return std::nullopt;
}

std::string_view designScaleLabel(TimeScale scale) {
    return validScale(scale) ? kBilingualScale[scaleIndex(scale)] : std::string_view{};
}

std::optional<std::string_view> loaderPopupCaption(LanguageMode mode, Quantity quantity) {
    const QuantityTexts* t = quantityTexts(quantity);
    if (t == nullptr) return std::nullopt;
    if (mode == LanguageMode::English) return t->popupEnglish;
    if (mode == LanguageMode::Bilingual) return t->popupBilingual;
    return std::nullopt;
}

std::optional<std::string_view> languageChannelTitle(LanguageMode mode, int channel,
                                                     Quantity quantity) {
    const QuantityTexts* t = quantityTexts(quantity);
    if (t == nullptr || quantity == Quantity::None) return std::nullopt;
    if (mode == LanguageMode::English) return channel == 2 ? t->ch2English : t->ch1English;
    if (mode == LanguageMode::Bilingual) return t->titleBilingual;
    return std::nullopt;
}

}  // namespace tev
