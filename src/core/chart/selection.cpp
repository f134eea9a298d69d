#include "core/chart/selection.h"

namespace tev {

namespace {

constexpr std::array<QuantityItem, kQuantityItemCount> kQuantityItems = {{
    {"None_b", "None 無顯示", "None ", Quantity::None, "None", "None"},
    {"V1_b", "V1 電壓", "VAC1 ", Quantity::V1, "VAC1", "V1 AC 電壓"},
    {"V2_b", "V2 電壓", "VAC2 ", Quantity::V2, "VAC2", "V2 AC 電壓"},
    {"V3_b", "V3 電壓", "VAC3 ", Quantity::V3, "VAC3", "V3 AC 電壓"},
    {"Amp_b", "Amp 總電流", "Amp 3P", Quantity::Amp, "AMP 3P", "AMP 總電流"},
    {"A1_b", "L1 Amp 電流", "L1 Amp", Quantity::A1, "L1 Amp", "L1 Amp 電流"},
    {"A2_b", "L2 Amp 電流", "L2 Amp", Quantity::A2, "L2 Amp", "L2 Amp 電流"},
    {"A3_b", "L3 Amp 電流", "L3 Amp", Quantity::A3, "L3 Amp", "L3 Amp 電流"},
    {"Watt_b", "Watt 總功率", "Watts 3P", Quantity::Watt, "Watt 3P", "Watt 總功率"},
    {"W1_b", "L1 Watt 功率", "L1 Watt ", Quantity::W1, "L1 Watt", "L1 Watt 功率"},
    {"W2_b", "L2 Watt 功率", "L2 Watt ", Quantity::W2, "L2 Watt", "L2 Watt 功率"},
    {"W3_b", "L3 Watt 功率", "L3 Watt ", Quantity::W3, "L3 Watt", "L3 Watt 功率"},
    {"KWh_b", "kWh 總電量", "kWh 3P", Quantity::KWh, "KWh 3P", "KWh 總電量"},
    {"K1_b", "L1 KWh 電量", "L1 KWh ", Quantity::K1, "L1 KWh", "L1 KWh 電量"},
    {"K2_b", "L2 KWh 電量", "L2 KWh ", Quantity::K2, "L2 KWh", "L2 KWh 電量"},
    {"K3_b", "L3 KWh 電量", "L3 KWh ", Quantity::K3, "L3 KWh", "L3 KWh 電量"},
}};

bool isValidChannel(int channel) {
    return channel == 1 || channel == 2;
}

// Shows `scale` on `target` with the span remembered for that scale.
void applyScale(ChartChannel& target, TimeScale scale) {
    target.timeScale = scale;
    target.span = target.spanPerScale[scaleIndex(scale)];
}

}  // namespace

const std::array<QuantityItem, kQuantityItemCount>& quantityItems() {
    return kQuantityItems;
}

const QuantityItem& quantityItem(Quantity quantity) {
    const int index = static_cast<int>(quantity);
    return kQuantityItems[index >= 0 && index < kQuantityItemCount ? index : 0];
}

std::optional<std::string_view> separatorBefore(Quantity quantity) {
    switch (quantity) {
        case Quantity::V1:
            return "N3";
        case Quantity::Amp:
            return "N4";
        case Quantity::Watt:
            return "N6";
        case Quantity::KWh:
            return "N5";
        default:
            return std::nullopt;
    }
}

int quantityTargetChannel(int x, int y) {
    if (x <= kPopupMinX) return 0;
    if (y < kPopupCh1BelowY) return 1;
    if (y >= kPopupCh2FirstY && y <= kPopupCh2LastY) return 2;
    return 0;
}

SelectionOutcome chooseQuantity(ViewState& view, LanguageMode mode, const QuantityItem& item) {
    const int target = quantityTargetChannel(view.lastClickX, view.lastClickY);
    if (target == 0) return {};
    ChartChannel& channel = view.channel(target);
    if (item.quantity == Quantity::None) {
        channel.title = std::string(item.englishTitle);
    } else if (auto title = pickText(mode, item.englishTitle, item.bilingualTitle)) {
        channel.title = std::move(*title);
    }
    channel.quantity = item.quantity;

    SelectionOutcome outcome;
    outcome.repaint = true;
    outcome.tone = kQuantityChosenTone;
    return outcome;
}

SelectionOutcome chooseTimeScale(ViewState& view, int channel, TimeScale scale) {
    if (!isValidChannel(channel) || !isValidScale(static_cast<int>(scale))) return {};
    SelectionOutcome outcome;
    outcome.tone = kScaleChosenTone;
    outcome.toneBeforeRepaint = true;
    applyScale(view.channel(channel), scale);
    outcome.recolourScaleLabels[channel - 1] = true;
    if (view.syncChannels) {
        const int other = channel == 1 ? 2 : 1;
        applyScale(view.channel(other), scale);
        outcome.recolourScaleLabels[other - 1] = true;
    }
    outcome.repaint = true;
    return outcome;
}

SelectionOutcome toggleSync(ViewState& view) {
    view.syncChannels = !view.syncChannels;
    SelectionOutcome outcome;
    outcome.tone = view.syncChannels ? kSyncOnTone : kSyncOffTone;
    outcome.syncCaptionColour = syncCaptionColour(view);
    return outcome;
}

Rgb scaleLabelColour(const ChartChannel& channel, TimeScale scale) {
    return channel.timeScale == scale ? kChosenScaleColour : kOtherScaleColour;
}

Rgb syncCaptionColour(const ViewState& view) {
    return view.syncChannels ? kSyncOnColour : kSyncOffColour;
}

}  // namespace tev
