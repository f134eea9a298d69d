#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/hoq-sim/meter_messages.h"

namespace tev::sim {

inline constexpr int kSecondsPerDay = 86400;

// A phase that misbehaves for a while, counted in meter seconds after the simulator starts:
// a phase loss (voltage and current 0) or a sag (the voltage at a share of its value; the load
// draws the same power, so its current rises).
struct PhaseFault {
    int phase = 1;             // 1 … 3
    double voltageFactor = 0;  // 0 for a loss, 0.8 for a sag to 80 %
    double afterSeconds = 0;   // when it starts
    double forSeconds = 0;     // how long it lasts; 0: until the end
    bool activeAt(double elapsed) const {
        return elapsed >= afterSeconds && (forSeconds <= 0 || elapsed < afterSeconds + forSeconds);
    }
};

// "<phase>[,<after s>[,<for s>]]" for a loss, "<phase>,<percent>[,<after s>[,<for s>]]" for a
// sag; nullopt when the text is not one.
std::optional<PhaseFault> parsePhaseLoss(std::string_view text);
std::optional<PhaseFault> parseSag(std::string_view text);

// One simulated HOQ meter: its own clock and calendar, a daily load curve and the energy
// counters it integrates from that load. Time moves only through advance(), so the model runs
// at any speed and is tested without sockets.
class MeterModel {
  public:
    // `meterIndex` varies the load and the phase balance between meters of one group.
    // `startDate` is a date code (year - 2000) x 10000 + month x 100 + day.
    MeterModel(int meterIndex, int startDate, double startSecondOfDay);

    // With calendar variation the load also follows the week (more at weekends, when people
    // are at home) and the seasons (more in winter); off by default.
    void setCalendarVariation(bool on);
    void addPhaseFault(const PhaseFault& fault) { faults_.push_back(fault); }
    // The factor the calendar puts on the load of the meter's current day (1 without variation).
    double dayFactor() const { return dayFactor_; }
    // The calendar factor of a date code: weekend and season.
    static double calendarFactor(int dateCode);

    // Moves the meter's clock on by `seconds`, integrating the energy counters; the day
    // counters restart at the meter's midnight and the month counters at its month end.
    void advance(double seconds);

    int meterDate() const { return date_; }
    // The meter's time of day in whole seconds, 0 … 86399.
    int secs() const { return static_cast<int>(secondOfDay_); }

    // Total power of the installation at this time of day, W.
    double totalPowerW() const;
    double dayEnergyKWh() const { return day_[0]; }
    double monthEnergyKWh() const { return month_[0]; }
    double lifetimeEnergyKWh() const { return lifetime_[0]; }

    // The 25 words of a data message for the current moment; word 24 carries `sequence`.
    DataWords reading(int sequence) const;

    // Load of the group's typical house, kW, at an hour of the day (0 … 24): a night base, a
    // morning peak and a larger evening peak.
    static double loadCurveKW(double hourOfDay);

  private:
    std::array<double, 3> phasePowerW(double secondOfDay) const;
    std::array<double, 3> phaseVoltage(double secondOfDay) const;
    void integrate(double from, double seconds);
    void nextDay();
    // The share of its normal voltage phase `p` (0 … 2) has now.
    double faultFactor(int p) const;

    int index_;
    int date_;
    bool calendarVariation_ = false;
    double dayFactor_ = 1.0;
    double secondOfDay_;
    double elapsed_ = 0;  // meter seconds since the start
    std::vector<PhaseFault> faults_;
    // Total and the three phases, kWh.
    std::array<double, 4> day_{};
    std::array<double, 4> month_{};
    std::array<double, 4> lifetime_{};
};

// The date code of the day after `dateCode`.
int nextDateCode(int dateCode);

}  // namespace tev::sim
