#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/alert_publisher.h"
#include "app/period_figures.h"
#include "services/alerts/rules/tray_summary.h"
#include "services/web/rules/api_router.h"
#include "tests/services/archive/sqlite/archive_fixture.h"
#include "tests/support/fake_mqtt_client.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"

namespace tev::app {
namespace {

using archive::testing::at;

// 1/128 kWh every 10 s: every day count is exact in the meter's float.
constexpr double kKw = 2.8125;
constexpr std::int64_t kStep = 10;
constexpr char kMeter[] = "HOQ000000001";

enum class Meter { InStep, Behind, Ahead, NeverRestarts, OffLine, Restarted };

// The meter's day count at recorder time `t`: energy since the meter's own midnight, its clock
// `shift` seconds off; a message at its midnight still closes the old day.
float dayCount(Meter m, std::int64_t t, std::int64_t first) {
    if (m == Meter::NeverRestarts) return static_cast<float>(1234 + kKw * (t - first) / 3600);
    const std::int64_t shift = m == Meter::Behind ? -180 : m == Meter::Ahead ? 180 : 0;
    const std::int64_t tau = t + shift;
    return static_cast<float>(kKw * (tau - archive::localDayStart(tau - 1)) / 3600);
}

// What the meter really used, as its readings tell it: each reading from `from` to `to` that
// the recorder heard adds the 10 s before it, priced at 0.30 a kWh before midnight and 0.10
// after (the night band of the tariff below). The first reading of the meter, and with it off
// -line the first one back on the new day, are where counting starts.
struct Used {
    double kwh = 0, cost = 0;
};
Used used(std::int64_t first, std::int64_t from, std::int64_t to, std::int64_t midnight, Meter m) {
    Used u;
    for (std::int64_t t = first + kStep; t <= to; t += kStep) {
        const bool offLine = m == Meter::OffLine && t > midnight - 600 && t <= midnight + 1200;
        if (t < from || offLine) continue;
        const double kwh = kKw * kStep / 3600;
        u.kwh += kwh;
        u.cost += kwh * (t < midnight ? 0.30 : 0.10);
    }
    return u;
}

double numberAfter(const std::string& text, const std::string& key) {
    const auto p = text.find(key);
    EXPECT_NE(p, std::string::npos) << key << " in " << text;
    return p == std::string::npos ? -1 : std::atof(text.c_str() + p + key.size());
}

class ArchiveToday : public archive::testing::ArchiveFolder {
  protected:
    alerts::Tariff tariff =
        alerts::loadTariff(IniDocument::parse("[tariff]\ncurrency=\xE2\x82\xAC\n"
                                              "price_per_kwh=0.30\n"
                                              "standing_charge_per_day=0.50\n"
                                              "band_1=all 00:00-06:00 0.10\n"))
            .tariff;
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    MeterRegistry& registry = store->registry;
    tev::testing::FakeMqttClient client;
    mqtt::MqttSettings settings = [] {
        mqtt::MqttSettings s;
        s.host = "127.0.0.1";
        return s;
    }();
    mqtt::MeterPublisher publisher{settings, client, [](const std::string&) {}};
    EventLog log{clock};
    tev::testing::RecordingToneSink tones;
    std::unique_ptr<alerts::AlertService> alertService;

