#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/meterlink/meter_observer.h"
#include "services/archive/rules/retention.h"
#include "services/archive/sqlite/archive_writer.h"

namespace tev::archive {

// Hears each handled data message and hands the meter's readings to the archive writer.
class ArchiveService final : public MeterObserver {
  public:
    // Each message is stamped with the clock's wall reading, in Unix seconds.
    ArchiveService(ArchiveWriterOptions options, const Clock& clock);
    void start() { writer_.start(); }
    void stop() { writer_.stop(); }
    ArchiveWriter& writer() { return writer_; }

    // Each reading a data message brings is recorded under the meter's ID; polls, ADC reports
    // and device messages repeat a row's readings and are not.
    void meterMessageHandled(const MeterRegistry&, std::string_view) override {}
    void meterDataHandled(const MeterRegistry& registry, std::string_view meterId) override;
    // The off-line alarm forgets the registry, not the meters: a meter that comes back, in
    // whatever row, goes on from its own last reading in the archive.
    void metersForgotten() override { lastSeen_.clear(); }

  private:
    struct Seen {
        ArchiveSample reading;
        std::int32_t meterDate = -1, secs = -1;
    };
    static constexpr std::size_t kMaxRememberedMeters = 2 * kMeterRegistryCapacity;
    const Clock& clock_;
    ArchiveWriter writer_;
    std::map<std::string, Seen, std::less<>> lastSeen_;
};

// Copies what the archive keeps of a registry row.
ArchiveSample sampleOf(const MeterEntry& entry, std::int64_t unixSeconds);

}  // namespace tev::archive
