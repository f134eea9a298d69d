#include "services/fleet/postgres/fleet_shipper.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <system_error>

#include "services/fleet/postgres/connection_parameters.h"
#include "services/fleet/rules/fleet_schema.h"
#include "services/fleet/rules/row_batch.h"
#include "services/fleet/rules/ship_plan.h"

namespace tev::fleet {
namespace {

using archive::OutboxTable;

// While the database is away, the backlog the metrics show is counted again this often.
constexpr std::int64_t kBacklogRecountSeconds = 60;
constexpr std::size_t kAlertsIndex = 3;

void signal(int fd) {
    if (fd < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void drainEvent(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

// The closed rows of a period table from the mark `mark` on, for up to `span` seconds from the
// first of them: their COPY data and their times, which is all a slice keeps of them.
struct Slice {
    std::int64_t mark = 0;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::vector<std::int64_t> times;
    std::string data;
    bool ok = false;
    std::string error;
};

Slice readSlice(archive::ArchiveOutbox& outbox, OutboxTable table, std::int64_t mark,
                std::int64_t span, std::int64_t closed, const std::string& site) {
    Slice s;
    s.mark = mark;
    std::optional<std::int64_t> first;
    if (!outbox.firstPeriodFrom(table, mark, first, s.error)) return s;
    s.from = first ? std::min(*first, closed) : closed;
    s.to = std::min(s.from + span, closed);
    std::vector<archive::PeriodRow> rows;
    if (s.from < closed && !outbox.periodRows(table, s.from, s.to, rows, s.error)) return s;
    appendBinaryCopyRows(s.data, site, rows);
    for (const archive::PeriodRow& r : rows) s.times.push_back(r.t);
    s.ok = true;
    return s;
}

}  // namespace

FleetShipper::FleetShipper(FleetShipperOptions options, const Clock& clock)
    : options_(std::move(options)),
      clock_(clock),
      where_(connectionPlace(options_.settings.url)),
      secrets_(connectionSecrets({{"dbname", options_.settings.url}})),
      outage_(where_),
      backoff_(options_.firstRetryMs, options_.longestRetryMs) {
    if (!options_.writtenThrough)
        options_.writtenThrough = [this] { return unixSecondsOf(clock_); };
    connection_.setDeadline(options_.callTimeoutMs);
    connection_.setNoticeHandler([this](const std::string& message) {
        say("Fleet: PostgreSQL " + where_ + " says: " + errorReason(message));
    });
}

FleetShipper::~FleetShipper() {
    stop();
}

void FleetShipper::start() {
    if (thread_.joinable()) return;
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    kickFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void FleetShipper::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    signal(stopFd_);
    connection_.interrupt();
    thread_.join();
    for (int* fd : {&stopFd_, &kickFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void FleetShipper::shipNow() {
    signal(kickFd_);
}

FleetStatus FleetShipper::status() const {
    std::lock_guard<std::mutex> lock(statusMutex_);
    return status_;
}

void FleetShipper::say(const std::string& line) {
    if (!line.empty() && options_.log) options_.log(withoutSecrets(line, secrets_));
}

bool FleetShipper::pause(int ms) {
    if (stopping_) return false;
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {kickFd_, POLLIN, 0}};
    if (::poll(fds, 2, std::max(ms, 0)) > 0 && (fds[1].revents & POLLIN) != 0) drainEvent(kickFd_);
    return !stopping_;
}

void FleetShipper::countBacklog() {
    std::array<archive::OutboxMark, 4> marks{};
    std::string error;
    if (!outbox_ || !outbox_->loadMarks(marks, error)) return;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < archive::kOutboxTables.size(); ++i) {
        std::int64_t n = 0;
        if (!outbox_->countFrom(archive::kOutboxTables[i], marks[i].shippedThrough, n, error))
            return;
        total += n;
    }
    lastBacklogCount_ = unixSecondsOf(clock_);
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.backlogRows = total;
}

void FleetShipper::failed(const std::string& reason, std::int64_t waitedMs) {
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        status_.up = false;
    }
    const std::string line = outage_.failed(reason, unixSecondsOf(clock_) - waitedMs / 1000);
    if (!line.empty() || unixSecondsOf(clock_) - lastBacklogCount_ >= kBacklogRecountSeconds)
        countBacklog();
    say(line);
}

void FleetShipper::shipped(std::size_t confirmed, std::int64_t closed) {
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.up = true;
    // A slice without rows never reached the database: it confirms nothing.
    if (confirmed > 0) status_.lastShippedUnix = unixSecondsOf(clock_);
    status_.backlogRows = std::max<std::int64_t>(0, status_.backlogRows - closed);
}

bool FleetShipper::connect() {
    std::string error;
    const PgConnection::Parameters parameters = fleetConnectionParameters(
        options_.settings.url, options_.settings.passwordFile, options_.settings.sslmode, error);
    secrets_ = connectionSecrets(parameters);
    if (!error.empty()) {
        failed(error);
        return false;
    }
    if (!connection_.connect(parameters, stopFd_, options_.connectTimeoutMs, error)) {
        if (!stopping_) failed(error, connection_.waitedMs());
        return false;
    }
    int found = 0;
    const FleetDatabase::Schema schema = database_.ensureSchema(found, error);
    if (schema == FleetDatabase::Schema::Newer) {
        connection_.close();
        {
            std::lock_guard<std::mutex> lock(statusMutex_);
            status_.up = false;
        }
        if (!refusalTold_) say(newerSchemaLine(where_, found));
        refusalTold_ = true;
        return false;
    }
    if (schema == FleetDatabase::Schema::Failed || !database_.prepareSession(error)) {
        const std::int64_t waited = connection_.waitedMs();
        connection_.close();
        if (!stopping_) failed(error, waited);
        return false;
    }
    bool known = resendWhatIsMissing(error);
    for (std::size_t i = 0; known && i < latest_.size(); ++i)
        known = database_.latestRow(archive::kOutboxTables[i], options_.settings.site, latest_[i],
                                    error);
    if (!known) {
        connection_.close();
        if (!stopping_) failed(error);
        return false;
    }
    refusalTold_ = false;
    metersShipped_ = 0;
    countBacklog();
    backlogAtConnect_ = status().backlogRows;
    // The database answers: a catch-up that takes long is no outage.
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.up = true;
    return true;
}

bool FleetShipper::moveMark(OutboxTable table, std::size_t index, std::int64_t to,
                            const std::vector<std::int64_t>& shippedTimes, std::string& error) {
    std::int64_t expected = marks_[index].shippedThrough;
    std::int64_t mark = to, lostChange = 0;
    // Retention may have moved the mark meanwhile (and counted rows that were shipped after
    // all); each retry starts from the mark it found.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::optional<std::int64_t> found;
        if (!outbox_->moveMark(table, expected, mark, lostChange, found, error)) return false;
        if (!found) {
            marks_[index].shippedThrough = mark;
            return true;
        }
        // Retention only moves a mark on; the archive's writer moves it back to rows it added
        // to after they were shipped (a silence's energy), which are shipped again from there.
        if (*found < expected) {
            marks_[index].shippedThrough = *found;
            return true;
        }
        const MarkAfterRetention corrected = markAfterRetention(*found, to, shippedTimes);
        expected = *found;
        mark = corrected.mark;
        lostChange = corrected.lostChange;
    }
    error = std::string("the mark of ") + archive::outboxTableName(table) + " keeps moving";
    return false;
}

bool FleetShipper::resendWhatIsMissing(std::string& error) {
    if (!outbox_->loadMarks(marks_, error)) return false;
    std::array<std::int64_t, 4> missing{};
    std::vector<archive::MeterRows> shipped, held;
    for (std::size_t i = 0; i < archive::kOutboxTables.size(); ++i) {
        const OutboxTable table = archive::kOutboxTables[i];
        const std::int64_t mark = marks_[i].shippedThrough;
        if (!outbox_->rowsBefore(table, mark, shipped, error)) return false;
        if (shipped.empty()) continue;
        std::int64_t first = INT64_MAX;
        for (archive::MeterRows& m : shipped) {
            m.meter = databaseKey(m.meter);
            first = std::min(first, m.first);
        }
        if (!database_.heldRows(table, options_.settings.site, first, mark, held, error))
            return false;
        const Resend resend = resendFrom(shipped, held);
        if (resend.missing == 0) continue;
        // Alerts are marked by their place in the archive, not their time: all are sent again.
        const std::int64_t back = table == OutboxTable::Alerts ? 0 : resend.from;
        // The archive's writer may move a mark meanwhile; it only ever moves it back further.
        std::optional<std::int64_t> found;
        if (!outbox_->moveMark(table, mark, back, 0, found, error)) return false;
        if (found && *found > back && !outbox_->moveMark(table, *found, back, 0, found, error))
            return false;
        missing[i] = resend.missing;
    }
    say(resendLine(missing));
    return outbox_->loadMarks(marks_, error);
}

bool FleetShipper::tellLost(std::string& error) {
    for (std::size_t i = 0; i < archive::kOutboxTables.size(); ++i) {
        const archive::OutboxMark& m = marks_[i];
        const std::string line = lostRowsLine(archive::kOutboxTables[i], m.lost, m.lostTold);
        if (line.empty()) continue;
        if (!outbox_->setLostTold(archive::kOutboxTables[i], m.lost, error)) return false;
        marks_[i].lostTold = m.lost;
        say(line);
    }
    return true;
}

bool FleetShipper::shipPeriodTable(OutboxTable table, std::size_t index, std::int64_t closed,
                                   std::string& error) {
    const std::string& site = options_.settings.site;
    std::int64_t span = firstSliceSeconds(table);
    if (!reader_ && marks_[index].shippedThrough < closed) {
        std::string ignored;  // without it, the slices are read one after the other
        reader_ = options_.openOutbox ? options_.openOutbox(ignored) : nullptr;
    }
    // The closed rows, slice by slice, each followed by the mark. The next slice is read from
    // the archive while this one travels; it is read again should the mark not have moved to
    // where it starts (retention, or the archive's writer moving it back).
    std::future<Slice> next;
    while (marks_[index].shippedThrough < closed) {
        if (stopping_) return false;
        const std::int64_t mark = marks_[index].shippedThrough;
        Slice slice = next.valid() ? next.get() : Slice{};
        if (!slice.ok || slice.mark != mark)
            slice = readSlice(*outbox_, table, mark, span, closed, site);
        if (!slice.ok) {
            error = slice.error;
            return false;
        }
        span = nextSliceSeconds(span, slice.times.size());
        const std::int64_t after = slice.from < closed ? slice.to : closed;
        if (reader_ && after < closed) {
            try {
                next = std::async(std::launch::async, [this, table, after, span, closed, &site] {
                    return readSlice(*reader_, table, after, span, closed, site);
                });
            } catch (const std::system_error&) {
                // No thread to be had: the next slice is read after this one is shipped.
            }
        }
        if (!shipRows(table, index, slice.times, slice.data, error)) return false;
        if (!moveMark(table, index, after, slice.times, error)) return false;
        shipped(slice.times.size(), static_cast<std::int64_t>(slice.times.size()));
    }
    // The rows still open go as they stand; the next rounds replace them until they close.
    rows_.clear();
    if (!outbox_->periodRows(table, marks_[index].shippedThrough, INT64_MAX, rows_, error))
        return false;
    std::string data;
    appendBinaryCopyRows(data, site, rows_);
    std::vector<std::int64_t> times;
    for (const archive::PeriodRow& r : rows_) times.push_back(r.t);
    if (!shipRows(table, index, times, data, error)) return false;
    shipped(rows_.size(), 0);
    return true;
}

bool FleetShipper::shipRows(OutboxTable table, std::size_t index,
                            const std::vector<std::int64_t>& times, const std::string& data,
                            std::string& error) {
    if (times.empty()) return true;
    const auto [first, last] = std::minmax_element(times.begin(), times.end());
    std::optional<std::int64_t>& latest = latest_[index];
    bool straight = false;
    // Only this recorder writes its site's rows: rows after the latest the database holds are
    // new to it. Should one be there after all, the batch goes through the upsert instead.
    const bool ok = !latest || *first > *latest
                        ? database_.shipNewPeriodData(table, data, straight, error)
                        : database_.shipPeriodData(table, data, error);
    if (ok) latest = std::max(latest.value_or(*last), *last);
    return ok;
}

bool FleetShipper::shipAlerts(std::string& error) {
    std::vector<archive::AlertRow> alerts;
    for (;;) {
        if (stopping_) return false;
        const std::int64_t mark = marks_[kAlertsIndex].shippedThrough;
        if (!outbox_->alertRows(mark, static_cast<int>(kSliceRows), alerts, error)) return false;
        if (alerts.empty()) return true;
        if (!database_.shipAlerts(options_.settings.site, alerts, error)) return false;
        if (!moveMark(OutboxTable::Alerts, kAlertsIndex, alerts.back().seq, {}, error))
            return false;
        shipped(alerts.size(), static_cast<std::int64_t>(alerts.size()));
        if (alerts.size() < kSliceRows) return true;
    }
}

bool FleetShipper::shipRound(std::string& error) {
    if (!outbox_->loadMarks(marks_, error) || !tellLost(error)) return false;
    std::vector<archive::MeterRow> meters;
    if (!outbox_->meters(meters, error)) return false;
    if (meters.size() != metersShipped_) {
        if (!database_.shipMeters(options_.settings.site, meters, error)) return false;
        metersShipped_ = meters.size();
    }
    const std::int64_t written = options_.writtenThrough();
    for (std::size_t i = 0; i < 3; ++i) {
        const OutboxTable table = archive::kOutboxTables[i];
        if (!shipPeriodTable(table, i, closedBefore(table, written), error)) return false;
    }
    return shipAlerts(error);
}

void FleetShipper::run() {
    random_.seed(std::random_device{}());
    while (!stopping_) {
        if (!outbox_) {
            std::string error;
            outbox_ = options_.openOutbox ? options_.openOutbox(error) : nullptr;
            if (!outbox_) {
                if (!outboxTold_) say("Fleet: the archive cannot be read (" + error + ")");
                outboxTold_ = true;
                if (!pause(backoff_.next(static_cast<std::uint32_t>(random_())))) break;
                continue;
            }
            countBacklog();
        }
        if (!connection_.isOpen() && !connect()) {
            if (!pause(backoff_.next(static_cast<std::uint32_t>(random_())))) break;
            continue;
        }
        std::string error;
        if (shipRound(error)) {
            {
                std::lock_guard<std::mutex> lock(statusMutex_);
                status_.up = true;
                status_.backlogRows = 0;
            }
            say(outage_.shipped(backlogAtConnect_, unixSecondsOf(clock_)));
            backoff_.reset();
            ++rounds_;
            if (!pause(options_.roundMs)) break;
            continue;
        }
        if (stopping_) break;
        // A batch that failed leaves its rows in the archive; the connection is made anew and
        // the batch sent again, which the upsert makes harmless.
        const std::int64_t waited = connection_.waitedMs();
        connection_.close();
        failed(error, waited);
        if (!pause(backoff_.next(static_cast<std::uint32_t>(random_())))) break;
    }
    connection_.close();
    reader_.reset();
    outbox_.reset();
}

}  // namespace tev::fleet
