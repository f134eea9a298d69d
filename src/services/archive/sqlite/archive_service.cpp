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

void ArchiveService::meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) {
    const int row = registry.find(meterId);
    if (row < 0) return;
    const MeterEntry& entry = registry.rows[row];
    ArchiveSample s = sampleOf(entry, 0);
    // A meter registered by its device message has no readings yet.
    if (entry.MeterDate == 0 && entry.Secs == 0 && s.volts == std::array<float, 3>{}) return;
    Seen& seen = lastSeen_[row];
    if (seen.valid && seen.meterDate == entry.MeterDate && seen.secs == entry.Secs &&
        seen.reading.idView() == s.idView() && seen.reading.volts == s.volts &&
        seen.reading.amps == s.amps && seen.reading.dayEnergy == s.dayEnergy)
        return;
    seen = {s, entry.MeterDate, entry.Secs, true};
    s.unixSeconds = unixSecondsOf(clock_);
    writer_.push(s);
}

}  // namespace tev::archive
