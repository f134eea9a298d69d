#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/meterlink/meter_observer.h"
#include "core/texts/event_log.h"
#include "platform/clock.h"
#include "platform/tone_sink.h"
#include "services/alerts/rules/alert_evaluator.h"
#include "services/alerts/rules/alert_log_text.h"
#include "services/alerts/tariff/tariff.h"

namespace tev::alerts {

class Notifier;

// The tone of an alert that starts: lower than every tone of the program's commands and
// alarms (1200-1800 Hz), so it is told apart without looking.
inline constexpr int kAlertToneHz = 900;
inline constexpr int kAlertToneMs = 400;

// Runs the alert rules over every meter message and tells of each alert that starts or ends:
// a log line in the log's language, the alert tone on a start, a desktop notification.
class AlertService final : public QObject, public MeterObserver {
    Q_OBJECT
  public:
    using ModeSource = std::function<LanguageMode()>;

    AlertService(AlertConfig config, EventLog& log, ModeSource mode, ToneSink& tones,
                 Notifier* notifier, const Clock& clock);

    // The rules judge each data message once; polls and device messages repeat the meter's last
    // readings and change nothing.
    void meterMessageHandled(const MeterRegistry&, std::string_view) override {}
    void meterDataHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override;
    // The program stops: every running alert ends, told like any other end (the log line, the
    // archive, the broker), so that no start is left without its end.
    void endAll();

    // The event-log stamp put before each alert line ("240802 8:5 "); none when unset.
    void setStamp(std::function<std::string()> stamp) { stamp_ = std::move(stamp); }

    const AlertEvaluator& evaluator() const { return evaluator_; }
    // Every start and end so far, oldest first (the newest kHistoryLimit).
    const std::vector<AlertEvent>& history() const { return history_; }
    static constexpr std::size_t kHistoryLimit = 1000;
    // The starts and ends of earlier runs (from the archive), put before this run's.
    void seedHistory(std::vector<AlertEvent> earlier);
    // Hears every start and end as it happens (the archive writes them down).
    void setEventSink(std::function<void(const AlertEvent&)> sink) { sink_ = std::move(sink); }

    // An unusual day (told only when [alerts] unusual_day is on): an event that starts and ends
    // at once, so one log line, one notification, the alert tone when on, and the sink (the
    // broker); the running alerts and the tray's state stay as they are.
    void tellUnusualDay(const UnusualDayAlert& alert);
    void setUnusualDaySink(std::function<void(const UnusualDayAlert&)> sink) {
        unusualDaySink_ = std::move(sink);
    }

  signals:
    // After every change: whether any alert is running now.
    void alertsChanged(bool anyActive);

  private:
    AlertEvaluator evaluator_;
    EventLog& log_;
    ModeSource mode_;
    ToneSink& tones_;
    Notifier* notifier_;
    const Clock& clock_;  // alerts are timed in wall-clock milliseconds
    std::function<std::string()> stamp_;
    std::function<void(const AlertEvent&)> sink_;
    std::function<void(const UnusualDayAlert&)> unusualDaySink_;
    std::vector<AlertEvent> events_;
    std::vector<AlertEvent> history_;

    void tell(std::int64_t timeMs);
};

// The readings of one registry row as the alert rules see them.
AlertSample alertSampleOf(const MeterEntry& entry, std::int64_t timeMs);

}  // namespace tev::alerts
