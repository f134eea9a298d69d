#include "services/alerts/tariff/tariff.h"

#include <algorithm>

namespace tev::alerts {

namespace {

constexpr int kMinutesPerDay = 24 * 60;
constexpr int kSecondsPerMinute = 60;
constexpr int kDaysPerWeek = 7;

std::tm localOf(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

int dateCode(const std::tm& tm) {
    return (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

// The instant of a local wall-clock time; minutes past 1440 roll into the next day. Where a
// wall-clock time is missing (the hour skipped in spring) mktime moves it forward.
std::time_t localInstant(const std::tm& day, int minuteOfDay, int isDst = -1) {
    std::tm tm{};
    tm.tm_year = day.tm_year;
    tm.tm_mon = day.tm_mon;
    tm.tm_mday = day.tm_mday;
    tm.tm_min = minuteOfDay;
    tm.tm_isdst = isDst;
    return std::mktime(&tm);
}

// The first instant in (t, end] whose UTC offset differs from `offset`, or `end` when there is
// none: where the clocks change, the wall clock jumps, and a repeated hour may re-enter a band.
std::time_t offsetChangeBefore(std::time_t t, std::time_t end, long offset) {
    if (localOf(end).tm_gmtoff == offset) return end;
    std::time_t same = t, changed = end;
    while (changed - same > 1) {
        const std::time_t mid = same + (changed - same) / 2;
        (localOf(mid).tm_gmtoff == offset ? same : changed) = mid;
    }
    return changed;
}

std::vector<TariffSegment> flatDay(double price) {
    return {{0, kMinutesPerDay, price}};
}

}  // namespace

int localDateCode(std::time_t t) {
    return dateCode(localOf(t));
}

Tariff::Tariff() {
    TariffPeriod p;
    for (auto& day : p.segments) day = flatDay(0);
    periods_.push_back(std::move(p));
}

Tariff::Tariff(std::vector<TariffPeriod> periods, std::string currency)
    : periods_(std::move(periods)), currency_(std::move(currency)), configured_(true) {
    if (periods_.empty()) *this = Tariff();
    std::stable_sort(periods_.begin(), periods_.end(),
                     [](const auto& a, const auto& b) { return a.fromDate < b.fromDate; });
}

const TariffPeriod& Tariff::periodAt(const std::tm& local) const {
    const int code = dateCode(local);
    const TariffPeriod* found = &periods_.front();
    for (const TariffPeriod& p : periods_)
        if (p.fromDate <= code) found = &p;
    return *found;
}

double Tariff::priceAt(std::time_t t) const {
    const std::tm local = localOf(t);
    const int minute = local.tm_hour * 60 + local.tm_min;
    for (const TariffSegment& s : periodAt(local).segments[local.tm_wday])
        if (minute >= s.startMinute && minute < s.endMinute) return s.pricePerKwh;
    return periodAt(local).pricePerKwh;
}

double Tariff::energyCost(double kwh, std::time_t from, std::time_t to) const {
    return TariffPricer(*this).energyCost(kwh, from, to);
}

std::time_t TariffPricer::edgeInstant(const std::tm& day, int minute, int isDst) {
    const int date = dateCode(day);
    for (const Edge& e : edges_)
        if (e.date == date && e.minute == minute && e.isDst == isDst) return e.at;
    Edge& e = edges_[nextEdge_];
    nextEdge_ = (nextEdge_ + 1) % edges_.size();
    e = {date, minute, isDst, localInstant(day, minute, isDst)};
    return e.at;
}

double TariffPricer::energyCost(double kwh, std::time_t from, std::time_t to) {
    if (to <= from) return kwh * tariff_.priceAt(from);
    const double perSecond = kwh / static_cast<double>(to - from);
    double cost = 0;
    std::time_t t = from;
    while (t < to) {
        const std::tm local = localOf(t);
        const TariffPeriod& period = tariff_.periodAt(local);
        const int minute = local.tm_hour * 60 + local.tm_min;
        double price = period.pricePerKwh;
        int endMinute = kMinutesPerDay;
        for (const TariffSegment& s : period.segments[local.tm_wday]) {
            if (minute >= s.startMinute && minute < s.endMinute) {
                price = s.pricePerKwh;
                endMinute = s.endMinute;
                break;
            }
        }
        // Around a change to or from daylight saving time a wall-clock edge may have two
        // instants or none: take the earliest instant after t that any reading gives. Cutting
        // a piece early costs nothing, as the next piece looks its price up afresh.
        std::time_t edge = 0;
        for (int isDst : {-1, 0, 1}) {
            const std::time_t candidate = edgeInstant(local, endMinute, isDst);
            if (candidate > t && (edge == 0 || candidate < edge)) edge = candidate;
        }
        if (edge == 0) edge = t + kSecondsPerMinute;
        // A dated change starts at local midnight, which is always a segment edge too. A piece
        // also ends where the clocks change, so both passes of a repeated hour find their band.
        const std::time_t next = offsetChangeBefore(t, std::min(edge, to), local.tm_gmtoff);
        cost += perSecond * static_cast<double>(next - t) * price;
        t = next;
    }
    return cost;
}

double Tariff::standingChargeOn(std::time_t t) const {
    return periodAt(localOf(t)).standingChargePerDay;
}

double Tariff::standingCharges(std::time_t from, std::time_t to) const {
    double total = 0;
    const int last = localDateCode(to);
    std::tm day = localOf(from);
    for (int guard = 0; guard < 100000; ++guard) {
        day.tm_hour = 12;  // midday: never skipped or repeated by a clock change
        day.tm_min = day.tm_sec = 0;
        day.tm_isdst = -1;
        std::mktime(&day);
        if (dateCode(day) > last) break;
        total += periodAt(day).standingChargePerDay;
        ++day.tm_mday;
    }
    return total;
}

}  // namespace tev::alerts
