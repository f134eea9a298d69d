#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/meterlink/meter_link.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "platform/clock.h"
#include "platform/tone_sink.h"

namespace tev {

// What one timer event asks the window to show.
struct TickOutcome {
    bool offlineAlarm = false;  // grey Connect_l with noConnectText(), empty id_l, repaint
    bool timeLabelChanged = false;
    std::string timeLabel;  // e.g. "8 : 5      "
    bool dateLabelChanged = false;
    std::string dateLabel;
    bool repaint = false;
};

// The clock label: hour " : " minute and six blanks, no leading zeros.
std::string timeLabelText(int hour, int minute);
// The date label: "2024 / 8 / 2" in English, "2024年 8月 2日      " otherwise.
std::string dateLabelText(int year, int month, int day, LanguageMode mode);
// The connection label after the link is lost: "- No Connect -" in English, "- 未連線 -"
// otherwise.
std::string noConnectText(LanguageMode mode);

// The one-second tick: link supervision first, then, while the primary meter delivers data,
// the roll-up and the clock and date labels.
//
// The timer is not trusted to land on every second. Ticks are counted by wall-clock second:
// a second event within the same second does nothing, and a late event counts every second
// that passed for supervision. Whole minutes that no tick landed on are caught up, each with
// its own roll-up at its second 0, so that every minute closes exactly one Min row and every
// five-minute, ten-minute and hour boundary is seen exactly once. Only a gap of up to
// kMaxCatchUpSeconds is caught up; after a longer one (the computer slept, the clock was set
// forward) or when the clock went back, the minutes away get no rows, as time without data
// gets none, and the date and both labels are read afresh at once.
class ClockTick {
  public:
    static constexpr std::int64_t kMaxCatchUpSeconds = 300;

    ClockTick(MeasurementStore& store, EventLog& log, ToneSink& tones, const Clock& clock,
              const LanguageMode& language, MeterLink& link);

    // Called by the window's 1000 ms timer.
    TickOutcome onTimer();

  private:
    void supervise(std::int64_t elapsedSeconds, TickOutcome& outcome);
    void rollUpAtSecond(std::int64_t second, TickOutcome& outcome);

    MeasurementStore& store_;
    EventLog& log_;
    ToneSink& tones_;
    const Clock& clock_;
    const LanguageMode& language_;
    MeterLink& link_;
    std::optional<std::int64_t> lastSecond_;
    bool rolledLastTick_ = false;  // minutes are caught up only while data was flowing
};

}  // namespace tev
