#include "core/recordsio/import_rebuild.h"

#include <algorithm>
#include <vector>

namespace tev {

namespace {

constexpr std::int32_t kFirstImportedDate = 200000;  // dates of 2020 …
constexpr std::int32_t kLastImportedDate = 400000;   // … to 2039, both exclusive
constexpr std::int32_t kLastSlotMinute = 1430;       // the 23:50 column
constexpr int kMinutesPerHour = 60;
constexpr int kSlotMinutes = 10;
constexpr int kDaysPerWeek = 7;
constexpr int kMonthDivisor = 100;

// Every column of rows 0 … fileRows - 1 set to 0 and cnt 0.
void clearTable(ScaleTable& t) {
    t.cnt = 0;
    const int rows = std::min(t.geometry().fileRows, t.rowSlots());
    for (int c = 0; c < t.columns(); ++c) std::fill(t.column(c), t.column(c) + rows, 0u);
}

bool inImportedYears(std::int32_t date) {
    return date > kFirstImportedDate && date < kLastImportedDate;
}

// The rows a rebuilt table may fill so that its live row (row cnt) still lies in the records
// file: the newest of them are kept.
int rebuildCapacity(const ScaleTable& t) {
    return t.geometry().fileRows - 1;
}

// Fills rows 0 … k-1 of `t` with the newest k of `picked`; cnt = k.
void fillNewest(ScaleTable& t, std::span<const ImportSample> samples,
                const std::vector<std::size_t>& picked, bool withTime, int timeOffset) {
    const std::size_t k = std::min(picked.size(), static_cast<std::size_t>(rebuildCapacity(t)));
    const std::size_t first = picked.size() - k;
    for (std::size_t r = 0; r < k; ++r) {
        const ImportSample& s = samples[picked[first + r]];
        const int row = static_cast<int>(r);
        t.setDate(row, s.date);
        if (withTime) t.setTime(row, s.minute + timeOffset);
        t.setValue(kColKWh, row, s.value);
    }
    t.cnt = static_cast<std::int32_t>(k);
}

}  // namespace

void rebuildFromSamples(MeasurementStore& store, std::span<const ImportSample> samples) {
    for (int i = 0; i < kScaleCount; ++i) clearTable(store.tableAt(i));

    // M10: the newest samples, in file order.
    std::vector<std::size_t> picked(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) picked[i] = i;
    fillNewest(store.table(TimeScale::M10), samples, picked, true, 0);

    // Hour: the slots that end a whole hour, stamped with the hour they close (24:0 last).
    picked.clear();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const ImportSample& s = samples[i];
        if ((s.minute + kSlotMinutes) % kMinutesPerHour == 0 && inImportedYears(s.date))
            picked.push_back(i);
    }
    fillNewest(store.table(TimeScale::Hour), samples, picked, true, kSlotMinutes);

    // Day: the 23:50 slot holds the day's total.
    picked.clear();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const ImportSample& s = samples[i];
        if (s.minute == kLastSlotMinute && inImportedYears(s.date)) picked.push_back(i);
    }
    ScaleTable& day = store.table(TimeScale::Day);
    fillNewest(day, samples, picked, false, 0);

    // Week: seven consecutive days per row, dated by the latest of them.
    ScaleTable& week = store.table(TimeScale::Week);
    const int weekRows = rebuildCapacity(week);
    int w = 0;
    for (int i = 0, e = 0; i < day.cnt && w <= weekRows; ++i) {
        week.setDate(w, day.date(i));
        week.setValue(kColKWh, w, week.value(kColKWh, w) + day.value(kColKWh, i));
        ++e;
        w = e / kDaysPerWeek;
    }
    week.cnt = std::max(std::min(w, weekRows), 1);

    // Month: the days summed by month, a new row whenever the month moves forward.
    ScaleTable& month = store.table(TimeScale::Month);
    const int monthRows = rebuildCapacity(month);
    std::int32_t m = day.date(0) / kMonthDivisor;
    int row = 0;
    const int days = std::max(day.cnt, 1);
    for (int i = 0; i < days; ++i) {
        const std::int32_t d = day.date(i);
        if (d > 0 && m < d / kMonthDivisor && row < monthRows) {
            month.setDate(row, m);
            m = d / kMonthDivisor;
            ++row;
        }
        month.setDate(row, d / kMonthDivisor);
        month.setValue(kColKWh, row, month.value(kColKWh, row) + day.value(kColKWh, i));
    }
    month.cnt = std::max(row, 1);
    day.cnt = std::max(day.cnt, 1);
}

}  // namespace tev
