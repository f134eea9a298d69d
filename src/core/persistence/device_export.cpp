#include "core/persistence/device_export.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tev {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the registry export copies values as little-endian 4-byte cells");

class Writer {
  public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    template <typename T>
    void cell(T value) {
        static_assert(sizeof(T) == 4);
        const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
        out_.insert(out_.end(), p, p + 4);
    }
    // The text's kept bytes, zero-padded.
    template <int Slot, int Kept>
    void text(const FixedText<Slot, Kept>& t) {
        out_.insert(out_.end(), t.bytes.begin(), t.bytes.begin() + Kept);
    }
    // A history row: date, mean voltage, then the meter's energies in the order of the
    // export (the second, third and fourth of the four, then the first).
    void historyRow(const HistoryEntry& e) {
        cell(e.date);
        cell(e.voltMean);
        cell(e.energy[1]), cell(e.energy[2]), cell(e.energy[3]), cell(e.energy[0]);
    }

  private:
    std::vector<std::uint8_t>& out_;
};

void writeEntry(Writer& w, const MeterEntry& m) {
    w.text(m.Id), w.text(m.IpAddr), w.text(m.Model), w.text(m.Proj), w.text(m.Tag);

    const auto& spare = m.Spare;
    w.cell(m.MeterDate), w.cell(m.Secs), w.cell(m.Cfg1), w.cell(m.Cfg3), w.cell(m.Field23);
    w.cell(m.Field24), w.cell(m.Field25), w.cell(m.Field22);
    w.cell(spare[0]), w.cell(spare[1]), w.cell(spare[2]);
    w.cell(spare[3]), w.cell(spare[4]), w.cell(m.Adc1), w.cell(m.Adc2), w.cell(spare[5]);
    w.cell(m.Adc3);
    w.cell(m.V1), w.cell(m.V2), w.cell(m.V3), w.cell(m.A1), w.cell(m.A2), w.cell(m.A3);
    w.cell(m.Field4), w.cell(m.Field5), w.cell(m.Field6), w.cell(m.VoltMean), w.cell(m.MaxAmp);
    w.cell(spare[6]);
    for (float e : m.Energy) w.cell(e);
    for (float p : m.Param) w.cell(p);
    w.cell(m.DayFileCount);
    w.cell(m.DayHistory.count), w.cell(m.DayHistoryB.count), w.cell(m.MonthHistory.count);

    for (float slot : m.TenMinuteSlots) w.cell(slot);
    for (const HourSlot& h : m.HourSlots) {
        w.cell(h.dayEnergy), w.cell(h.voltMean), w.cell(h.maxAmp), w.cell(h.spare);
    }
    for (const HistoryEntry& e : m.DayHistory.entries) w.historyRow(e);
    for (const HistoryEntry& e : m.DayHistoryB.entries) w.historyRow(e);
    for (const HistoryEntry& e : m.MonthHistory.entries) w.historyRow(e);
}

}  // namespace

std::vector<std::uint8_t> encodeDeviceExport(const MeterRegistry& registry) {
    const int count = std::clamp(registry.MeterCount, 0, kMeterRegistryCapacity);
    std::vector<std::uint8_t> out;
    out.reserve(4 + static_cast<std::size_t>(count) * kDeviceRecordSize);
    Writer w(out);
    w.cell(static_cast<std::int32_t>(count));
    for (int i = 0; i < count; ++i) writeEntry(w, registry.rows[i]);
    return out;
}

}  // namespace tev
