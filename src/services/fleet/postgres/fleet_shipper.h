#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "services/archive/rules/outbox.h"
#include "services/fleet/postgres/fleet_database.h"
#include "services/fleet/postgres/pg_connection.h"
#include "services/fleet/rules/fleet_settings.h"
#include "services/fleet/rules/fleet_status.h"
#include "services/fleet/rules/outage_log.h"
#include "services/fleet/rules/reconnect_backoff.h"

namespace tev::fleet {

struct FleetShipperOptions {
    FleetSettings settings;
    // Opens the archive's outbox on the shipper's thread (the app hands in the SQLite one).
    std::function<std::unique_ptr<archive::ArchiveOutbox>(std::string& error)> openOutbox;
    // Unix seconds before which every meter message is in the archive: what closes a period;
    // the clock's Unix seconds when empty.
    std::function<std::int64_t()> writtenThrough;
    // Lines for the event log, from the shipper's thread.
    std::function<void(const std::string&)> log;
    int roundMs = 5000;  // how often the archive is looked at for new rows
    int firstRetryMs = 1000;
    int longestRetryMs = 30000;
    int connectTimeoutMs = 10000;
    // How long any one statement or batch may wait for the database before the link counts as
    // lost: a server that stops answering without closing is an outage like any other.
    int callTimeoutMs = 30000;
};

// Copies the archive's new minute, hour, day and alert rows to the fleet database from a
// thread of its own, keeping its marks in the archive so that a restart goes on where it
// stopped. Neither the GUI thread nor the archive writer ever waits for it: they only read
// its status, and a stop breaks off whatever waits on the network.
class FleetShipper {
  public:
    // The clock's wall readings, in Unix seconds, stamp the shipped rows' status and the outage
    // lines; it is read from the shipper's thread.
    FleetShipper(FleetShipperOptions options, const Clock& clock);
    ~FleetShipper();
    FleetShipper(const FleetShipper&) = delete;
    FleetShipper& operator=(const FleetShipper&) = delete;

    void start();
    void stop();
    FleetStatus status() const;
    // Rounds that reached the end of the archive, since start (for tests and benchmarks).
    std::uint64_t rounds() const { return rounds_.load(); }
    // Starts a round now instead of at the next tick.
    void shipNow();

  private:
    void run();
    bool connect();
    bool shipRound(std::string& error);
    // Moves the marks back where the database lacks rows it was sent.
    bool resendWhatIsMissing(std::string& error);
    bool shipPeriodTable(archive::OutboxTable table, std::size_t index, std::int64_t closed,
                         std::string& error);
    // Rows into a period table (`data`: them as COPY data, `times`: their period starts),
    // straight when all are newer than what the database holds.
    bool shipRows(archive::OutboxTable table, std::size_t index,
                  const std::vector<std::int64_t>& times, const std::string& data,
                  std::string& error);
    bool shipAlerts(std::string& error);
    bool tellLost(std::string& error);
    bool moveMark(archive::OutboxTable table, std::size_t index, std::int64_t to,
                  const std::vector<std::int64_t>& shippedTimes, std::string& error);
    void countBacklog();
    // The database confirmed `confirmed` rows, `closed` of them no longer in the backlog.
    void shipped(std::size_t confirmed, std::int64_t closed);
    // `waitedMs`: how long the failed call had waited, which the outage began with.
    void failed(const std::string& reason, std::int64_t waitedMs = 0);
    // Waits up to `ms`; false when the shipper is stopping.
    bool pause(int ms);
    void say(const std::string& line);

    FleetShipperOptions options_;
    const Clock& clock_;
    std::string where_;  // host, port and database, as the log shows them
    // Passwords of the url and the password file, never shown in a line (the shipper's thread).
    std::vector<std::string> secrets_;
    int stopFd_ = -1;  // an eventfd, readable once the shipper stops
    int kickFd_ = -1;  // an eventfd, readable when a round is asked for
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> rounds_{0};
    mutable std::mutex statusMutex_;
    FleetStatus status_;
    std::thread thread_;

    // The shipper's thread only.
    PgConnection connection_;
    FleetDatabase database_{connection_};
    std::unique_ptr<archive::ArchiveOutbox> outbox_;
    // A second reader of the archive, for the slice read while the one before is shipped.
    std::unique_ptr<archive::ArchiveOutbox> reader_;
    std::array<archive::OutboxMark, 4> marks_{};
    std::vector<archive::PeriodRow> rows_;
    // Per period table, the latest period start of the site's rows the database holds, as the
    // connect found it and the rows sent since moved it; nothing when it holds none.
    std::array<std::optional<std::int64_t>, 3> latest_{};
    std::size_t metersShipped_ = 0;
    std::int64_t backlogAtConnect_ = 0;
    std::int64_t lastBacklogCount_ = 0;
    OutageLog outage_;
    ReconnectBackoff backoff_;
    std::minstd_rand random_;
    bool refusalTold_ = false;
    bool outboxTold_ = false;
};

}  // namespace tev::fleet
