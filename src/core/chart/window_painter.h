#pragma once

#include <string>
#include <string_view>

#include "core/chart/canvas.h"
#include "core/chart/chart_channel.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"

namespace tev {

// What a paint needs to know beyond the store and the view state.
struct PaintContext {
    LanguageMode language = LanguageMode::Bilingual;
    bool linkOn = true;
    int meterCount = 0;          // MeterCount
    std::string_view currentIp;  // the meter link's current IP text
    std::string_view currentId;  // the meter link's current ID text
};

// What the paint asks of the two connection labels (Connect_l, id_l); `update` false = leave
// them as they are.
struct ConnectionLabels {
    bool update = false;
    bool connectCaptionChanged = false;
    std::string connectCaption;
    Rgb connectColour;
    std::string idCaption;
    Rgb idColour;
};

// The whole paint after the window-position copy, in order: connection texts and readings
// panel, the two channel panels with titles, data copy CH1 then CH2, plot and cursor CH1 then
// CH2, channel names, diagnostic texts.
ConnectionLabels paintWindow(Canvas& canvas, MeasurementStore& store, ViewState& view,
                             const PaintContext& ctx);

}  // namespace tev
