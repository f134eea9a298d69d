#include "core/store/roll_up.h"

#include "core/store/date_code.h"

namespace tev {
namespace {

void seedAndSmooth(float& smooth, float raw) {
    if (smooth == 0.0f && raw > 0.0f) smooth = raw;
    smooth = (smooth * kSmoothOldWeight + raw) * kSmoothScale;
}

void integrateEnergy(LiveReadings& l) {
    // The raw (not smoothed) powers are integrated.
    const float e1 = l.W1 * kTickEnergyFactor;
    const float e2 = l.W2 * kTickEnergyFactor;
    const float e3 = l.W3 * kTickEnergyFactor;
    const float eTotal = l.Watt * kTickEnergyFactor;
    l.K1 += e1;
    l.K2 += e2;
    l.K3 += e3;
    l.WeekK1 += e1;
    l.WeekK2 += e2;
    l.WeekK3 += e3;
    l.MonthK1 += e1;
    l.MonthK2 += e2;
    l.MonthK3 += e3;
    l.WeekKWh += eTotal;
    l.MonthKWh += eTotal;
    l.TotalKWh += eTotal;
}

// Advances the live row of a table and compacts it when it reaches its row limit.
void advance(ScaleTable& t) {
    t.cnt += 1;
    const ScaleGeometry& g = t.geometry();
    if (t.cnt >= g.rowLimit) t.compact(g.compactRows);
}

void writeShortScaleRow(ScaleTable& t, const LiveReadings& l, std::int32_t today,
                        std::int32_t minutes) {
    const int r = t.cnt;
    const float values[kQuantityCount] = {l.SmoothV1, l.SmoothV2, l.SmoothV3, l.SmoothAmp,
                                          l.SmoothA1, l.SmoothA2, l.SmoothA3, l.SmoothWatt,
                                          l.SmoothW1, l.SmoothW2, l.SmoothW3, l.KWh,
                                          l.K1,       l.K2,       l.K3};
    for (int c = 0; c < kQuantityCount; ++c) t.setValue(c, r, values[c]);
    t.setDate(r, today);
    t.setTime(r, minutes);
}

void writeAccountRow(ScaleTable& t, const LiveReadings& l, const float (&energy)[4],
                     float currentFactor, float powerFactor, std::int32_t code) {
    const int r = t.cnt;
    t.setValue(kColV1, r, l.SmoothV1);
    t.setValue(kColV2, r, l.SmoothV2);
    t.setValue(kColV3, r, l.SmoothV3);
    for (int i = 0; i < 4; ++i) {
        t.setValue(kColAmp + i, r, energy[i] * currentFactor);
        t.setValue(kColWatt + i, r, energy[i] * powerFactor);
        t.setValue(kColKWh + i, r, energy[i]);
    }
    t.setDate(r, code);
}

void writeDayRow(ScaleTable& t, const LiveReadings& l, std::int32_t today) {
    const int r = t.cnt;
    const float values[kQuantityCount] = {l.SmoothV1,  l.SmoothV2,  l.SmoothV3,  l.AvgAmpKWh,
                                          l.AvgAmpK1,  l.AvgAmpK2,  l.AvgAmpK3,  l.AvgWattKWh,
                                          l.AvgWattK1, l.AvgWattK2, l.AvgWattK3, l.KWh,
                                          l.K1,        l.K2,        l.K3};
    for (int c = 0; c < kQuantityCount; ++c) t.setValue(c, r, values[c]);
    t.setDate(r, today);
}

}  // namespace

void readDate(Calendar& c, const DateTime& now) {
    c.Year = now.year;
    c.Month = now.month;
    c.Day = now.day;
    c.WeekDay = weekDayOf(now.year, now.month, now.day);
    c.TodayCode = dateCode(now.year, now.month, now.day);
}

RollUpOutcome rollUpAt(MeasurementStore& store, int hour, int minute, int second,
                       const Clock& dateSource) {
    RollUpOutcome outcome;
    Calendar& cal = store.calendar;
    if (cal.DataFlag == 0) return outcome;
    LiveReadings& l = store.live;

    // 1. The time of this tick.
    cal.Hour = hour;
    cal.Minute = minute;
    cal.Second = second;

    // 2.–3. Seeding and smoothing.
    seedAndSmooth(l.SmoothV1, l.V1);
    seedAndSmooth(l.SmoothV2, l.V2);
    seedAndSmooth(l.SmoothV3, l.V3);
    seedAndSmooth(l.SmoothAmp, l.Amp);
    seedAndSmooth(l.SmoothA1, l.A1);
    seedAndSmooth(l.SmoothA2, l.A2);
    seedAndSmooth(l.SmoothA3, l.A3);
    seedAndSmooth(l.SmoothWatt, l.Watt);
    seedAndSmooth(l.SmoothW1, l.W1);
    seedAndSmooth(l.SmoothW2, l.W2);
    seedAndSmooth(l.SmoothW3, l.W3);

    // 4. Energy.
    integrateEnergy(l);

    // 5. The week and month accounts never lag behind the meter's own day count.
    if (l.WeekKWh < l.KWh) l.WeekKWh = l.KWh;
    if (l.MonthKWh < l.KWh) l.MonthKWh = l.KWh;

    // 6. Day averages.
    l.AvgAmpKWh = l.KWh * kDayCurrentFactor;
    l.AvgAmpK1 = l.K1 * kDayCurrentFactor;
    l.AvgAmpK2 = l.K2 * kDayCurrentFactor;
    l.AvgAmpK3 = l.K3 * kDayCurrentFactor;
    l.AvgWattKWh = l.KWh * kDayPowerFactor;
    l.AvgWattK1 = l.K1 * kDayPowerFactor;
    l.AvgWattK2 = l.K2 * kDayPowerFactor;
    l.AvgWattK3 = l.K3 * kDayPowerFactor;

    const std::int32_t minuteOfDay = hour * 60 + minute;

    // 7. Whole minute.
    if (second == 0) {
        outcome.minuteClosed = true;
        advance(store.table(TimeScale::Min));
    }
    // 8.–9. Five and ten minutes: the closing row carries the minute at which it closed.
    if (second == 0 && minute % 5 == 0) {
        ScaleTable& m5 = store.table(TimeScale::M5);
        m5.setTime(m5.cnt, minuteOfDay);
        advance(m5);
    }
    if (second == 0 && minute % 10 == 0) {
        ScaleTable& m10 = store.table(TimeScale::M10);
        m10.setTime(m10.cnt, minuteOfDay);
        advance(m10);
    }
    // 10. Whole hour: the closing row carries the hour at which it closed; the date is read.
    if (second == 0 && minute == 0) {
        ScaleTable& h = store.table(TimeScale::Hour);
        h.setTime(h.cnt, hour * 60);
        advance(h);
        readDate(cal, dateSource.now());
        outcome.dateRead = true;
    }

    // 11. New day.
    ScaleTable& day = store.table(TimeScale::Day);
    const std::int32_t liveDayDate = day.date(day.cnt);
    if (liveDayDate > 0 && liveDayDate != cal.TodayCode) {
        advance(day);
        cal.WeekDayCnt += 1;
    }

    // 12. New week: after seven day changes, or at the first day change that lands on Sunday.
    if (cal.WeekDayCnt >= 7 || (cal.WeekDayCnt > 0 && cal.WeekDay == 0)) {
        advance(store.table(TimeScale::Week));
        cal.WeekDayCnt = 0;
        cal.WeekStartCode = cal.TodayCode;
        l.WeekKWh = l.WeekK1 = l.WeekK2 = l.WeekK3 = 0;
    }

    // 13. New month.
    if (cal.Month != cal.NowMonth) {
        advance(store.table(TimeScale::Month));
        cal.NowMonth = cal.Month;
        l.MonthKWh = l.MonthK1 = l.MonthK2 = l.MonthK3 = 0;
    }

    // 14. The live rows.
    writeShortScaleRow(store.table(TimeScale::Min), l, cal.TodayCode, minuteOfDay);
    writeShortScaleRow(store.table(TimeScale::M5), l, cal.TodayCode, minuteOfDay);
    writeShortScaleRow(store.table(TimeScale::M10), l, cal.TodayCode, minuteOfDay);
    writeShortScaleRow(store.table(TimeScale::Hour), l, cal.TodayCode, hour * 60);
    writeDayRow(day, l, cal.TodayCode);
    const float week[4] = {l.WeekKWh, l.WeekK1, l.WeekK2, l.WeekK3};
    writeAccountRow(store.table(TimeScale::Week), l, week, kWeekCurrentFactor, kWeekPowerFactor,
                    cal.WeekStartCode);
    const float month[4] = {l.MonthKWh, l.MonthK1, l.MonthK2, l.MonthK3};
    writeAccountRow(store.table(TimeScale::Month), l, month, kMonthCurrentFactor, kMonthPowerFactor,
                    monthCode(cal.Year, cal.Month));
    return outcome;
}

RollUpOutcome rollUpStep(MeasurementStore& store, const Clock& clock) {
    const DateTime now = clock.now();
    return rollUpAt(store, now.hour, now.minute, now.second, clock);
}

}  // namespace tev
