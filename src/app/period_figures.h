#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/meterlink/meter_observer.h"
#include "core/store/meter_registry.h"
#include "platform/clock.h"
#include "services/alerts/tariff/tariff.h"
#include "services/archive/sqlite/archive_writer.h"
#include "services/web/rules/archive_costs.h"

namespace tev::app {

// Today's energy of the primary meter and, with a tariff, its cost, from local midnight.
struct TodayFigures {
    double kwh = 0;
    std::optional<double> cost;
};

// Today's, this week's and this month's energy and cost of each meter from the archive
// writer's hour rows as committed, counted by local days of the computer's clock: one source
// for the tray, the broker and the dashboard, whatever the meters' clocks and day counts say.
// As a meter observer it notes the primary meter after each message.
class ArchivePeriods final : public MeterObserver {
  public:
    ArchivePeriods(const archive::ArchiveWriter& writer, const MeterRegistry& registry,
                   const alerts::Tariff& tariff, const Clock& clock)
        : writer_(writer), registry_(registry), tariff_(tariff), clock_(clock) {}

    // The primary meter: the registry's first row, or while the registry is empty (the link
    // is off), the last one it had. On the GUI thread.
    std::string primaryId();
    // Its week starts on `weekStart`, as the dashboard's weeks do.
    web::MeterPeriodCosts primary(archive::WeekStart weekStart = archive::WeekStart::Monday);
    TodayFigures today();
    // Every archived meter, by ID. Safe on any thread.
    std::vector<web::MeterPeriodCosts> all(archive::WeekStart weekStart) const;
    // Every archived meter's ID. Safe on any thread.
    std::vector<std::string> ids() const;

    void meterMessageHandled(const MeterRegistry&, std::string_view) override { primaryId(); }
    void metersForgotten() override {}

  private:
    const archive::ArchiveWriter& writer_;
    const MeterRegistry& registry_;
    const alerts::Tariff& tariff_;
    const Clock& clock_;
    std::string lastPrimary_;
};

}  // namespace tev::app
