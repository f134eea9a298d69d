#include "core/persistence/records_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/persistence/atomic_file.h"

namespace tev {
namespace {

std::uint32_t cellAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::uint32_t floatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Block offsets and row sizes written out by hand from the file layout.
constexpr std::size_t kCountOffset[] = {0, 544004, 1088008, 1632012, 1972016, 2228020, 2420024};
constexpr std::size_t kRowSize[] = {68, 68, 68, 68, 64, 64, 64};

std::size_t cellOffset(int table, int row, int column) {
    return kCountOffset[table] + 4 + static_cast<std::size_t>(row) * kRowSize[table] +
           static_cast<std::size_t>(column) * 4;
}

void fillDistinct(MeasurementStore& s) {
    for (int i = 0; i < kScaleCount; ++i) {
        ScaleTable& t = s.tableAt(i);
        t.cnt = 10 + i;
        for (int c = 0; c < t.columns(); ++c)
            for (int r = 0; r < t.rowSlots(); ++r)
                t.raw(c, r) = static_cast<std::uint32_t>((i + 1) * 0x1000000 + c * 0x10000 + r);
    }
}

TEST(RecordsImage, FreshStoreGivesTheFixedSizeWithSevenZeroCounts) {
    MeasurementStore store;
    const std::vector<std::uint8_t> bytes = encodeRecords(store);
    ASSERT_EQ(bytes.size(), 2548028u);
    for (int i = 0; i < kScaleCount; ++i) {
        EXPECT_EQ(recordsBlockOffset(scaleAt(i)), kCountOffset[i]);
        EXPECT_EQ(cellAt(bytes, kCountOffset[i]), 0u);
    }
    for (std::uint8_t b : bytes) ASSERT_EQ(b, 0);
}

TEST(RecordsImage, CellsLandAtTheirByteOffsetsRowByRow) {
    MeasurementStore store;
    ScaleTable& min = store.table(TimeScale::Min);
    min.cnt = 3;
    min.setValue(kColV3, 5, 1.5f);
    min.setDate(5, 240802);
    min.setTime(5, 485);
    min.setValue(kColK3, 7999, -2.25f);
    ScaleTable& hour = store.table(TimeScale::Hour);
    hour.cnt = 4999;
    hour.setTime(4999, 1380);
    ScaleTable& day = store.table(TimeScale::Day);
    day.cnt = 2;
    day.setDate(7, 91231);
    day.setValue(kColKWh, 3999, 12.5f);
    ScaleTable& month = store.table(TimeScale::Month);
    month.cnt = 999;
    month.setValue(kColAmp, 1999, 0.1f);
    month.setDate(1999, 2412);

    const std::vector<std::uint8_t> bytes = encodeRecords(store);
    EXPECT_EQ(cellAt(bytes, 0), 3u);
    EXPECT_EQ(cellAt(bytes, cellOffset(0, 5, 2)), floatBits(1.5f));
    EXPECT_EQ(cellAt(bytes, cellOffset(0, 5, 15)), 240802u);
    EXPECT_EQ(cellAt(bytes, cellOffset(0, 5, 16)), 485u);
    EXPECT_EQ(cellAt(bytes, cellOffset(0, 7999, 14)), floatBits(-2.25f));
    EXPECT_EQ(cellAt(bytes, 1632012), 4999u);
    EXPECT_EQ(cellAt(bytes, cellOffset(3, 4999, 16)), 1380u);
    EXPECT_EQ(cellAt(bytes, 1972016), 2u);
    EXPECT_EQ(cellAt(bytes, cellOffset(4, 7, 15)), 91231u);
    EXPECT_EQ(cellAt(bytes, cellOffset(4, 3999, 11)), floatBits(12.5f));
    EXPECT_EQ(cellAt(bytes, 2420024), 999u);
    EXPECT_EQ(cellAt(bytes, cellOffset(6, 1999, 3)), floatBits(0.1f));
    EXPECT_EQ(cellAt(bytes, cellOffset(6, 1999, 15)), 2412u);
    EXPECT_EQ(cellOffset(6, 1999, 15) + 4, 2548028u);  // the very last cell
    // Little-endian: 240802 = 0x0003ACA2.
    EXPECT_EQ(bytes[cellOffset(0, 5, 15)], 0xA2);
    EXPECT_EQ(bytes[cellOffset(0, 5, 15) + 1], 0xAC);
    EXPECT_EQ(bytes[cellOffset(0, 5, 15) + 2], 0x03);
}

TEST(RecordsImage, RoundTripRestoresCountsAndEveryWrittenRowButNoRowBeyond) {
    MeasurementStore source;
    fillDistinct(source);
    const std::vector<std::uint8_t> bytes = encodeRecords(source);

    MeasurementStore target;
    ScaleTable& min = target.table(TimeScale::Min);
    min.raw(0, 8000) = 0xDEADBEEF;
    min.raw(16, 18009) = 0xFEEDFACE;
    const RecordsDecodeReport report = decodeRecords(bytes, target);
    EXPECT_TRUE(report.complete);
    EXPECT_TRUE(report.clamped.empty());
    EXPECT_EQ(report.bytesUsed, kRecordsFileSize);
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleTable& a = source.tableAt(i);
        const ScaleTable& b = target.tableAt(i);
        EXPECT_EQ(b.cnt, a.cnt);
        for (int c = 0; c < a.columns(); ++c)
            for (int r = 0; r < a.geometry().fileRows; ++r)
                ASSERT_EQ(b.raw(c, r), a.raw(c, r)) << i << " " << c << " " << r;
    }
    EXPECT_EQ(min.raw(0, 8000), 0xDEADBEEFu);
    EXPECT_EQ(min.raw(16, 18009), 0xFEEDFACEu);
    EXPECT_EQ(encodeRecords(target), bytes);
}

TEST(RecordsImage, ShortImageFillsTheStoreUpToWhereItEnds) {
    MeasurementStore source;
    fillDistinct(source);
    std::vector<std::uint8_t> bytes = encodeRecords(source);
    // Cut in the middle of M10 row 100, two cells and two bytes into it.
    const std::size_t cut = cellOffset(2, 100, 2) + 2;
    bytes.resize(cut);

    MeasurementStore target;
    const RecordsDecodeReport report = decodeRecords(bytes, target);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.bytesUsed, cellOffset(2, 100, 2));
    EXPECT_EQ(target.table(TimeScale::Min).cnt, source.table(TimeScale::Min).cnt);
    EXPECT_EQ(target.table(TimeScale::M5).raw(16, 7999), source.table(TimeScale::M5).raw(16, 7999));
    const ScaleTable& m10 = target.table(TimeScale::M10);
    EXPECT_EQ(m10.cnt, source.table(TimeScale::M10).cnt);
    EXPECT_EQ(m10.raw(16, 99), source.table(TimeScale::M10).raw(16, 99));
    EXPECT_EQ(m10.raw(1, 100), source.table(TimeScale::M10).raw(1, 100));
    EXPECT_EQ(m10.raw(2, 100), 0u);  // the half cell is not taken
    EXPECT_EQ(m10.raw(0, 101), 0u);
    EXPECT_EQ(target.table(TimeScale::Hour).cnt, 0);
    EXPECT_EQ(target.table(TimeScale::Month).raw(0, 0), 0u);

