#include "core/persistence/device_export.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tev {
namespace {

std::uint32_t cellAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint32_t bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Offsets inside one 9400-byte record, from the record layout: texts 160 bytes, 60 single
// fields, 150 ten-minute slots, 60 hour rows of 4, then 200, 60 and 50 history rows of 6 cells.
constexpr std::size_t kSingles = 160;
constexpr std::size_t kTenMinute = 400;
constexpr std::size_t kHours = 1000;
constexpr std::size_t kDays = 1960;
constexpr std::size_t kDaysB = 6760;
constexpr std::size_t kMonths = 8200;

void fillMeter(MeterEntry& m, int n) {
    m.Id.assign(n == 0 ? "HOQ000000001" : "HOQ000000002");
    m.IpAddr.assign("192.168.1.100");
    m.Model.assign("HOQ-260");
    m.Proj.assign("Project");
    m.Tag.assign("Tag");
    m.MeterDate = 240802 + n;
    m.Secs = 3600;
    m.Cfg1 = 11, m.Cfg3 = 13, m.Field23 = 23, m.Field24 = 24, m.Field25 = 25, m.Field22 = 22;
    m.Adc1 = 101, m.Adc2 = 102, m.Adc3 = 103;
    m.V1 = 230.5f, m.A3 = 7.25f, m.Field6 = 6.5f, m.VoltMean = 229.75f, m.MaxAmp = 9.5f;
    for (int i = 0; i < 12; ++i) m.Energy[i] = 100.0f + i;
    for (int i = 0; i < 15; ++i) m.Param[i] = 200.0f + i;
    m.DayFileCount = 3;
    m.TenMinuteSlots[0] = 0.5f;
    m.TenMinuteSlots[149] = 149.5f;
    m.HourSlots[59] = HourSlot{1.5f, 2.5f, 3.5f, 0.0f};
    m.DayHistory.count = 2;
    m.DayHistory.entries[1] = HistoryEntry{240801, 228.0f, {10.0f, 11.0f, 12.0f, 13.0f}};
    m.DayHistoryB.count = 1;
    m.DayHistoryB.entries[0] = HistoryEntry{240802, 227.0f, {14.0f, 15.0f, 16.0f, 17.0f}};
    m.MonthHistory.count = 1;
    m.MonthHistory.entries[49] = HistoryEntry{240731, 226.0f, {18.0f, 19.0f, 20.0f, 21.0f}};
}

TEST(DeviceExport, TwoMetersGiveTheCountThenTwoRecordsWithEveryFieldInPlace) {
    auto registry = std::make_unique<MeterRegistry>();
    registry->MeterCount = 2;
    fillMeter(registry->rows[0], 0);
    fillMeter(registry->rows[1], 1);
    const std::vector<std::uint8_t> b = encodeDeviceExport(*registry);
    ASSERT_EQ(b.size(), 4u + 2u * 9400u);
    EXPECT_EQ(cellAt(b, 0), 2u);

    for (int n = 0; n < 2; ++n) {
        const std::size_t r = 4 + static_cast<std::size_t>(n) * 9400;
        // Texts at 0, 12, 30, 60 and 140, zero-padded to their kept lengths.
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[r]), 12),
                  n == 0 ? "HOQ000000001" : "HOQ000000002");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[r + 12]), 13), "192.168.1.100");
        EXPECT_EQ(b[r + 12 + 13], 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[r + 30]), 7), "HOQ-260");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[r + 60]), 7), "Project");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[r + 140]), 3), "Tag");
        EXPECT_EQ(b[r + 159], 0);

        const std::size_t s = r + kSingles;
        const std::uint32_t expectedSingles[] = {240802u + n, 3600, 11, 13, 23,  24,  25, 22, 0,
                                                 0,           0,    0,  0,  101, 102, 0,  103};
        for (std::size_t i = 0; i < std::size(expectedSingles); ++i)
            EXPECT_EQ(cellAt(b, s + 4 * i), expectedSingles[i]) << "single field " << i;
        EXPECT_EQ(cellAt(b, s + 4 * 17), bits(230.5f));   // V1
        EXPECT_EQ(cellAt(b, s + 4 * 22), bits(7.25f));    // A3
        EXPECT_EQ(cellAt(b, s + 4 * 25), bits(6.5f));     // Field6
        EXPECT_EQ(cellAt(b, s + 4 * 26), bits(229.75f));  // VoltMean
        EXPECT_EQ(cellAt(b, s + 4 * 27), bits(9.5f));     // MaxAmp
        EXPECT_EQ(cellAt(b, s + 4 * 28), 0u);             // spare
        EXPECT_EQ(cellAt(b, s + 4 * 29), bits(100.0f));   // Energy[0]
        EXPECT_EQ(cellAt(b, s + 4 * 40), bits(111.0f));   // Energy[11]
        EXPECT_EQ(cellAt(b, s + 4 * 41), bits(200.0f));   // Param[0]
        EXPECT_EQ(cellAt(b, s + 4 * 55), bits(214.0f));   // Param[14]
        EXPECT_EQ(cellAt(b, s + 4 * 56), 3u);             // DayFileCount
        EXPECT_EQ(cellAt(b, s + 4 * 57), 2u);             // DayHistory count
        EXPECT_EQ(cellAt(b, s + 4 * 58), 1u);             // DayHistoryB count
        EXPECT_EQ(cellAt(b, s + 4 * 59), 1u);             // MonthHistory count

        EXPECT_EQ(cellAt(b, r + kTenMinute), bits(0.5f));
        EXPECT_EQ(cellAt(b, r + kTenMinute + 149 * 4), bits(149.5f));
        EXPECT_EQ(cellAt(b, r + kHours + 59 * 16), bits(1.5f));
        EXPECT_EQ(cellAt(b, r + kHours + 59 * 16 + 8), bits(3.5f));
        // History rows: date, mean voltage, then the 2nd, 3rd and 4th energy and the 1st.
        const std::size_t day1 = r + kDays + 1 * 24;
        EXPECT_EQ(cellAt(b, day1), 240801u);
        EXPECT_EQ(cellAt(b, day1 + 4), bits(228.0f));
        EXPECT_EQ(cellAt(b, day1 + 8), bits(11.0f));
        EXPECT_EQ(cellAt(b, day1 + 16), bits(13.0f));
        EXPECT_EQ(cellAt(b, day1 + 20), bits(10.0f));
        EXPECT_EQ(cellAt(b, r + kDaysB), 240802u);
        EXPECT_EQ(cellAt(b, r + kDaysB + 20), bits(14.0f));
        const std::size_t month49 = r + kMonths + 49 * 24;
        EXPECT_EQ(cellAt(b, month49), 240731u);
        EXPECT_EQ(cellAt(b, month49 + 8), bits(19.0f));
        EXPECT_EQ(cellAt(b, month49 + 20), bits(18.0f));
        EXPECT_EQ(month49 + 24, r + 9400);
    }
}

TEST(DeviceExport, EmptyRegistryIsTheCountAlone) {
    auto registry = std::make_unique<MeterRegistry>();
    const std::vector<std::uint8_t> b = encodeDeviceExport(*registry);
    EXPECT_EQ(b, std::vector<std::uint8_t>(4, 0));
}

}  // namespace
}  // namespace tev
