#pragma once

#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/archive_queries.h"
#include "services/mqtt/rules/meter_publisher.h"
#include "services/web/rules/snapshot.h"

namespace tev::app {

// Every archived meter's evening figures (the month's energy, its projected cost, the night's
// base load) for /metrics and the broker: made again from the archive file once a minute on a
// thread of its own, so that neither waits on the disk and both read the same figures.
class EveningFigures {
  public:
    static constexpr int kIntervalMs = 60000;

    EveningFigures(std::string folder, archive::ArchiveQueries read,
                   std::function<std::vector<std::string>()> meters, alerts::Tariff tariff,
                   const Clock& clock);
    // Gives up a making under way and waits for it; no other is made after.
    ~EveningFigures();
    void stop();

    // The figures as last made (none before the first making ends). Safe on any thread.
    std::vector<web::EveningMetrics> latest() const;
    // Whether they were made at least once.
    bool made() const;

  private:
    void refresh();

    std::string folder_;
    archive::ArchiveQueries read_;
    std::function<std::vector<std::string>()> meters_;
    alerts::Tariff tariff_;
    const Clock& clock_;
    mutable std::mutex mutex_;
    std::vector<web::EveningMetrics> latest_;
    bool made_ = false;
    std::atomic<bool> running_{false};
    std::shared_ptr<std::atomic<bool>> stopping_ = std::make_shared<std::atomic<bool>>(false);
    QTimer timer_;
    // Declared last: waited for before anything its work uses is gone.
    QThreadPool pool_;
};

// Puts each archived meter's evening figures on the broker once a minute: its discovery the
// first time the meter's figures are there, then its figures, retained, when they changed.
class EveningPublisher {
  public:
    EveningPublisher(mqtt::MeterPublisher& publisher, const mqtt::MqttSettings& settings,
                     std::shared_ptr<const EveningFigures> figures, std::string currency,
                     bool priced);
    // Called once a minute.
    void tick();

  private:
    mqtt::MeterPublisher& publisher_;
    mqtt::MqttSettings settings_;
    std::shared_ptr<const EveningFigures> figures_;
    std::string currency_;
    bool priced_;
    // By meter ID: the payload last sent ("" none yet, but its discovery is out).
    std::map<std::string, std::string, std::less<>> sent_;
    QTimer timer_;
};

}  // namespace tev::app
