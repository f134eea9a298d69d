#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/retention.h"
#include "archive_store/archive_writer.h"
#include "meterlink/meter_observer.h"

namespace tev::archive {

// Reads `[archive]` of tev3p.ini in the folder; problems are described in `problems`.
ArchiveSettings loadArchiveSettings(const std::string& folder, std::vector<std::string>& problems);

// Hears each handled data message and hands the meter's readings to the archive writer.
class ArchiveService final : public MeterObserver {
  public:
    explicit ArchiveService(ArchiveWriterOptions options);
    void start() { writer_.start(); }
    void stop() { writer_.stop(); }
    ArchiveWriter& writer() { return writer_; }

    void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override {}

  private:
    ArchiveWriter writer_;
};

// Copies what the archive keeps of a registry row.
ArchiveSample sampleOf(const MeterEntry& entry, std::int64_t unixSeconds);

}  // namespace tev::archive
