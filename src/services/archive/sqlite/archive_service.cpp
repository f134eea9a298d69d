#include "services/archive/sqlite/archive_service.h"

namespace tev::archive {

ArchiveService::ArchiveService(ArchiveWriterOptions options, const Clock& clock)
    : clock_(clock), writer_(std::move(options), clock) {}

ArchiveSample sampleOf(const MeterEntry& entry, std::int64_t unixSeconds) {
    ArchiveSample s;
    s.setId(entry.Id.view());
    s.unixSeconds = unixSeconds;
    s.volts = {entry.V1, entry.V2, entry.V3};
    s.amps = {entry.A1, entry.A2, entry.A3};
    s.dayEnergy = entry.Energy[0];
    return s;
}

void ArchiveService::meterDataHandled(const MeterRegistry& registry, std::string_view meterId) {
    // Only a data message puts this meter's own readings in its row. A row the meter took over
    // after the off-line alarm still holds the readings of the meter that had it before until
    // then, so polls and device messages are never recorded.
    const int row = registry.find(meterId);
    if (row < 0) return;
    const MeterEntry& entry = registry.rows[row];
    ArchiveSample s = sampleOf(entry, 0);
    auto seen = lastSeen_.find(s.idView());
    if (seen == lastSeen_.end()) {
        // One entry per meter ID; beyond twice the registry's size one is forgotten, which
        // only costs a repeated message being recorded twice.
        if (lastSeen_.size() >= kMaxRememberedMeters) lastSeen_.erase(lastSeen_.begin());
        seen = lastSeen_.emplace(std::string(s.idView()), Seen{}).first;
    }
    // A message sent twice (the same meter time and readings) is one reading.
    Seen& last = seen->second;
    if (last.meterDate == entry.MeterDate && last.secs == entry.Secs &&
        last.reading.volts == s.volts && last.reading.amps == s.amps &&
        last.reading.dayEnergy == s.dayEnergy)
        return;
    last = {s, entry.MeterDate, entry.Secs};
    s.unixSeconds = unixSecondsOf(clock_);
    writer_.push(s);
}

}  // namespace tev::archive
