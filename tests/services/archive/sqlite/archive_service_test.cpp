#include "services/archive/sqlite/archive_service.h"

#include "services/archive/sqlite/archive_reader.h"
#include "tests/services/archive/sqlite/archive_fixture.h"

namespace tev::archive {
namespace {

class Service : public testing::ArchiveFolder {};

TEST_F(Service, RecordsDataMessagesOnlyNotPollsDeviceMessagesOrAnEmptyNewRow) {
    clock.setUnixSeconds(testing::at("2026-05-04T08:00:00"));
    ArchiveService service(options(), clock);
    service.start();
    MeterRegistry reg;
    reg.MeterCount = 2;
    reg.rows[0].Id.assign("A1B2C3D4E5F6");
    reg.rows[1].Id.assign("A1B2C3D4E5F7");
    service.meterMessageHandled(reg, "A1B2C3D4E5F6");  // registered by a device message
    auto data = [&](int row, std::int32_t secs, float v1, float e) {
        reg.rows[row].MeterDate = 260504;
        reg.rows[row].Secs = secs;
        reg.rows[row].V1 = v1;
        reg.rows[row].A1 = 2;
        reg.rows[row].Energy[0] = e;
        service.meterMessageHandled(reg, reg.rows[row].Id.view());
    };
    data(0, 28800, 230, 1.0f);
    clock.advanceSeconds(1);
    service.meterMessageHandled(reg, "A1B2C3D4E5F6");  // a poll changes nothing
    data(1, 28801, 210, 2.0f);
    clock.advanceSeconds(1);
    data(0, 28802, 232, 1.1f);
    service.meterMessageHandled(reg, "UNKNOWN00000");
    service.metersForgotten();
    service.meterMessageHandled(reg, "A1B2C3D4E5F6");  // after forgetting, a message is new
    service.stop();

    std::string error;
    const ArchiveSeries a = queryArchiveSeries(
        folder, {"A1B2C3D4E5F6", Resolution::Minute, {"Messages", "V1_min", "V1_max"}, {}, {}},
        error);
    ASSERT_EQ(a.time.size(), 1u) << error;
    EXPECT_EQ(a.values[0][0], 3);
    EXPECT_NEAR(a.values[1][0], 230, 1e-4);
    EXPECT_NEAR(a.values[2][0], 232, 1e-4);
    const ArchiveSeries b = queryArchiveSeries(
        folder, {"A1B2C3D4E5F7", Resolution::Minute, {"Messages"}, {}, {}}, error);
    ASSERT_EQ(b.time.size(), 1u);
    EXPECT_EQ(b.values[0][0], 1);
}

}  // namespace
}  // namespace tev::archive
