#include "core/chart/connection_labels.h"

namespace tev {

namespace {
constexpr std::string_view kEnglishConnected = "HOQ: ";
constexpr std::string_view kBilingualConnected = "連線 ";
constexpr std::string_view kIdPrefix = "ID: ";
}  // namespace

ConnectionLabels connectionLabels(const PaintContext& ctx) {
    ConnectionLabels labels;
    if (ctx.meterCount <= 0 || !ctx.linkOn || ctx.currentIp.empty()) return labels;
    labels.update = true;
    labels.connectColour = kConnectedCaptionColour;
    if (ctx.language == LanguageMode::English) {
        labels.connectCaptionChanged = true;
        labels.connectCaption = std::string(kEnglishConnected) + std::string(ctx.currentIp);
    } else if (ctx.language == LanguageMode::Bilingual) {
        labels.connectCaptionChanged = true;
        labels.connectCaption = std::string(kBilingualConnected) + std::string(ctx.currentIp);
    }
    labels.idColour = kConnectedIdColour;
    labels.idCaption = std::string(kIdPrefix) + std::string(ctx.currentId);
    return labels;
}

}  // namespace tev
