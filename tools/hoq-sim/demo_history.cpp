#include "tools/hoq-sim/demo_history.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/meterlink/clock_tick.h"
#include "core/meterlink/meter_link.h"
#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "core/store/roll_up.h"
#include "core/texts/event_log.h"
#include "tools/hoq-sim/meter_messages.h"
#include "tools/hoq-sim/meter_model.h"

namespace tev::sim {
namespace {

constexpr std::int64_t kDaySeconds = 86400;
constexpr std::int64_t kHourSeconds = 3600;
constexpr int kSecondsPerMinute = 60;
// The line end the meter protocol reads as the end of a message.
constexpr const char* kTerminator = "\r";
// Channels of the demo's settings file: CH1 Watt by day, CH2 V1 by hour.
constexpr std::int32_t kWattQuantity = 8, kV1Quantity = 1;
constexpr std::int32_t kDayScale = 5, kHourScale = 4;

// The hour at which the demo's program starts each day.
constexpr int kMorningStartHour = 7;
// Seconds after a silent spell during which the whole tick still runs.
constexpr std::int64_t kSupervisedAfterSpell = 300;

class SilentTones final : public ToneSink {
  public:
    void beep(int, int) override {}
};

// The Unix time of a local wall-clock time.
std::int64_t unixOf(const DateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// The program's clock on the computer's local time, moved on one second at a time: on the
// days the clocks change it repeats or skips an hour, as the real program's clock does.
class DemoClock final : public Clock {
  public:
    explicit DemoClock(std::int64_t unixSeconds) : unix_(unixSeconds) { readLocal(); }
    DateTime now() const override { return now_; }
    // The demo's seconds are the wall clock's and the steady clock's too.
    std::chrono::system_clock::time_point wallNow() const override {
        return std::chrono::system_clock::time_point(std::chrono::seconds(unix_));
    }
    std::chrono::steady_clock::time_point steadyNow() const override {
        return std::chrono::steady_clock::time_point(std::chrono::seconds(unix_));
    }
    std::int64_t unixSeconds() const { return unix_; }
    void nextSecond() {
        ++unix_;
        if (++now_.second < kSecondsPerMinute) return;
        now_.second = 0;
        // Clocks change only at a quarter hour; in between the minutes just count on.
        if (++now_.minute < kSecondsPerMinute && unix_ % kQuarterHourSeconds != 0) return;
        readLocal();
    }

  private:
    static constexpr std::int64_t kQuarterHourSeconds = 900;
    void readLocal() {
        const std::time_t t = static_cast<std::time_t>(unix_);
        std::tm tm{};
        localtime_r(&t, &tm);
        now_ = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
    }
    std::int64_t unix_;
    DateTime now_;
};

DateTime daysBefore(const DateTime& end, int days) {
    using namespace std::chrono;
    const year_month_day ymd{sys_days{year{end.year} / end.month / end.day} -
                             std::chrono::days{days}};
    DateTime start = end;
    start.year = static_cast<int>(ymd.year());
    start.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    start.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    start.millisecond = 0;
    return start;
}

struct Spell {
    std::int64_t from, to;  // seconds since the start of the history
};

// Three silent spells at fixed places of the history: an afternoon, a whole day and a morning.
// None falls into the last days, which the minute chart shows.
std::vector<Spell> outageSpells(int days, std::int64_t startSecondOfDay) {
    std::vector<Spell> spells;
    if (days < 2 * kFineDays) return spells;
    auto at = [&](double share, int hour, int minute) {
        const std::int64_t day = static_cast<std::int64_t>(days * share);
        return day * kDaySeconds - startSecondOfDay + hour * kHourSeconds + minute * 60;
    };
    spells.push_back({at(0.2, 14, 0), at(0.2, 17, 0)});
    spells.push_back({at(0.5, 20, 0), at(0.5, 20, 0) + 28 * kHourSeconds});
    spells.push_back({at(0.8, 9, 30), at(0.8, 15, 30)});
    return spells;
}

}  // namespace

DemoResult playDemoHistory(const DemoOptions& options, MeasurementStore& store) {
    DemoResult result;
    if (options.days < 1) {
        result.error = "the history needs at least one day";
        return result;
    }
    const DateTime start = daysBefore(options.end, options.days);
    const std::int64_t startSecondOfDay =
        start.hour * kHourSeconds + start.minute * kSecondsPerMinute + start.second;
    // The real seconds between the two wall-clock times: an hour more or less where the clocks
    // changed in between.
    const std::int64_t startUnix = unixOf(start);
    const std::int64_t total = unixOf(options.end) - startUnix;
    const std::int64_t fineFrom = total - static_cast<std::int64_t>(kFineDays) * kDaySeconds;
    const std::int64_t mediumFrom = total - static_cast<std::int64_t>(kMediumDays) * kDaySeconds;
    const std::vector<Spell> spells =
        options.outages ? outageSpells(options.days, startSecondOfDay) : std::vector<Spell>{};

    SilentTones tones;
    DemoClock clock(startUnix);
    EventLog log(clock);
    const LanguageMode language = LanguageMode::Bilingual;
    MeterLink link(store, log, tones, clock, language, options.folder);
    ClockTick tick(store, log, tones, clock, language, link);

    // The calendar as the window sets it at start-up; the month row in progress is this month.
    Calendar& cal = store.calendar;
    readDate(cal, start);
    cal.Hour = start.hour;
    cal.Minute = start.minute;
    cal.Second = start.second;
    cal.StartDayCode = cal.TodayCode;
    cal.WeekStartCode = cal.TodayCode;
    cal.NowMonth = cal.Month;

    MeterModel meter(0, cal.TodayCode, static_cast<double>(startSecondOfDay));
    meter.setCalendarVariation(true);
    DeviceInfo device;
    device.id = kDemoMeterId;
    for (std::size_t i = 0; i < device.params.size(); ++i) device.params[i] = 1.0 + i;
    const std::string poll = buildPoll(kDemoMeterId) + kTerminator;

    bool linked = false;
    std::int64_t meterAt = 0;
    std::int64_t lastMessage = -1;
    std::size_t spell = 0;
    int sequence = 0;
    for (std::int64_t i = 0; i < total; ++i) {
        if (i > 0) clock.nextSecond();
        // The program of the demo is started every morning, as a desk computer is switched on:
        // the start-up's settings rule then begins the per-phase day accounts afresh.
        const DateTime now = clock.now();
        if (now.hour == kMorningStartHour && now.minute == 0 && now.second == 0 && i > 0) {
            const std::int32_t storedStartDay = cal.StartDayCode;
            cal.StartDayCode = cal.TodayCode;
            ViewState view;
            finishSettingsLoad(storedStartDay, store, view);
        }
        while (spell < spells.size() && i >= spells[spell].to) ++spell;
        const bool silent = spell < spells.size() && i >= spells[spell].from;
        if (silent) {
            if (linked) ++result.outages;
            linked = false;
        } else {
            // A meter that (re)connects introduces itself first.
            if (!linked) {
                link.handleMessage(buildDeviceMessage(device) + kTerminator);
                linked = true;
                lastMessage = -1;
            }
            const std::int64_t every = i >= fineFrom     ? kFineMessageSeconds
                                       : i >= mediumFrom ? kMediumMessageSeconds
                                                         : options.messageSeconds;
            if (lastMessage < 0 || i - lastMessage >= every) {
                meter.advance(static_cast<double>(i - meterAt));
                meterAt = i;
                link.handleMessage(buildDataMessage(kDemoMeterId, kDemoMeterIp, meter.meterDate(),
                                                    meter.secs(), meter.reading(sequence++)) +
                                   kTerminator);
                if (options.dataMessageHandled)
                    options.dataMessageHandled(store.registry, kDemoMeterId, clock.unixSeconds());
                lastMessage = i;
                ++result.messages;
            }
            if (i % kPollSeconds == 0) link.handleMessage(poll);
        }
        // While the meter polls every 30 s the link supervision has nothing to do (a poll resets
        // the silence long before any warning), so those seconds take the roll-up step alone:
        // the same roll-up the tick runs, at a fifth less cost per second. Around a silent
        // spell the whole tick runs, with its warning, off-line alarm and return.
        const bool supervised = spell < spells.size() && i >= spells[spell].from - 1 &&
                                i < spells[spell].to + kSupervisedAfterSpell;
        if (supervised || (spell > 0 && i < spells[spell - 1].to + kSupervisedAfterSpell))
            tick.onTimer();
        else
            rollUpStep(store, clock);
        ++result.ticks;
    }
    // The history ends today: the settings file's start day keeps today's accounts.
    cal.StartDayCode = cal.TodayCode;
    return result;
}

DemoResult writeDemoHistory(const DemoOptions& options) {
    DemoResult result;
    std::error_code ec;
    std::filesystem::create_directories(options.folder, ec);
    const std::string records = options.folder + "/TEV3P_Records.dat";
    if (std::filesystem::exists(records, ec)) {
        result.error = records + " is already there; the demo history replaces no records";
        return result;
    }
    auto store = std::make_unique<MeasurementStore>();
    result = playDemoHistory(options, *store);
    if (!result.error.empty()) return result;

    ViewState view;
    SettingsValues settings =
        collectSettings(*store, view, static_cast<std::int32_t>(LanguageMode::Bilingual));
    settings.ch1Quantity = kWattQuantity;
    settings.ch1TimeScale = kDayScale;
    settings.ch2Quantity = kV1Quantity;
    settings.ch2TimeScale = kHourScale;
    const auto image = encodeSettings(settings);
    const std::string settingsError =
        writeFileAtomically(options.folder + "/TEV3P_Environ.dat", image);
    if (!settingsError.empty()) {
        result.error = "TEV3P_Environ.dat: " + settingsError;
        return result;
    }
    const RecordsFileResult written = writeRecordsFile(records, *store);
    if (!written.ok) result.error = "TEV3P_Records.dat: " + written.error;
    return result;
}

}  // namespace tev::sim
