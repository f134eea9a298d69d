#pragma once

#include "core/chart/window_painter.h"

namespace tev {

inline constexpr Rgb kConnectedCaptionColour{255, 0, 0};
inline constexpr Rgb kConnectedIdColour{255, 0, 255};

// The connected forms of Connect_l and id_l while a meter is registered, the link is on and
// the meter link knows its IP text; otherwise the labels keep their disconnected forms.
ConnectionLabels connectionLabels(const PaintContext& ctx);

}  // namespace tev