    void SetUp() override {
        ArchiveFolder::SetUp();
        tev::testing::qtApplication();
        alertService = std::make_unique<alerts::AlertService>(
            alerts::loadAlertConfig(IniDocument::parse("")).config, log,
            [] { return LanguageMode::English; }, tones, nullptr, clock);
        publisher.start();
        client.connect();
    }
    std::string lastCost() const {
        std::string last;
        for (const auto& m : client.sent)
            if (m.topic == std::string("tev3p/") + kMeter + "/cost") last = m.payload;
        return last;
    }
};

// Through a midnight, the tray, the broker and both cost answers read the same figures from
// the archive's hour rows, and those are what the meter used since the recorder's midnight,
// whatever the meter's clock or day count does.
TEST_F(ArchiveToday, TheTrayTheBrokerAndTheDashboardAgreeWithWhatTheMeterUsedAcrossMidnight) {
    const struct {
        const char* name;
        Meter meter;
    } cases[] = {{"in step", Meter::InStep},
                 {"3 min behind", Meter::Behind},
                 {"3 min ahead", Meter::Ahead},
                 {"never restarts", Meter::NeverRestarts},
                 {"off-line 23:50-00:20", Meter::OffLine},
                 {"restarted at 00:00:30", Meter::Restarted}};
    const std::int64_t first = at("2026-12-09T23:00:00");
    const std::int64_t midnight = at("2026-12-10T00:00:00");
    const std::int64_t restart = at("2026-12-10T00:00:30");
    const std::int64_t checks[] = {at("2026-12-09T23:58:00"), at("2026-12-10T00:01:00"),
                                   at("2026-12-10T00:05:00"), at("2026-12-10T00:30:00")};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        client.sent.clear();
        auto o = options();
        o.folder = folder + "/" + std::to_string(static_cast<int>(c.meter));
        std::filesystem::create_directories(o.folder);
        clock.setUnixSeconds(first);
        auto writer = std::make_unique<archive::ArchiveWriter>(o, clock);
        writer->start();
        std::optional<ArchivePeriods> periods;
        periods.emplace(*writer, registry, tariff, clock);
        AlertPublisher mqtt(
            publisher, settings, *alertService, [&periods] { return periods->today(); },
            "\xE2\x82\xAC", clock);
        registry = MeterRegistry{};
        std::int64_t t = first;
        for (const std::int64_t check : checks) {
            for (; t <= check; t += kStep) {
                const bool silent =
                    c.meter == Meter::OffLine && t > midnight - 600 && t < midnight + 1200;
                registry.MeterCount = silent ? 0 : 1;
                if (silent) continue;
                registry.rows[0].Id.assign(kMeter);
                periods->meterMessageHandled(registry, kMeter);
                mqtt.meterDataHandled(registry, kMeter);
                writer->push(archive::testing::sampleAt(kMeter, t, {230, 230, 230}, {4, 4, 4},
                                                        dayCount(c.meter, t, first)));
                if (c.meter == Meter::Restarted && t == restart) {
                    clock.setUnixSeconds(t);
                    writer->stop();
                    writer = std::make_unique<archive::ArchiveWriter>(o, clock);
                    writer->start();
                    periods.emplace(*writer, registry, tariff, clock);
                }
            }
            clock.setUnixSeconds(check);
            writer->flush();
            SCOPED_TRACE(archive::isoLocal(check));
            const std::int64_t today = archive::localDayStart(check);
            const Used day = used(first, today, check, midnight, c.meter);
            const Used all = used(first, first, check, midnight, c.meter);
            const double days = check >= midnight ? 2 : 1;

            const app::TodayFigures figures = periods->today();
            alerts::TraySnapshot tray{true, 1, false, 0, figures.kwh, figures.cost, "\xE2\x82\xAC"};
            const std::string tip = alerts::trayToolTip(tray);
            EXPECT_NEAR(numberAfter(tip, "today "), day.kwh, 0.0051) << tip;
            EXPECT_NEAR(numberAfter(tip, "\xE2\x82\xAC "), day.cost + 0.50, 0.0051) << tip;

            // The timer's call: while the meter is off-line no data message comes.
            mqtt.tick();
            publisher.service(registry, unixMsOf(clock));
            const std::string payload = lastCost();
            EXPECT_NEAR(numberAfter(payload, "\"cost_today\":"), day.cost + 0.50, 0.0051);
            EXPECT_NEAR(numberAfter(payload, "\"energy_today\":"), day.kwh, 0.0005);

            const web::ServiceStatus status;
            const web::ApiContext context{
                *store, status, {}, {}, &tariff, [&periods] { return periods->primary(); }};
            const std::string costs =
                web::answerApi(web::parseRequestTarget("/api/v1/costs").target, context)->body;
            EXPECT_NEAR(numberAfter(costs, "\"today\":"), day.cost + 0.50, 1e-4) << costs;
            EXPECT_NEAR(numberAfter(costs, "\"week\":"), all.cost + 0.50 * days, 1e-4);
            EXPECT_NEAR(numberAfter(costs, "\"month\":"), all.cost + 0.50 * days, 1e-4);

            const std::string meters =
                web::meterCostsJson(periods->all(archive::WeekStart::Sunday), tariff);
            // The archive's meters, which the dashboard's meters answer keeps listed.
            EXPECT_EQ(periods->ids(), std::vector<std::string>{kMeter});
            EXPECT_NEAR(numberAfter(meters, "\"kwh_today\":"), day.kwh, 1e-4) << meters;
            // The meter's costs are its energy's; the site's add the standing charge once.
            EXPECT_NEAR(numberAfter(meters, "\"today\":"), day.cost, 1e-4);
            EXPECT_NEAR(numberAfter(meters, "\"kwh_week\":"), all.kwh, 1e-4);
            EXPECT_NEAR(numberAfter(meters, "\"month\":"), all.cost, 1e-4);
            const std::string site = meters.substr(meters.find("\"site\":"));
            EXPECT_NEAR(numberAfter(site, "\"today\":"), day.cost + 0.50, 1e-4);
            EXPECT_NEAR(numberAfter(site, "\"month\":"), all.cost + 0.50 * days, 1e-4);
        }
        writer->stop();
    }
}

}  // namespace
}  // namespace tev::app
