#pragma once

#include <optional>
#include <string>

namespace tev::alerts {

// What the tray icon shows: the program's own look, red while an alert runs, grey while the
// meter link is off or no meter is registered.
enum class TrayState { Normal, Alert, Off };

struct TraySnapshot {
    bool linkOn = false;
    int meterCount = 0;
    bool anyAlert = false;
    double watt = 0;                  // primary meter
    double todayKwh = 0;              // primary meter
    std::optional<double> costToday;  // when a tariff is set
    std::string currency;
};

TrayState trayStateFor(const TraySnapshot& s);

// "TEV3P: 1234 W, today 5.67 kWh, € 1.70" (first line), then a line for the state.
std::string trayToolTip(const TraySnapshot& s);

}  // namespace tev::alerts
