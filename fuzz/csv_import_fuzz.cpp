// The ten-minute CSV import on any bytes, then the rebuild of the tables from what it accepted:
// no crash, every row count inside its table, Day, Week and Month never empty after a rebuild,
// a refusal never carrying samples, and no week or month sum that overflows a float.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/recordsio/csv_import.h"
#include "core/recordsio/import_rebuild.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto store = std::make_unique<tev::MeasurementStore>();
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const tev::TenMinuteCsv csv =
        tev::parseTenMinuteCsv("HOQ_Power10Min_fuzz.csv", static_cast<std::int64_t>(size), content);
    if (csv.samples.size() > tev::kImportMaxSamples) __builtin_trap();
    if (csv.status != tev::ImportStatus::Samples) {
        if (!csv.samples.empty()) __builtin_trap();
        (void)tev::importRefusalText(csv);
        return 0;
    }
    tev::rebuildFromSamples(*store, csv.samples);
    for (int i = 0; i < tev::kScaleCount; ++i) {
        const tev::ScaleTable& t = store->tableAt(i);
        if (t.cnt < 0 || t.cnt >= t.geometry().fileRows) __builtin_trap();
    }
    for (tev::TimeScale s : {tev::TimeScale::Day, tev::TimeScale::Week, tev::TimeScale::Month}) {
        const tev::ScaleTable& t = store->table(s);
        if (t.cnt < 1) __builtin_trap();
        for (int r = 0; r <= t.cnt; ++r)
            if (!std::isfinite(t.value(tev::kColKWh, r))) __builtin_trap();
    }
    return 0;
}
