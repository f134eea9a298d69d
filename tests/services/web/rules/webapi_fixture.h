#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "core/store/measurement_store.h"

namespace tev::web::testing {

// Every time in these tests is Berlin time, so the offsets and the summer-time change are known.
inline void useBerlinTime() {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
}

// Writes one row of a table: quantity column c holds base + c.
inline void putRow(ScaleTable& t, int row, std::int32_t date, std::int32_t minutes, float base) {
    for (int c = 0; c < kQuantityCount; ++c) t.setValue(c, row, base + static_cast<float>(c));
    t.setDate(row, date);
    if (t.hasTimeColumn()) t.setTime(row, minutes);
}

inline void registerMeter(MeasurementStore& s, std::string_view id, float v1, float a1) {
    MeterEntry& m = s.registry.rows[s.registry.MeterCount++];
    m.Id.assign(id);
    m.IpAddr.assign("192.0.2.7");
    m.V1 = v1;
    m.V2 = v1 + 1;
    m.V3 = v1 + 2;
    m.A1 = a1;
    m.A2 = a1 + 1;
    m.A3 = a1 + 2;
    m.Energy[0] = 12.5f;
}

}  // namespace tev::web::testing
