#include "persistence/file_messages.h"

namespace tev {

std::string recordsCountLine(const MeasurementStore& store) {
    static constexpr std::string_view kNames[kScaleCount] = {
        "< Min= ", "  5-Min= ", "  10-Min= ", "  Hour= ", "  Day= ", "  Week= ", "  Month= "};
    std::string line;
    for (int i = 0; i < kScaleCount; ++i) {
        line += kNames[i];
        line += std::to_string(store.tableAt(i).cnt);
    }
    line += " > ";
    return line;
}

std::string loadDataPathLine(std::string_view path) {
    return " Load TEV3P records <" + std::string(path) + "> 讀取記錄 OK !";
}

std::string saveDataPathLine(std::string_view path) {
    return " Save TEV3P records <" + std::string(path) + "> 記錄儲存 OK !";
}

std::string exportDashLine() {
    return std::string(71, '-');
}

std::string exportDoneLine(int meterCount) {
    return "Save HOQ-250 AC3P records= " + std::to_string(meterCount) + "  OK !";
}

std::string failText(std::string_view okText, std::string_view reason) {
    constexpr std::string_view kOk = "OK !";
    std::string text(okText);
    const std::size_t at = text.rfind(kOk);
    const std::string failure = "fail: " + std::string(reason) + " !";
    if (at == std::string::npos) return text + " " + failure;
    return text.substr(0, at) + failure + text.substr(at + kOk.size());
}

}  // namespace tev
