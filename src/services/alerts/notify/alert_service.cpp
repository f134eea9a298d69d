#include "services/alerts/notify/alert_service.h"

#include "core/store/live_readings.h"
#include "services/alerts/notify/notifier.h"
#include "services/alerts/rules/alert_log_text.h"

namespace tev::alerts {

AlertSample alertSampleOf(const MeterEntry& e, std::int64_t timeMs) {
    AlertSample s{timeMs, {e.V1, e.V2, e.V3}, {e.A1, e.A2, e.A3}, 0};
    // The meter sends no power; the program's Watt is the sum of V x A x power factor.
    s.watt = (e.V1 * e.A1 + e.V2 * e.A2 + e.V3 * e.A3) * kPowerFactor;
    return s;
}

AlertService::AlertService(AlertConfig config, EventLog& log, ModeSource mode, ToneSink& tones,
                           Notifier* notifier, const Clock& clock)
    : evaluator_(std::move(config)),
      log_(log),
      mode_(std::move(mode)),
      tones_(tones),
      notifier_(notifier),
      clock_(clock) {}

void AlertService::meterDataHandled(const MeterRegistry& registry, std::string_view meterId) {
    const int row = registry.find(meterId);
    if (row < 0) return;
    const std::int64_t now = unixMsOf(clock_);
    events_.clear();
    evaluator_.evaluate(registry.rows[row].Id.view(), row == 0,
                        alertSampleOf(registry.rows[row], now), events_);
    if (!events_.empty()) tell(now);
}

void AlertService::metersForgotten() {
    const std::int64_t now = unixMsOf(clock_);
    events_.clear();
    evaluator_.forgetAll(now, events_);
    if (!events_.empty()) tell(now);
}

void AlertService::endAll() {
    metersForgotten();
}

void AlertService::tellUnusualDay(const UnusualDayAlert& alert) {
    if (!evaluator_.config().unusualDay) return;
    const AlertLogText line = unusualDayLogText(alert);
    const std::string stamp = stamp_ ? stamp_() : std::string();
    log_.append(mode_(), stamp + safeLogText(line.english), stamp + safeLogText(line.bilingual));
    if (notifier_ != nullptr && evaluator_.config().notify) {
        const AlertNotificationText n = unusualDayNotificationText(alert);
        notifier_->notify(safeLogText(n.summary), safeLogText(n.body));
    }
    if (evaluator_.config().tone) tones_.beep(kAlertToneHz, kAlertToneMs);
    if (unusualDaySink_) unusualDaySink_(alert);
}

void AlertService::seedHistory(std::vector<AlertEvent> earlier) {
    earlier.insert(earlier.end(), history_.begin(), history_.end());
    history_ = std::move(earlier);
    if (history_.size() > kHistoryLimit)
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<long>(history_.size() - kHistoryLimit));
}

void AlertService::tell(std::int64_t) {
    bool started = false;
    for (const AlertEvent& e : events_) {
        const AlertLogText line = alertLogText(e);
        const std::string stamp = stamp_ ? stamp_() : std::string();
        log_.append(mode_(), stamp + safeLogText(line.english),
                    stamp + safeLogText(line.bilingual));
        if (notifier_ != nullptr && evaluator_.config().notify) {
            const AlertNotificationText n = alertNotificationText(e);
            notifier_->notify(safeLogText(n.summary), safeLogText(n.body));
        }
        started = started || e.started;
        history_.push_back(e);
        if (sink_) sink_(e);
    }
    if (history_.size() > kHistoryLimit)
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<long>(history_.size() - kHistoryLimit));
    // One tone however many alerts one message starts (tones block the window), and only when
    // the user asked for it: the program's own tones keep their meaning.
    if (started && evaluator_.config().tone) tones_.beep(kAlertToneHz, kAlertToneMs);
    emit alertsChanged(evaluator_.anyActive());
}

}  // namespace tev::alerts
