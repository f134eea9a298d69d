#include "services/archive/sqlite/archive_service.h"

#include <cmath>
#include <memory>

#include "core/meterlink/meter_link.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "services/archive/sqlite/archive_reader.h"
#include "tests/core/meterlink/meter_link_fixture.h"
#include "tests/services/archive/sqlite/archive_fixture.h"
#include "tests/support/recording_tone_sink.h"

namespace tev::archive {
namespace {

constexpr std::string_view kA = "A1B2C3D4E5F6";
constexpr std::string_view kB = "A1B2C3D4E5F7";

// The meter protocol of a real store feeding the archive as the window does: every message
// told, a data message's readings told once more.
class Service : public testing::ArchiveFolder {
  protected:
    void SetUp() override {
        ArchiveFolder::SetUp();
        clock.setUnixSeconds(testing::at("2026-05-04T08:00:00"));
        link = std::make_unique<MeterLink>(*store, eventLog, tones, clock, language, folder);
        service = std::make_unique<ArchiveService>(options(), clock);
        service->start();
    }
    void TearDown() override {
        service->stop();
        ArchiveFolder::TearDown();
    }

    void send(const std::string& message) {
        link->handleMessage(message);
        service->meterMessageHandled(store->registry, link->currentId());
        if (link->lastMessageWasData())
            service->meterDataHandled(store->registry, link->currentId());
    }
    // A data message with its own voltage on every phase and the day energy count `kwh`.
    void data(std::string_view id, int secs, float volts, float kwh) {
        tev::testing::WordTexts w = tev::testing::typicalWords();
        for (int p = 0; p < 3; ++p) w[static_cast<std::size_t>(p)] = std::to_string(volts);
        w[9] = std::to_string(kwh);
        send(tev::testing::dataMessage(id, 260504, secs, w));
    }
    // What the off-line alarm does to the registry and the services.
    void offlineAlarm() {
        store->registry.MeterCount = 0;
        link->forgetConnection();
        service->metersForgotten();
    }
    // Minute rows of `id`: (time, energy, V1 min, V1 max).
    std::vector<std::array<double, 4>> minutes(std::string_view id) {
        service->writer().flush();
        std::string error;
        const ArchiveSeries s = queryArchiveSeries(
            folder, {std::string(id), Resolution::Minute, {"Energy", "V1_min", "V1_max"}, {}, {}},
            error);
        EXPECT_TRUE(error.empty()) << error;
        std::vector<std::array<double, 4>> rows;
        for (std::size_t i = 0; i < s.time.size(); ++i)
            rows.push_back(
                {static_cast<double>(s.time[i]), s.values[0][i], s.values[1][i], s.values[2][i]});
        return rows;
    }

    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    EventLog eventLog{clock};
    tev::testing::RecordingToneSink tones;
    LanguageMode language = LanguageMode::English;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<ArchiveService> service;
};

TEST_F(Service, RecordsEachDataMessageOnceAndNeverAPollOrDeviceMessage) {
    send(tev::testing::deviceMessage(kA));  // registered, no readings yet
    data(kA, 28800, 230, 1.0f);
    data(kA, 28800, 230, 1.0f);  // the same message again is one reading
    send(tev::testing::pollMessage(kA));
    clock.advanceSeconds(1);
    data(kA, 28801, 232, 1.1f);
    const auto rows = minutes(kA);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(rows[0][1], 0.1, 1e-5);
    EXPECT_NEAR(rows[0][2], 230, 1e-3);
    EXPECT_NEAR(rows[0][3], 232, 1e-3);
    std::string error;
    const ArchiveSeries n = queryArchiveSeries(
        folder, {std::string(kA), Resolution::Minute, {"Messages"}, {}, {}}, error);
    ASSERT_EQ(n.time.size(), 1u);
    EXPECT_EQ(n.values[0][0], 2);
}

// After the off-line alarm each meter comes back into whatever row is free, which still holds
// the readings of the meter that had it before. Whatever order they come back in, each
// meter's return minute holds its own readings and only the energy it used since its own
// last reading.
TEST_F(Service, MetersBackFromTheOfflineAlarmRecordOnlyTheirOwnEnergy) {
    struct Case {
        const char* name;
        std::vector<std::string_view> back;  // the order they come back in
        bool deviceMessageFirst;
    };
    const Case cases[] = {
        {"both, the other order", {kB, kA}, true},
        {"both, the other order, data first", {kB, kA}, false},
        {"both, the same order", {kA, kB}, true},
        {"the second meter alone", {kB}, true},
        {"the first meter alone", {kA}, true},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int64_t start = testing::at("2026-05-04T09:00:00") + round * 3600;
        ++round;
        clock.setUnixSeconds(start);
        const int secs = static_cast<int>(start - testing::at("2026-05-04T00:00:00"));
        // Meter A counts 50 kWh at 231 V, meter B 0.01 kWh at 215 V.
        send(tev::testing::deviceMessage(kA));
        data(kA, secs, 231, 50.0f + round);
        send(tev::testing::deviceMessage(kB));
        data(kB, secs, 215, 0.01f * round);
        clock.advanceSeconds(20);
        offlineAlarm();
        clock.advanceSeconds(100);
        for (std::string_view id : c.back) {
            if (c.deviceMessageFirst) send(tev::testing::deviceMessage(id));
            const bool isA = id == kA;
            data(id, secs + 120, isA ? 233 : 216,
                 isA ? 50.0f + round + 0.5f : 0.01f * round + 0.009f);
        }
        for (std::string_view id : {kA, kB}) {
            const bool isA = id == kA;
            const bool back = std::find(c.back.begin(), c.back.end(), id) != c.back.end();
            const auto rows = minutes(id);
            const auto ret = std::find_if(rows.begin(), rows.end(), [&](const auto& r) {
                return static_cast<std::int64_t>(r[0]) == start + 120;
            });
            if (!back) {
                EXPECT_EQ(ret, rows.end()) << id;
                continue;
            }
            ASSERT_NE(ret, rows.end()) << id;
            EXPECT_NEAR((*ret)[1], isA ? 0.5 : 0.009, 1e-4) << id;
            EXPECT_NEAR((*ret)[2], isA ? 233 : 216, 1e-3) << id;
            EXPECT_NEAR((*ret)[3], isA ? 233 : 216, 1e-3) << id;
        }
        offlineAlarm();
    }
}

}  // namespace
}  // namespace tev::archive
