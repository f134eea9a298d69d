#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/chart/canvas.h"
#include "core/chart/chart_channel.h"
#include "core/store/time_scale.h"
#include "core/texts/event_log.h"

namespace tev {

// A tone the shell plays for a selection command.
struct ToneRequest {
    int frequencyHz = 0;
    int durationMs = 0;
    constexpr bool operator==(const ToneRequest&) const = default;
};

inline constexpr ToneRequest kQuantityChosenTone{1400, 200};
inline constexpr ToneRequest kScaleChosenTone{1600, 150};
inline constexpr ToneRequest kSyncOnTone{1600, 300};
inline constexpr ToneRequest kSyncOffTone{1400, 300};

// Caption colours of the time-scale labels and of the coupling button Syn_CH.
inline constexpr Rgb kChosenScaleColour{0, 255, 255};
inline constexpr Rgb kOtherScaleColour{128, 128, 128};
inline constexpr Rgb kSyncOnColour{255, 0, 0};
inline constexpr Rgb kSyncOffColour{128, 128, 128};

// One item of the quantity pop-up menu: its control name, its captions and the titles it gives
// the chart channel. Separators are not items.
struct QuantityItem {
    std::string_view name;            // control name, e.g. "V1_b"
    std::string_view formCaption;     // bilingual caption the window is built with
    std::string_view englishCaption;  // caption the English settings load puts in place
    Quantity quantity = Quantity::None;
    std::string_view englishTitle;
    std::string_view bilingualTitle;
};

inline constexpr int kQuantityItemCount = kQuantityCount + 1;

// The sixteen items None_b … K3_b in menu order.
const std::array<QuantityItem, kQuantityItemCount>& quantityItems();
const QuantityItem& quantityItem(Quantity quantity);

// Names of the separators that precede the pop-up items V1_b, Amp_b, Watt_b and KWh_b.
std::optional<std::string_view> separatorBefore(Quantity quantity);

// What the shell must do after a selection command changed the view state.
struct SelectionOutcome {
    bool repaint = false;
    std::optional<ToneRequest> tone;
    bool toneBeforeRepaint = false;             // else the tone follows the repaint request
    std::array<bool, 2> recolourScaleLabels{};  // CH1, CH2
    std::optional<Rgb> syncCaptionColour;
    bool operator==(const SelectionOutcome&) const = default;
};

// Bounds of the two chart panels for the quantity pop-up (client pixels).
inline constexpr int kPopupMinX = 256;  // exclusive
inline constexpr int kPopupCh1BelowY = 270;
inline constexpr int kPopupCh2FirstY = 281;
inline constexpr int kPopupCh2LastY = 597;

// The channel (1 or 2) a pop-up choice made at the press position acts on, or 0 for none.
int quantityTargetChannel(int x, int y);

// The pop-up choice of `item`, aimed by the last press position.
SelectionOutcome chooseQuantity(ViewState& view, LanguageMode mode, const QuantityItem& item);

// A click on the time-scale label of `scale` above channel 1 or 2. A scale or channel out of
// range (a damaged settings file replays this action) changes nothing.
SelectionOutcome chooseTimeScale(ViewState& view, int channel, TimeScale scale);

// The coupling button Syn_CH.
SelectionOutcome toggleSync(ViewState& view);

// Caption colour of the time-scale label of `scale` above `channel`.
Rgb scaleLabelColour(const ChartChannel& channel, TimeScale scale);
Rgb syncCaptionColour(const ViewState& view);

}  // namespace tev
