// The records manager: a refresh of the full Min grid into the view with the paint of the
// rows it shows, the CSV export of 8000 Min rows, and the import of a 1,200,000-byte
// ten-minute file with the rebuild of the tables.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <span>

#include "core/persistence/atomic_file.h"
#include "core/recordsio/csv_export.h"
#include "core/recordsio/csv_import.h"
#include "core/recordsio/import_rebuild.h"
#include "core/recordsio/record_grid.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/recording_tone_sink.h"
#include "window/mainwindow/tsdf.h"
#include "window/records/record_table_model.h"
#include "window/records/trecord.h"

namespace {

constexpr int kMinRows = 8000;  // cnt 7999: the 8000 rows the records file keeps
constexpr int kMinutesPerDay = 1440;
constexpr std::size_t kImportBytes = 1200000;

void fillMinTable(tev::ScaleTable& t) {
    int date = 240801;
    for (int row = 0; row < kMinRows; ++row) {
        const int minute = row % kMinutesPerDay;
        if (row > 0 && minute == 0) ++date;
        for (int c = 0; c < tev::kQuantityCount; ++c)
            t.setValue(c, row, 100.0f * c + 37.0f * std::sin(row * 0.01f + c));
        t.setDate(row, date);
        t.setTime(row, minute);
    }
    t.cnt = kMinRows - 1;
}

// A ten-minute file of exactly kImportBytes bytes: the header, then whole day lines.
std::string tenMinuteFile() {
    std::string text = "Date";
    for (int m = 0; m < kMinutesPerDay; m += 10)
        text += "," + std::to_string(m / 60) + ":" + std::to_string(m % 60);
    text += ",\r\n";
    int day = 0;
    while (true) {
        std::string line = std::to_string(230101 + (day % 28) + 100 * ((day / 28) % 12)) + ",";
        for (int k = 1; k <= 144; ++k) {
            char value[16];
            std::snprintf(value, sizeof value, "%.3f,", k * 0.173 + day);
            line += value;
        }
        line += "\r\n";
        if (text.size() + line.size() > kImportBytes) break;
        text += line;
        ++day;
    }
    text.append(kImportBytes - text.size(), '\n');
    return text;
}

void BM_RefreshMinGridIntoTheView(benchmark::State& state) {
    tev::testing::RecordingToneSink tones;
    tev::testing::RecordingPause pause;
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 7, 12, 0, 0, 0}};
    tev::testing::FakeFileChooser files;
    tev::testing::FakeMessageBoxes messages;
    QTemporaryDir dir;
    tev::WindowSeams platform{&clock, &tones, &pause};
    platform.files = &files;
    platform.messages = &messages;
    platform.sockets = tev::MeterServerSettings{QHostAddress::LocalHost, 0, 0};
    platform.workingDirectory = dir.path().toStdString();
    tev::Tsdf sdf(platform);
    fillMinTable(sdf.store().table(tev::TimeScale::Min));
    tev::TRecord record(sdf);
    record.show();
    record.min_lClick();
    QCoreApplication::processEvents();
    QWidget* viewport = record.controls().sg->viewport();
    // 0: Update and the paint of the rows it shows; 1: Update alone; 2: the paint alone.
    const auto part = state.range(0);
    state.SetLabel(part == 0 ? "refresh+paint" : part == 1 ? "refresh" : "paint");
    for (auto _ : state) {
        if (part != 2) record.update_bClick();
        if (part != 1) viewport->repaint();
    }
    state.counters["grid_rows"] = record.model().grid().rowCount();
}
BENCHMARK(BM_RefreshMinGridIntoTheView)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1)->Arg(2);

void BM_MinGridSnapshotOnly(benchmark::State& state) {
    auto store = std::make_unique<tev::MeasurementStore>();
    fillMinTable(store->table(tev::TimeScale::Min));
    for (auto _ : state) {
        tev::RecordGrid grid(store->table(tev::TimeScale::Min));
        benchmark::DoNotOptimize(grid.rowCount());
    }
}
BENCHMARK(BM_MinGridSnapshotOnly)->Unit(benchmark::kMillisecond);

void BM_ExportMinCsv(benchmark::State& state) {
    auto store = std::make_unique<tev::MeasurementStore>();
    fillMinTable(store->table(tev::TimeScale::Min));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string csv = tev::exportCsv(store->table(tev::TimeScale::Min));
        bytes = csv.size();
        benchmark::DoNotOptimize(csv.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ExportMinCsv)->Unit(benchmark::kMillisecond);

// The same, written as the Output command writes it: a temporary file flushed to disk and
// renamed over the chosen one.
void BM_ExportMinCsvToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/TEV3P_Records_Minute.csv";
    auto store = std::make_unique<tev::MeasurementStore>();
    fillMinTable(store->table(tev::TimeScale::Min));
    for (auto _ : state) {
        const std::string csv = tev::exportCsv(store->table(tev::TimeScale::Min));
        const std::string error = tev::writeFileAtomically(
            path, std::span(reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()));
        if (!error.empty()) state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_ExportMinCsvToFile)->Unit(benchmark::kMillisecond);

void BM_ImportFileAndRebuild(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/HOQ_Power10Min_bench.csv";
    {
        std::ofstream out(path, std::ios::binary);
        out << tenMinuteFile();
    }
    auto store = std::make_unique<tev::MeasurementStore>();
    std::size_t samples = 0;
    for (auto _ : state) {
        const tev::TenMinuteCsv csv = tev::readTenMinuteCsv(path);
        tev::rebuildFromSamples(*store, csv.samples);
        samples = csv.samples.size();
    }
    state.counters["file_bytes"] = static_cast<double>(kImportBytes);
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["hour_rows"] = store->table(tev::TimeScale::Hour).cnt;
}
BENCHMARK(BM_ImportFileAndRebuild)->Unit(benchmark::kMillisecond);

// The whole Input command on the window, with the Yes answer and the file chosen by fakes:
// reading, the rebuild, every day line into the event log and its memo, the grid refresh.
void BM_ImportThroughTheWindow(benchmark::State& state) {
    tev::testing::RecordingToneSink tones;
    tev::testing::RecordingPause pause;
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 7, 12, 0, 0, 0}};
    tev::testing::FakeFileChooser files;
    tev::testing::FakeMessageBoxes messages;
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/HOQ_Power10Min_bench.csv";
    {
        std::ofstream out(path, std::ios::binary);
        out << tenMinuteFile();
    }
    tev::WindowSeams platform{&clock, &tones, &pause};
    platform.files = &files;
    platform.messages = &messages;
    platform.sockets = tev::MeterServerSettings{QHostAddress::LocalHost, 0, 0};
    platform.workingDirectory = dir.path().toStdString();
    tev::Tsdf sdf(platform);
    sdf.show();
    tev::TRecord record(sdf);
    record.show();
    record.m10_lClick();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        files.answer(path);
        record.input_bClick();
        QCoreApplication::processEvents();
    }
    state.counters["log_lines"] = static_cast<double>(sdf.eventLog().lines().size());
}
BENCHMARK(BM_ImportThroughTheWindow)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
