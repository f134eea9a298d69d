#include "app/evening_figures.h"

#include "services/archive/rules/local_time.h"
#include "services/mqtt/rules/evening_topics.h"
#include "services/web/rules/insights_json.h"

namespace tev::app {

EveningFigures::EveningFigures(std::string folder, archive::ArchiveQueries read,
                               std::function<std::vector<std::string>()> meters,
                               alerts::Tariff tariff, const Clock& clock)
    : folder_(std::move(folder)),
      read_(read),
      meters_(std::move(meters)),
      tariff_(std::move(tariff)),
      clock_(clock) {
    pool_.setMaxThreadCount(1);
    timer_.setInterval(kIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { refresh(); });
    timer_.start();
    refresh();
}

EveningFigures::~EveningFigures() {
    stop();
}

void EveningFigures::stop() {
    timer_.stop();
    stopping_->store(true);
    pool_.waitForDone();
}

std::vector<web::EveningMetrics> EveningFigures::latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

bool EveningFigures::made() const {
    std::lock_guard lock(mutex_);
    return made_;
}

void EveningFigures::refresh() {
    if (read_.series == nullptr || !meters_ || stopping_->load() || running_.exchange(true)) return;
    const std::int64_t now = unixSecondsOf(clock_);
    pool_.start([this, now] {
        const archive::ReadStop stop(archive::ReadStop::Clock::now() + archive::kArchiveReadLimit,
                                     stopping_);
        const alerts::Tariff* tariff = tariff_.configured() ? &tariff_ : nullptr;
        std::vector<web::EveningMetrics> figures;
        for (const std::string& meter : meters_()) {
            std::string error;
            archive::SeriesQuery hours = web::eveningHourQuery(meter, now);
            hours.stop = &stop;
            const archive::ArchiveSeries h = read_.series(folder_, hours, error);
            archive::SeriesQuery minutes = web::eveningMinuteQuery(meter, now);
            minutes.stop = &stop;
            const archive::ArchiveSeries m =
                error.empty() ? read_.series(folder_, minutes, error) : archive::ArchiveSeries{};
            // A read that failed or was given up keeps the figures made before.
            if (!error.empty() || stop.stopped()) {
                running_ = false;
                return;
            }
            figures.push_back(
                web::eveningMetrics(meter, web::hourRowsOf(h), web::minuteRowsOf(m), now, tariff));
        }
        {
            std::lock_guard lock(mutex_);
            latest_ = std::move(figures);
            made_ = true;
        }
        running_ = false;
    });
}

EveningPublisher::EveningPublisher(mqtt::MeterPublisher& publisher,
                                   const mqtt::MqttSettings& settings,
                                   std::shared_ptr<const EveningFigures> figures,
                                   std::string currency, bool priced)
    : publisher_(publisher),
      settings_(settings),
      figures_(std::move(figures)),
      currency_(std::move(currency)),
      priced_(priced) {
    timer_.setInterval(EveningFigures::kIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start();
}

void EveningPublisher::tick() {
    if (!figures_) return;
    for (const web::EveningMetrics& m : figures_->latest()) {
        auto it = sent_.find(m.meter);
        if (it == sent_.end()) {
            for (mqtt::DiscoveryMessage& d :
                 mqtt::eveningDiscoveryMessages(settings_, m.meter, priced_, currency_))
                publisher_.queueRetained(std::move(d.topic), std::move(d.payload));
            it = sent_.emplace(m.meter, std::string()).first;
        }
        std::string payload =
            mqtt::eveningJson(m.monthKwh, archive::isoLocal(m.monthStart),
                              priced_ ? m.projectedCost : std::nullopt, currency_, m.baseWatts);
        if (payload == it->second) continue;
        publisher_.queueRetained(mqtt::eveningTopic(settings_, m.meter), payload);
        it->second = std::move(payload);
    }
}

}  // namespace tev::app
