#include "core/persistence/file_messages.h"

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

std::string clampedCountLine(std::string_view fileName, const ClampedCount& c) {
    return " " + std::string(fileName) + ": row count " + std::to_string(c.stored) + " of table " +
           std::to_string(static_cast<int>(c.scale)) + " is out of range, " +
           std::to_string(c.used) + " used !";
}

std::string keptAsideLine(std::string_view fileName, std::string_view problem,
                          const KeptAside& kept) {
    std::string line = " " + std::string(fileName) + " " + std::string(problem);
    if (!kept.kept())
        return line + "; keeping it aside failed: " + kept.copyError + "; " + kept.moveError + " !";
    if (kept.moved)
        return line + "; it could not be copied (" + kept.copyError + "), the file is moved to <" +
               kept.keptAs + "> !";
    return line + ", the file is kept as <" + kept.keptAs + "> !";
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
