#include "core/meterlink/clock_tick.h"

#include <algorithm>

#include "core/store/roll_up.h"
#include "core/texts/number_text.h"

namespace tev {
namespace {

constexpr std::int32_t kSilenceCap = 500;
constexpr std::int32_t kWarningAfter = 100;
constexpr std::int32_t kAlarmPoint = 105;
constexpr int kWarningBeepHz = 1200;
constexpr int kWarningBeepMs = 250;
constexpr int kAlarmBeepHz = 1400;
constexpr int kAlarmBeepMs = 1000;

constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr char kTimeLabelTail[] = "      ";

// Days since 1970-01-01 of a Gregorian date, and back (H. Hinnant's civil calendar algorithms).
constexpr std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

DateTime civilFromSeconds(std::int64_t t) {
    std::int64_t days = t / kSecondsPerDay;
    std::int64_t rest = t % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        days -= 1;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    DateTime dt;
    dt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    dt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    dt.year = static_cast<int>(yoe + era * 400 + (dt.month <= 2 ? 1 : 0));
    dt.hour = static_cast<int>(rest / kSecondsPerHour);
    dt.minute = static_cast<int>(rest % kSecondsPerHour / kSecondsPerMinute);
    dt.second = static_cast<int>(rest % kSecondsPerMinute);
    return dt;
}

std::int64_t secondsOf(const DateTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * kSecondsPerHour +
           t.minute * kSecondsPerMinute + t.second;
}

// The moment of a caught-up boundary, as the roll-up's date source; the wall and steady clocks
// are the tick's own.
class FixedClock final : public Clock {
  public:
    FixedClock(DateTime t, const Clock& base) : t_(t), base_(base) {}
    DateTime now() const override { return t_; }
    std::chrono::system_clock::time_point wallNow() const override { return base_.wallNow(); }
    std::chrono::steady_clock::time_point steadyNow() const override { return base_.steadyNow(); }

  private:
    DateTime t_;
    const Clock& base_;
};

}  // namespace

std::string timeLabelText(int hour, int minute) {
    return std::to_string(hour) + " : " + std::to_string(minute) + kTimeLabelTail;
}

std::string dateLabelText(int year, int month, int day, LanguageMode mode) {
    if (mode == LanguageMode::English)
        return std::to_string(year) + " / " + std::to_string(month) + " / " + std::to_string(day);
    return std::to_string(year) + "年 " + std::to_string(month) + "月 " + std::to_string(day) +
           "日      ";
}

std::string noConnectText(LanguageMode mode) {
    return mode == LanguageMode::English ? "- No Connect -" : "- 未連線 -";
}

ClockTick::ClockTick(MeasurementStore& store, EventLog& log, ToneSink& tones, const Clock& clock,
                     const LanguageMode& language, MeterLink& link)
    : store_(store), log_(log), tones_(tones), clock_(clock), language_(language), link_(link) {}

TickOutcome ClockTick::onTimer() {
    TickOutcome outcome;
    // A connection that went quiet after a flood of log lines still gets its summary line.
    log_.flushSuppressed();
    const DateTime now = clock_.now();
    const std::int64_t t = secondsOf(now);
    const std::optional<std::int64_t> previous = lastSecond_;
    if (previous && t == *previous) return outcome;
    lastSecond_ = t;

    const bool wentBack = previous && t < *previous;
    const std::int64_t elapsed = previous && !wentBack ? t - *previous : 1;
    supervise(elapsed, outcome);

    const bool rolledLastTick = rolledLastTick_;
    rolledLastTick_ = store_.calendar.DataFlag != 0;
    if (store_.calendar.DataFlag == 0) return outcome;

    if (wentBack || elapsed > kMaxCatchUpSeconds) {
        readDate(store_.calendar, now);
        if (language_ != LanguageMode::Chinese) {
            outcome.dateLabelChanged = true;
            outcome.dateLabel = dateLabelText(now.year, now.month, now.day, language_);
        }
        outcome.timeLabelChanged = true;
        outcome.timeLabel = timeLabelText(now.hour, now.minute);
    } else if (previous && rolledLastTick) {
        // Whole minutes that no tick landed on, each closed at its own second 0.
        for (std::int64_t b = (*previous / kSecondsPerMinute + 1) * kSecondsPerMinute; b < t;
             b += kSecondsPerMinute)
            rollUpAtSecond(b, outcome);
    }
    rollUpAtSecond(t, outcome);
    return outcome;
}

void ClockTick::supervise(std::int64_t elapsedSeconds, TickOutcome& outcome) {
    Calendar& cal = store_.calendar;
    const std::int32_t before = cal.SilenceCount;
    // A poll since the last tick may have come at any moment of a late tick's gap; the silence
    // then counts from this tick, never from before the poll.
    const std::int64_t silent = before == 0 ? 1 : elapsedSeconds;
    const std::int64_t advanced = std::min<std::int64_t>(before + silent, kSilenceCap);
    cal.SilenceCount = static_cast<std::int32_t>(advanced);
    // A late tick that jumps past the alarm point still raises the alarm, once.
    const bool alarm = before < kAlarmPoint && cal.SilenceCount >= kAlarmPoint;
    if ((cal.SilenceCount > kWarningAfter && cal.SilenceCount <= kAlarmPoint) || alarm)
        tones_.beep(kWarningBeepHz, kWarningBeepMs);
    if (!alarm) return;

    store_.registry.MeterCount = 0;
    tones_.beep(kAlarmBeepHz, kAlarmBeepMs);
    link_.forgetConnection();
    const std::string stamp = startupStamp(clock_.now());
    log_.append(language_, stamp + " > HOQ Off-line! ", stamp + " > HOQ 離線警示! ");
    cal.DataFlag = 0;
    outcome.offlineAlarm = true;
    outcome.repaint = true;
}

void ClockTick::rollUpAtSecond(std::int64_t second, TickOutcome& outcome) {
    const DateTime at = civilFromSeconds(second);
    const RollUpOutcome r = rollUpAt(store_, at.hour, at.minute, at.second, FixedClock(at, clock_));
    if (r.minuteClosed) {
        outcome.timeLabelChanged = true;
        outcome.timeLabel = timeLabelText(at.hour, at.minute);
    }
    if (r.dateRead && language_ != LanguageMode::Chinese) {
        const Calendar& cal = store_.calendar;
        outcome.dateLabelChanged = true;
        outcome.dateLabel = dateLabelText(cal.Year, cal.Month, cal.Day, language_);
    }
}

}  // namespace tev
