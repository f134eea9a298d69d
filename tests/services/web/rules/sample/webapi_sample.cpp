// Writes the tidy CSV or a metrics scrape of a small known store to standard output.
#include <cstdio>
#include <memory>
#include <string>

#include "services/web/rules/metrics_text.h"
#include "services/web/rules/tidy_csv.h"

int main(int argc, char** argv) {
    using namespace tev;
    const std::string what = argc > 1 ? argv[1] : "";
    auto store = std::make_unique<MeasurementStore>();
    ScaleTable& hour = store->table(TimeScale::Hour);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < kQuantityCount; ++c)
            hour.setValue(c, r, static_cast<float>(r * 100 + c));
        hour.setDate(r, 261208);
        hour.setTime(r, (9 + r) * 60);
    }
    hour.cnt = 3;
    for (int i = 0; i < 3; ++i) {
        MeterEntry& m = store->registry.rows[i];
        m.Id.assign(i == 1 ? "A\"B\\C" : "HOQ00000000" + std::to_string(i));
        m.V1 = 230.5f;
        m.A1 = 1.25f;
        m.Energy[0] = 3.5f;
    }
    store->registry.MeterCount = 3;
    store->live.TotalKWh = 1234.5f;
    web::ServiceStatus status;
    status.now = 1796000000;
    status.linkOn = true;
    status.meterPort = 9317;
    status.secondPort = 5113;
    status.lastMessage["HOQ000000000"] = 1796000000;
    status.fleet = web::FleetMetrics{true, 42, 1796000000};
    const std::string out = what == "metrics" ? web::metricsText(*store, status)
                            : what == "tidy"  ? web::tidyCsv(hour, false)
                                              : std::string();
    if (out.empty()) return 2;
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
