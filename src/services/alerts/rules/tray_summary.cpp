#include "services/alerts/rules/tray_summary.h"

#include <cstdio>

namespace tev::alerts {

TrayState trayStateFor(const TraySnapshot& s) {
    if (!s.linkOn || s.meterCount <= 0) return TrayState::Off;
    return s.anyAlert ? TrayState::Alert : TrayState::Normal;
}

std::string trayToolTip(const TraySnapshot& s) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "TEV3P: %.0f W, today %.2f kWh", s.watt, s.todayKwh);
    std::string text = buf;
    if (s.costToday) {
        std::snprintf(buf, sizeof buf, "%.2f", *s.costToday);
        text += ", " + (s.currency.empty() ? std::string() : s.currency + " ") + buf;
    }
    switch (trayStateFor(s)) {
        case TrayState::Off:
            text += s.linkOn ? "\nNo meter" : "\nMeter link off";
            break;
        case TrayState::Alert:
            text += "\nAlert";
            break;
        case TrayState::Normal:
            break;
    }
    return text;
}

}  // namespace tev::alerts