    MeasurementStore untouched;
    untouched.table(TimeScale::Min).cnt = 42;
    const std::vector<std::uint8_t> three = {1, 2, 3};
    decodeRecords(three, untouched);
    EXPECT_EQ(untouched.table(TimeScale::Min).cnt, 42);
}

TEST(RecordsImage, CountOutsideTheFileRowsIsClampedAndReported) {
    MeasurementStore source;
    source.table(TimeScale::Min).cnt = -5;
    source.table(TimeScale::Hour).cnt = 5000;
    source.table(TimeScale::Month).cnt = 2147483647;
    source.table(TimeScale::Day).cnt = 3999;
    const std::vector<std::uint8_t> bytes = encodeRecords(source);
    MeasurementStore target;
    const RecordsDecodeReport report = decodeRecords(bytes, target);
    EXPECT_EQ(target.table(TimeScale::Min).cnt, 0);
    EXPECT_EQ(target.table(TimeScale::Hour).cnt, 4999);
    EXPECT_EQ(target.table(TimeScale::Month).cnt, 1999);
    EXPECT_EQ(target.table(TimeScale::Day).cnt, 3999);
    ASSERT_EQ(report.clamped.size(), 3u);
    EXPECT_EQ(report.clamped[0].scale, TimeScale::Min);
    EXPECT_EQ(report.clamped[0].stored, -5);
    EXPECT_EQ(report.clamped[0].used, 0);
    EXPECT_EQ(report.clamped[1].scale, TimeScale::Hour);
    EXPECT_EQ(report.clamped[2].stored, 2147483647);
}

TEST(RecordsFile, WritesReadsAndReportsMissingAndUnwritableFiles) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tev_records_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "TEV3P_Records.dat").string();

    MeasurementStore source;
    fillDistinct(source);
    // An older, larger file is replaced whole, not overwritten in place.
    { std::ofstream(path, std::ios::binary) << std::string(3000000, 'x'); }
    const RecordsFileResult written = writeRecordsFile(path, source);
    EXPECT_TRUE(written.ok) << written.error;
    EXPECT_EQ(std::filesystem::file_size(path), kRecordsFileSize);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    MeasurementStore target;
    const RecordsFileResult read = readRecordsFile(path, target);
    EXPECT_TRUE(read.ok) << read.error;
    EXPECT_EQ(encodeRecords(target), encodeRecords(source));

    MeasurementStore empty;
    empty.table(TimeScale::Week).cnt = 7;
    const RecordsFileResult missing = readRecordsFile((dir / "absent.dat").string(), empty);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.opened);
    EXPECT_EQ(empty.table(TimeScale::Week).cnt, 7);

    const RecordsFileResult failed =
        writeRecordsFile((dir / "no" / "such" / "x.dat").string(), source);
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.error.find("No such file"), std::string::npos) << failed.error;
    std::filesystem::remove_all(dir);
}

TEST(RecordsFile, ReadsOnlyTheImageBytesOfALongerFileOrOfAnEndlessDevice) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tev_records_long_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "long.dat").string();
    MeasurementStore source;
    fillDistinct(source);
    {
        std::ofstream out(path, std::ios::binary);
        const std::vector<std::uint8_t> image = encodeRecords(source);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        out << std::string(1000000, 'x');
    }
    std::string error;
    bool missing = false;
    EXPECT_EQ(readWholeFile(path, error, missing, kRecordsFileSize).size(), kRecordsFileSize);
    MeasurementStore target;
    EXPECT_TRUE(readRecordsFile(path, target).ok);
    EXPECT_EQ(encodeRecords(target), encodeRecords(source));
    std::filesystem::remove_all(dir);

    // A device chosen in the file dialog ends the read once the image is full.
    MeasurementStore zeroed;
    fillDistinct(zeroed);
    const RecordsFileResult fromDevice = readRecordsFile("/dev/zero", zeroed);
    EXPECT_TRUE(fromDevice.ok) << fromDevice.error;
    for (int i = 0; i < kScaleCount; ++i) EXPECT_EQ(zeroed.tableAt(i).cnt, 0);
}

}  // namespace
}  // namespace tev
