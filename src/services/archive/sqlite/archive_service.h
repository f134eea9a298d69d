#pragma once

#include <array>
#include <functional>
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

    // Called after every meter message (data, device message, poll); only a data message
    // changes the meter's time or readings, so only such a change is recorded.
    void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override { lastSeen_.fill({}); }

  private:
    struct Seen {
        ArchiveSample reading;
        std::int32_t meterDate = 0, secs = 0;
        bool valid = false;
    };
    const Clock& clock_;
    ArchiveWriter writer_;
    std::array<Seen, kMeterRegistryCapacity> lastSeen_{};
};

// Copies what the archive keeps of a registry row.
ArchiveSample sampleOf(const MeterEntry& entry, std::int64_t unixSeconds);

}  // namespace tev::archive
