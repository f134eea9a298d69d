#pragma once

#include <gtest/gtest.h>

#include <QPalette>
#include <memory>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/records/record_table_model.h"
#include "window/records/trecord.h"

namespace tev::testing {

// A main window on fake seams with its records window.
class TRecordTest : public TsdfTest {
  protected:
    void SetUp() override {
        TsdfTest::SetUp();
        record = std::make_unique<TRecord>(*sdf);
        sdf->setSecondaryWindows({nullptr, nullptr, nullptr, record.get()});
    }
    void TearDown() override { record.reset(); }

    MeasurementStore& store() { return sdf->store(); }
    ScaleTable& table(TimeScale s) { return sdf->store().table(s); }
    const RecordGrid& grid() const { return record->model().grid(); }
    // Text of grid cell (row, column); row 0 is the header row.
    std::string cell(int row, int column) const { return grid().cell(row, column); }

    std::unique_ptr<TRecord> record;
};

// Every table's count and every cell, for "nothing changed" checks.
inline bool sameTables(const MeasurementStore& a, const MeasurementStore& b) {
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleTable& x = a.tableAt(i);
        const ScaleTable& y = b.tableAt(i);
        if (x.cnt != y.cnt) return false;
        for (int c = 0; c < x.columns(); ++c)
            if (!std::equal(x.column(c), x.column(c) + x.rowSlots(), y.column(c))) return false;
    }
    return true;
}

}  // namespace tev::testing
