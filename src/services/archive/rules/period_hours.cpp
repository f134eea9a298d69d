#include "services/archive/rules/period_hours.h"

#include <algorithm>
#include <ctime>

#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/local_time.h"

namespace tev::archive {

std::int64_t periodHoursFrom(std::int64_t now) {
    const auto t = static_cast<std::time_t>(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const int year = tm.tm_year + 1900, month = tm.tm_mon + 1;
    // A day before the first of the month is a day of the month before. The week may start on
    // a Sunday or a Monday: the rows of the longer of the two are kept.
    const int weekDays = std::max(daysIntoWeek(tm.tm_wday, WeekStart::Sunday),
                                  daysIntoWeek(tm.tm_wday, WeekStart::Monday));
    const std::int64_t weekStart = localUnixSeconds(year, month, tm.tm_mday - weekDays, 0, 0, 0);
    return std::min(weekStart, localUnixSeconds(year, month, 1, 0, 0, 0));
}

void PeriodHours::reset(std::int64_t from, std::vector<MeterEnergy> meters) {
    std::lock_guard<std::mutex> lock(mutex_);
    filled_ = true;
    from_ = from;
    meters_.clear();
    for (MeterEnergy& m : meters) {
        std::string id = m.meter;
        meters_.insert_or_assign(std::move(id), std::move(m));
    }
}

void PeriodHours::replace(MeterEnergy rows, std::int64_t since) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = meters_.find(rows.meter);
    if (it == meters_.end()) {
        std::string id = rows.meter;
        meters_.emplace(std::move(id), std::move(rows));
        return;
    }
    MeterEnergy& held = it->second;
    held.firstRow = rows.firstRow;
    const auto keep =
        std::lower_bound(held.time.begin(), held.time.end(), since) - held.time.begin();
    const std::array<double, 3> none = {kNoPhaseWatts, kNoPhaseWatts, kNoPhaseWatts};
    held.time.resize(static_cast<std::size_t>(keep));
    held.kwh.resize(static_cast<std::size_t>(keep));
    held.phaseWatts.resize(static_cast<std::size_t>(keep), none);
    rows.phaseWatts.resize(rows.time.size(), none);
    held.time.insert(held.time.end(), rows.time.begin(), rows.time.end());
    held.kwh.insert(held.kwh.end(), rows.kwh.begin(), rows.kwh.end());
    held.phaseWatts.insert(held.phaseWatts.end(), rows.phaseWatts.begin(), rows.phaseWatts.end());
}

void PeriodHours::dropBefore(std::int64_t from) {
    std::lock_guard<std::mutex> lock(mutex_);
    from_ = from;
    for (auto& [id, m] : meters_) {
        const auto gone = std::lower_bound(m.time.begin(), m.time.end(), from) - m.time.begin();
        m.time.erase(m.time.begin(), m.time.begin() + gone);
        m.kwh.erase(m.kwh.begin(), m.kwh.begin() + gone);
        m.phaseWatts.erase(
            m.phaseWatts.begin(),
            m.phaseWatts.begin() +
                std::min<std::ptrdiff_t>(gone, static_cast<std::ptrdiff_t>(m.phaseWatts.size())));
    }
}

bool PeriodHours::filled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return filled_;
}

std::int64_t PeriodHours::from() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return from_;
}

std::optional<MeterEnergy> PeriodHours::meter(std::string_view id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = meters_.find(id);
    if (it == meters_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> PeriodHours::ids() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.reserve(meters_.size());
    for (const auto& [id, m] : meters_) out.push_back(id);
    return out;
}

std::vector<MeterEnergy> PeriodHours::meters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<MeterEnergy> out;
    out.reserve(meters_.size());
    for (const auto& [id, m] : meters_) out.push_back(m);
    return out;
}

std::int64_t PeriodHours::oldestIdleFirstRow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t oldest = 0;
    for (const auto& [id, m] : meters_) {
        if (!m.time.empty() || m.firstRow == 0) continue;
        if (oldest == 0 || m.firstRow < oldest) oldest = m.firstRow;
    }
    return oldest;
}

}  // namespace tev::archive
