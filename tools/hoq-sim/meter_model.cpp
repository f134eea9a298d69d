#include "tools/hoq-sim/meter_model.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tev::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPowerFactor = 0.86;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kWattsPerKW = 1000.0;
// Longest step of the energy integration, s: fine enough to follow the load curve.
constexpr double kIntegrationStep = 10.0;

// The load curve: night base plus a morning and an evening peak (centre hour, width, kW).
constexpr double kBaseKW = 0.6;
constexpr double kMorningHour = 7.5, kMorningWidth = 1.5, kMorningKW = 1.4;
constexpr double kEveningHour = 19.5, kEveningWidth = 2.0, kEveningKW = 2.6;
// Meters of one group differ in size by this step, over this many sizes.
constexpr double kSizeStep = 0.05;
constexpr int kSizeCount = 9;
// A slow ripple on the load so that the currents keep changing between messages.
constexpr double kRipple = 0.08;
constexpr double kRipplePeriod = 420.0;
// How the load is shared among the three phases (rotated per meter).
constexpr std::array<double, 3> kPhaseShare = {0.40, 0.35, 0.25};
// Nominal voltage, the drop per kW of phase load and the per-phase offsets, V.
constexpr double kNominalVolts = 229.0;
constexpr double kVoltsDropPerKW = 1.6;
constexpr std::array<double, 3> kPhaseOffsetVolts = {0.0, -1.2, 1.0};
constexpr double kVoltsWobble = 0.6;
constexpr double kVoltsWobblePeriod = 97.0;
// Phase of each meter's ripple, in turns per meter index, so meters do not move in step.
constexpr double kRipplePhasePerMeter = 0.13;

// Calendar variation: weekend days draw this much more, and the season swings the load by this
// share around the year, highest in mid-January.
constexpr double kWeekendFactor = 1.3;
constexpr double kSeasonSwing = 0.25;
constexpr int kColdestDayOfYear = 15;
constexpr double kDaysPerYear = 365.25;

// Fixed figures the meter reports alongside its readings.
constexpr double kMainsHz = 60.0;
constexpr int kSignalStrength = 70;
constexpr int kFirmware = 105;

double gauss(double x, double centre, double width) {
    const double d = (x - centre) / width;
    return std::exp(-d * d);
}

}  // namespace

int nextDateCode(int dateCode) {
    using namespace std::chrono;
    const year_month_day today{year{2000 + dateCode / 10000},
                               month{static_cast<unsigned>(dateCode / 100 % 100)},
                               day{static_cast<unsigned>(dateCode % 100)}};
    const year_month_day next{sys_days{today} + days{1}};
    return (static_cast<int>(next.year()) - 2000) * 10000 +
           static_cast<int>(static_cast<unsigned>(next.month())) * 100 +
           static_cast<int>(static_cast<unsigned>(next.day()));
}

double MeterModel::calendarFactor(int dateCode) {
    using namespace std::chrono;
    const year y{2000 + dateCode / 10000};
    const year_month_day ymd{y, month{static_cast<unsigned>(dateCode / 100 % 100)},
                             day{static_cast<unsigned>(dateCode % 100)}};
    const sys_days d{ymd};
    const unsigned dayOfWeek = weekday{d}.c_encoding();  // 0 = Sunday
    const double dayOfYear = (d - sys_days{y / January / 1}).count();
    const double season =
        1.0 + kSeasonSwing * std::cos(2 * kPi * (dayOfYear - kColdestDayOfYear) / kDaysPerYear);
    return season * (dayOfWeek == 0 || dayOfWeek == 6 ? kWeekendFactor : 1.0);
}

void MeterModel::setCalendarVariation(bool on) {
    calendarVariation_ = on;
    dayFactor_ = on ? calendarFactor(date_) : 1.0;
}

MeterModel::MeterModel(int meterIndex, int startDate, double startSecondOfDay)
    : index_(meterIndex),
      date_(startDate),
      secondOfDay_(std::fmod(startSecondOfDay, kSecondsPerDay)) {
    if (secondOfDay_ < 0) secondOfDay_ += kSecondsPerDay;
}

double MeterModel::loadCurveKW(double hourOfDay) {
    // The evening peak also reaches past midnight into the small hours.
    return kBaseKW + kMorningKW * gauss(hourOfDay, kMorningHour, kMorningWidth) +
           kEveningKW * (gauss(hourOfDay, kEveningHour, kEveningWidth) +
                         gauss(hourOfDay, kEveningHour - 24.0, kEveningWidth));
}

std::array<double, 3> MeterModel::phasePowerW(double secondOfDay) const {
    const double size = 1.0 + kSizeStep * (index_ % kSizeCount);
    const double ripple =
        1.0 +
        kRipple * std::sin(2 * kPi * (secondOfDay / kRipplePeriod + kRipplePhasePerMeter * index_));
    const double total =
        loadCurveKW(secondOfDay / kSecondsPerHour) * size * ripple * dayFactor_ * kWattsPerKW;
    std::array<double, 3> out{};
    for (int p = 0; p < 3; ++p) out[p] = total * kPhaseShare[(p + index_) % 3];
    return out;
}

