#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "services/archive/rules/aggregator.h"
#include "services/archive/rules/alert_record.h"
#include "services/archive/rules/archive_sample.h"
#include "services/archive/rules/period_hours.h"
#include "services/archive/rules/retention.h"
#include "services/archive/sqlite/sqlite_db.h"

namespace tev::archive {

struct ArchiveWriterOptions {
    std::string folder;  // holds the archive and the day files
    ArchiveSettings settings;
    int commitMilliseconds = 2000;  // at most 5 s of messages are ever unwritten
    std::size_t queueCapacity = 1 << 16;
    bool importDayFiles = true;
    // Lines for the event log; called from the writer thread.
    std::function<void(const std::string&)> log;
};

// Takes meter messages from the meter link's thread through a bounded queue and writes them to
// the archive from a thread of its own.
class ArchiveWriter {
  public:
    // The clock's wall readings, in Unix seconds, time the retention and writtenThrough(); it is
    // read from the writer's thread.
    ArchiveWriter(ArchiveWriterOptions options, const Clock& clock);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Opens the archive (setting a damaged one aside) and starts the thread. The lines of the
    // start-up go to the log before it returns.
    void start();
    // The hot path: copies the sample into the queue. When the queue is full the oldest
    // entry gives way and is counted.
    void push(const ArchiveSample& sample) noexcept;
    // An alert start or end, written with the next commit; beyond kMaxPendingAlerts the oldest
    // waiting one gives way.
    void pushAlert(AlertRecord alert);
    static constexpr std::size_t kMaxPendingAlerts = 1000;
    // Writes everything queued so far and waits until it is committed (or has failed).
    void flush();
    // Flushes and ends the thread.
    void stop();

    // Since start: messages dropped from a full queue, and commits that failed.
    std::uint64_t droppedCount() const;
    std::uint64_t failedCommits() const;
    // Unix seconds before which every message handed in is in the file: a minute, hour or day
    // that ends by then will not change any more. Safe on any thread.
    std::int64_t writtenThrough() const { return writtenThrough_.load(); }
    // How much earlier than the queue was last emptied writtenThrough() says, for a message
    // stamped just before that moment and queued just after it.
    static constexpr std::int64_t kStampMarginSeconds = 2;

    // The hour rows of this week and this month (from periodHoursFrom()) as committed, read
    // from the file at the start and after each commit, for today's, this week's and this
    // month's energy. Safe on any thread; nothing for a meter without an hour row.
    std::optional<MeterEnergy> periodHoursOf(std::string_view meter) const {
        return periodHours_.meter(meter);
    }
    std::vector<MeterEnergy> periodHours() const { return periodHours_.meters(); }
    // Every meter the file holds, by ID, without its rows.
    std::vector<std::string> periodMeterIds() const { return periodHours_.ids(); }

  private:
    void run();
    void drain(std::vector<ArchiveSample>& batch);
    void noteNewMeter(const ArchiveSample& sample);
    bool commit();
    // One pass of batched deletes; true when rows are left for another pass.
    bool prune();
    // At the stop: what could not be written is told with its counts, never dropped unsaid.
    void tellLostAtStop();
    void importDayFile(const std::string& meter);
    void say(const std::string& line);
    bool ensureOpen();
    // Reads every meter's period hours from the file afresh.
    void readPeriodHours();
    // After a commit: the hours it touched are read back, and the rows of a past week or
    // month go.
    void refreshPeriodHours(const std::vector<PeriodDelta>& written);

    ArchiveWriterOptions options_;
    const Clock& clock_;
    std::string path_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable flushed_;
    std::vector<ArchiveSample> ring_;
    std::size_t head_ = 0, size_ = 0;
    std::uint64_t droppedTotal_ = 0, droppedEpisode_ = 0;
    std::uint64_t flushRequested_ = 0, flushDone_ = 0;
    std::vector<AlertRecord> pendingAlerts_;
    bool stopping_ = false;
    bool running_ = false;
    std::uint64_t failedCommits_ = 0;

    // Used by the writer thread only.
    SqliteDb db_;
    Aggregator aggregator_;
    std::vector<PeriodDelta> unwritten_;
    std::vector<AlertRecord> alertsUnwritten_;
    bool failing_ = false;
    // Unwritten minute figures dropped since writing last succeeded.
    std::size_t trimmedEpisode_ = 0;
    std::int64_t nextPrune_ = 0;
    std::int64_t lastDrainAt_ = 0;
    std::atomic<std::int64_t> writtenThrough_{0};
    PeriodHours periodHours_;
    std::thread thread_;
};

}  // namespace tev::archive