std::array<double, 3> MeterModel::phaseVoltage(double secondOfDay) const {
    const std::array<double, 3> w = phasePowerW(secondOfDay);
    std::array<double, 3> v{};
    for (int p = 0; p < 3; ++p)
        v[p] = kNominalVolts + kPhaseOffsetVolts[p] - kVoltsDropPerKW * w[p] / kWattsPerKW +
               kVoltsWobble * std::sin(secondOfDay / kVoltsWobblePeriod + p + index_);
    return v;
}

double MeterModel::totalPowerW() const {
    const std::array<double, 3> w = phasePowerW(secondOfDay_);
    return w[0] + w[1] + w[2];
}

void MeterModel::advance(double seconds) {
    while (seconds > 0) {
        const double toMidnight = kSecondsPerDay - secondOfDay_;
        const double step = std::min({seconds, kIntegrationStep, toMidnight});
        integrate(secondOfDay_, step);
        secondOfDay_ += step;
        elapsed_ += step;
        seconds -= step;
        if (secondOfDay_ >= kSecondsPerDay) nextDay();
    }
}

void MeterModel::integrate(double from, double seconds) {
    const std::array<double, 3> w = phasePowerW(from + seconds / 2);
    for (int p = 0; p < 3; ++p) {
        if (faultFactor(p) <= 0) continue;  // a lost phase delivers nothing
        const double kwh = w[p] / kWattsPerKW * seconds / kSecondsPerHour;
        for (auto* counter : {&day_, &month_, &lifetime_}) {
            (*counter)[0] += kwh;
            (*counter)[p + 1] += kwh;
        }
    }
}

double MeterModel::faultFactor(int p) const {
    double factor = 1;
    for (const PhaseFault& f : faults_)
        if (f.phase == p + 1 && f.activeAt(elapsed_)) factor *= f.voltageFactor;
    return factor;
}

namespace {

// Numbers separated by commas, each at least 0; nullopt for anything else.
std::optional<std::vector<double>> commaNumbers(std::string_view text) {
    std::vector<double> out;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string item(text.substr(0, comma));
        char* end = nullptr;
        const double v = std::strtod(item.c_str(), &end);
        if (item.empty() || end != item.c_str() + item.size() || !(v >= 0) || v > 1e9)
            return std::nullopt;
        out.push_back(v);
        if (comma == std::string_view::npos) return out;
        text.remove_prefix(comma + 1);
    }
}

std::optional<PhaseFault> faultFrom(const std::vector<double>& n, std::size_t timesAt,
                                    double factor) {
    if (n.empty() || n.size() > timesAt + 2) return std::nullopt;
    if (n[0] != 1 && n[0] != 2 && n[0] != 3) return std::nullopt;
    PhaseFault f;
    f.phase = static_cast<int>(n[0]);
    f.voltageFactor = factor;
    if (n.size() > timesAt) f.afterSeconds = n[timesAt];
    if (n.size() > timesAt + 1) f.forSeconds = n[timesAt + 1];
    return f;
}

}  // namespace

std::optional<PhaseFault> parsePhaseLoss(std::string_view text) {
    const auto n = commaNumbers(text);
    if (!n) return std::nullopt;
    return faultFrom(*n, 1, 0);
}

std::optional<PhaseFault> parseSag(std::string_view text) {
    const auto n = commaNumbers(text);
    if (!n || n->size() < 2 || (*n)[1] <= 0 || (*n)[1] >= 100) return std::nullopt;
    return faultFrom(*n, 2, (*n)[1] / 100);
}

void MeterModel::nextDay() {
    secondOfDay_ = 0;
    const int next = nextDateCode(date_);
    if (next / 100 != date_ / 100) month_ = {};
    date_ = next;
    day_ = {};
    if (calendarVariation_) dayFactor_ = calendarFactor(date_);
}

DataWords MeterModel::reading(int sequence) const {
    std::array<double, 3> w = phasePowerW(secondOfDay_);
    std::array<double, 3> v = phaseVoltage(secondOfDay_);
    DataWords words;
    auto& d = words.decimals;
    for (int p = 0; p < 3; ++p) {
        v[p] *= faultFactor(p);
        if (v[p] <= 0) w[p] = 0;
        d[p] = v[p];
        d[6 + p] = v[p] > 0 ? w[p] / (v[p] * kPowerFactor) : 0;
    }
    d[3] = kMainsHz;
    d[4] = kPowerFactor;
    d[5] = (w[0] + w[1] + w[2]) / kWattsPerKW;
    for (int i = 0; i < 4; ++i) {
        d[9 + i] = day_[i];
        d[13 + i] = lifetime_[i];
        d[17 + i] = month_[i];
    }
    words.integers = {kSignalStrength, 0, sequence, kFirmware};
    return words;
}

}  // namespace tev::sim
