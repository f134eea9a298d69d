#include "services/archive/sqlite/archive_writer.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "services/archive/rules/day_file_import.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_outbox.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::archive {
namespace {

// Unwritten figures kept while the disk is full: about a day of 200 meters' minutes.
constexpr std::size_t kMaxUnwritten = 300000;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kPruneEverySeconds = 600;
constexpr int kPruneBatchesPerPass = 20;

// Inserts a row, or merges the figures into the row already there. A row of n = 0 holds
// energy only (its readings' columns are NULL): merging one in keeps the row's readings, and
// readings merged into one take the place of its NULLs, so no mean is ever divided by 0.
std::string upsertSql(const std::string& table) {
    const auto& cols = periodColumns();
    std::string sql = "INSERT INTO " + table + " (meter, t";
    for (const auto& c : cols) sql += ", " + c;
    sql += ") VALUES (?, ?";
    for (std::size_t i = 0; i < cols.size(); ++i) sql += ", ?";
    sql += ") ON CONFLICT (meter, t) DO UPDATE SET ";
    bool first = true;
    for (const auto& c : cols) {
        if (!first) sql += ", ";
        first = false;
        // Every assignment reads the row as it was, so n is the old count throughout.
        if (c == "n") {
            sql += "n = n + excluded.n";
        } else if (c == "kwh") {
            sql += "kwh = kwh + excluded.kwh";
        } else {
            std::string merged = "excluded." + c;
            if (c.ends_with("_min"))
                merged = "min(" + c + ", excluded." + c + ")";
            else if (c.ends_with("_max"))
                merged = "max(" + c + ", excluded." + c + ")";
            else if (c != "day_kwh")
                merged = "(" + c + " * n + excluded." + c + " * excluded.n) / (n + excluded.n)";
            sql += c + " = CASE WHEN excluded.n = 0 THEN " + c + " WHEN n = 0 THEN excluded." + c +
                   " ELSE " + merged + " END";
        }
    }
    return sql;
}

// The minute's figures; `energy` is what the row's period takes of the minute's energy.
void bindDelta(SqliteStatement& s, const PeriodDelta& d, std::int64_t t, double energy) {
    s.bind(1, std::string_view(d.meter));
    s.bind(2, t);
    int i = 3;
    const PeriodStats& st = d.stats;
    // The order of archiveQuantities(): per phase V then A, mean/min/max; powers; energies; n.
    for (int q = 0; q < kRangedCount; ++q) {
        s.bind(i++, st.mean[q]);
        s.bind(i++, st.min[q]);
        s.bind(i++, st.max[q]);
    }
    for (int q = 0; q < kPowerCount; ++q) s.bind(i++, st.powerMean[q]);
    s.bind(i++, st.dayEnergy);
    s.bind(i++, energy);
    s.bind(i++, st.count);
}

// Energy without readings: every other column stays NULL (reset() cleared the bindings).
void bindPiece(SqliteStatement& s, const std::string& meter, std::int64_t t, double kwh) {
    s.bind(1, std::string_view(meter));
    s.bind(2, t);
    const int energyColumn = 3 + 3 * kRangedCount + kPowerCount + 1;
    s.bind(energyColumn, kwh);
    s.bind(energyColumn + 1, std::int64_t{0});
}

// The minute row, then the hour and day rows: first the pieces of a silence before the
// minute, then the minute's own figures.
bool writeDelta(SqliteStatement (&tables)[3], const PeriodDelta& d) {
    for (const EnergyPiece& piece : d.spread) {
        const std::int64_t keys[2] = {piece.hour, piece.day};
        for (int i = 0; i < 2; ++i) {
            tables[i + 1].reset();
            bindPiece(tables[i + 1], d.meter, keys[i], piece.kwh);
            if (tables[i + 1].step() != SQLITE_DONE) return false;
        }
    }
    const std::int64_t keys[3] = {d.minute, d.hour, d.day};
    for (int i = 0; i < 3; ++i) {
        tables[i].reset();
        bindDelta(tables[i], d, keys[i], i == 0 ? d.stats.energy : d.rollupEnergy);
        if (tables[i].step() != SQLITE_DONE) return false;
    }
    return true;
}

}  // namespace

ArchiveWriter::ArchiveWriter(ArchiveWriterOptions options, const Clock& clock)
    : options_(std::move(options)), clock_(clock), path_(archivePath(options_.folder)) {
    if (options_.queueCapacity == 0) options_.queueCapacity = 1;
    ring_.resize(options_.queueCapacity);
}

ArchiveWriter::~ArchiveWriter() {
    stop();
}

void ArchiveWriter::say(const std::string& line) {
    if (options_.log) options_.log(line);
}

void ArchiveWriter::start() {
    if (running_) return;
    std::vector<std::string> lines;
    db_ = openArchiveForWriting(path_, lines);
    for (const auto& l : lines) say(l);
    if (!db_.isOpen()) failing_ = true;
    if (db_.isOpen()) readPeriodHours();
    // Everything before the start is in the file already, or was lost with the last run.
    writtenThrough_.store(unixSecondsOf(clock_) - kStampMarginSeconds);
    running_ = true;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void ArchiveWriter::push(const ArchiveSample& sample) noexcept {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t cap = ring_.size();
        if (size_ == cap) {
            head_ = (head_ + 1) % cap;
            --size_;
            ++droppedTotal_;
            ++droppedEpisode_;
        }
        ring_[(head_ + size_) % cap] = sample;
        ++size_;
    }
}

void ArchiveWriter::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!running_) return;
    const std::uint64_t ticket = ++flushRequested_;
    wake_.notify_one();
    flushed_.wait(lock, [&] { return flushDone_ >= ticket || !running_; });
}

void ArchiveWriter::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
    }
    flushed_.notify_all();
    db_.close();
}

std::uint64_t ArchiveWriter::droppedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return droppedTotal_;
}

std::uint64_t ArchiveWriter::failedCommits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failedCommits_;
}

void ArchiveWriter::drain(std::vector<ArchiveSample>& batch) {
    std::uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.clear();
        for (std::size_t i = 0; i < size_; ++i) batch.push_back(ring_[(head_ + i) % ring_.size()]);
        head_ = 0;
        size_ = 0;
        dropped = droppedEpisode_;
        droppedEpisode_ = 0;
    }
    lastDrainAt_ = unixSecondsOf(clock_);
    // One line per episode: the writer hears of a full queue once it gets to empty it.
    if (dropped > 0)
        say("Archive queue full: " + std::to_string(dropped) +
            " meter messages dropped, the oldest first");
    for (const ArchiveSample& s : batch) {
        if (!aggregator_.knows(std::string(s.idView()))) noteNewMeter(s);
        aggregator_.add(s);
    }
}

void ArchiveWriter::noteNewMeter(const ArchiveSample& sample) {
    const std::string meter(sample.idView());
    // The day energy of the meter's last minute row, so that the first message after a restart
    // adds only what was used since. A meter without one starts from its first reading.
    if (db_.isOpen()) {
        SqliteStatement last(
            db_, "SELECT t, day_kwh FROM minutes WHERE meter = ? ORDER BY t DESC LIMIT 1");
        last.bind(1, std::string_view(meter));
        // The row's last message may have come up to a minute after the row's start.
        if (last.step() == SQLITE_ROW)
            aggregator_.seedDayEnergy(meter, last.columnDouble(1),
                                      last.columnInt(0) + kSecondsPerMinute - 1);
    }
    if (options_.importDayFiles && db_.isOpen()) importDayFile(meter);
}

void ArchiveWriter::importDayFile(const std::string& meter) {
    SqliteStatement known(db_, "SELECT day_file_imported FROM meters WHERE id = ?");
    known.bind(1, std::string_view(meter));
    if (known.step() == SQLITE_ROW && known.columnInt(0) != 0) return;
    std::vector<TenMinuteRow> rows;
    {
        std::ifstream in(options_.folder + "/M10_" + meter + ".txt", std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            rows = tenMinuteRowsOfDayFile(text.str());
        }
    }
    if (db_.exec("BEGIN IMMEDIATE") != SQLITE_OK) return;
    SqliteStatement insert(
        db_, "INSERT OR IGNORE INTO ten_minutes (meter, t, day_kwh, kwh) VALUES (?, ?, ?, ?)");
    bool ok = insert.valid();
    for (const TenMinuteRow& r : rows) {
        if (!ok) break;
        insert.reset();
        insert.bind(1, std::string_view(meter));
        insert.bind(2, r.start);
        insert.bind(3, r.dayEnergy);
        insert.bind(4, r.energy);
        ok = insert.step() == SQLITE_DONE;
    }
    SqliteStatement mark(db_,
                         "INSERT INTO meters (id, first_seen, day_file_imported) VALUES (?, ?, 1) "
                         "ON CONFLICT (id) DO UPDATE SET day_file_imported = 1");
    mark.bind(1, std::string_view(meter));
    mark.bind(2, unixSecondsOf(clock_));
    ok = ok && mark.step() == SQLITE_DONE;
    if (ok && db_.exec("COMMIT") == SQLITE_OK) {
        if (!rows.empty())
            say("Archive: " + std::to_string(rows.size()) + " ten-minute energies of meter " +
                meter + " taken from its day file");
    } else {
        db_.exec("ROLLBACK");
    }
}

bool ArchiveWriter::ensureOpen() {
    if (db_.isOpen()) return true;
    std::vector<std::string> lines;
    db_ = openArchiveForWriting(path_, lines);
    return db_.isOpen();
}

bool ArchiveWriter::commit() {
    std::vector<PeriodDelta> fresh = aggregator_.take();
    if (!fresh.empty()) {
        unwritten_.insert(unwritten_.end(), std::make_move_iterator(fresh.begin()),
                          std::make_move_iterator(fresh.end()));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        alertsUnwritten_.insert(alertsUnwritten_.end(),
                                std::make_move_iterator(pendingAlerts_.begin()),
                                std::make_move_iterator(pendingAlerts_.end()));
        pendingAlerts_.clear();
    }
    if (alertsUnwritten_.size() > kMaxPendingAlerts)
        alertsUnwritten_.erase(alertsUnwritten_.begin(),
                               alertsUnwritten_.begin() +
                                   static_cast<long>(alertsUnwritten_.size() - kMaxPendingAlerts));
    if (unwritten_.empty() && alertsUnwritten_.empty()) return true;
    if (unwritten_.size() > kMaxUnwritten) {
        const std::size_t excess = unwritten_.size() - kMaxUnwritten;
        unwritten_.erase(unwritten_.begin(), unwritten_.begin() + static_cast<long>(excess));
        // Told once when the memory first fills, and with the whole count when writing resumes.
        if (trimmedEpisode_ == 0)
            say("Archive: more than " + std::to_string(kMaxUnwritten) +
                " minute figures wait to be written; the oldest are dropped from now on");
        trimmedEpisode_ += excess;
    }

    std::string why;
    bool ok = ensureOpen();
    if (ok) {
        ok = db_.exec("BEGIN IMMEDIATE") == SQLITE_OK;
        if (ok) {
            SqliteStatement tables[3] = {SqliteStatement(db_, upsertSql("minutes")),
                                         SqliteStatement(db_, upsertSql("hours")),
                                         SqliteStatement(db_, upsertSql("days"))};
            SqliteStatement meter(db_,
                                  "INSERT OR IGNORE INTO meters (id, first_seen) VALUES (?, ?)");
            SqliteStatement alert(db_,
                                  "INSERT INTO alerts (t_ms, meter, rule, phase, event, value, "
                                  "threshold) VALUES (?, ?, ?, ?, ?, ?, ?)");
            for (auto& t : tables) ok = ok && t.valid();
            ok = ok && meter.valid() && alert.valid();
            for (const AlertRecord& a : alertsUnwritten_) {
                if (!ok) break;
                alert.reset();
                alert.bind(1, a.timeMs);
                alert.bind(2, std::string_view(a.meter));
                alert.bind(3, std::string_view(a.rule));
                alert.bind(4, static_cast<std::int64_t>(a.phase));
                alert.bind(5, std::string_view(a.started ? "start" : "end"));
                alert.bind(6, a.value);
                alert.bind(7, a.threshold);
                ok = alert.step() == SQLITE_DONE;
            }
            // The earliest hour and day a silence's energy went back to.
            std::int64_t reshipHour = INT64_MAX, reshipDay = INT64_MAX;
            for (const PeriodDelta& d : unwritten_) {
                if (!ok) break;
                ok = writeDelta(tables, d);
                if (!d.spread.empty()) {
                    reshipHour = std::min(reshipHour, d.spread.front().hour);
                    reshipDay = std::min(reshipDay, d.spread.front().day);
                }
                meter.reset();
                meter.bind(1, std::string_view(d.meter));
                meter.bind(2, d.minute);
                ok = ok && meter.step() == SQLITE_DONE;
            }
            if (ok && reshipHour != INT64_MAX)
                ok = reshipFrom(db_, OutboxTable::Hours, reshipHour) &&
                     reshipFrom(db_, OutboxTable::Days, reshipDay);
            if (!ok) why = sqlite3_errmsg(db_.handle());
        } else {
            why = db_.error();
        }
        ok = ok && db_.exec("COMMIT") == SQLITE_OK;
        if (!ok) {
            if (why.empty()) why = db_.error();
            db_.exec("ROLLBACK");
        }
    } else {
        why = "it cannot be opened";
    }
    if (ok) {
        refreshPeriodHours(unwritten_);
        unwritten_.clear();
        alertsUnwritten_.clear();
        if (failing_) say(std::string("Archive ") + kArchiveFileName + " is written again");
        if (trimmedEpisode_ > 0)
            say("Archive: " + std::to_string(trimmedEpisode_) +
                " minute figures were dropped, the oldest first, while it could not be written");
        trimmedEpisode_ = 0;
        failing_ = false;
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++failedCommits_;
    }
    if (!failing_)
        say(std::string("Archive ") + kArchiveFileName + " cannot be written (" + why +
            "): the figures wait in memory until it can");
    failing_ = true;
    // A file deleted or replaced under us is opened afresh next time.
    if (!db_.isOpen() || why.find("readonly") != std::string::npos) db_.close();
    return false;
}

void ArchiveWriter::readPeriodHours() {
    const std::int64_t from = periodHoursFrom(unixSecondsOf(clock_));
    std::string error;
    std::vector<MeterEnergy> meters = queryHourEnergy(options_.folder, from, error);
    if (!error.empty()) return;
    periodHours_.reset(from, std::move(meters));
}

void ArchiveWriter::refreshPeriodHours(const std::vector<PeriodDelta>& written) {
    const std::int64_t from = periodHoursFrom(unixSecondsOf(clock_));
    // Not read yet (the file could not be opened at the start), or the clock went back.
    if (!periodHours_.filled() || from < periodHours_.from()) {
        readPeriodHours();
        return;
    }
    if (from > periodHours_.from()) periodHours_.dropBefore(from);
    std::map<std::string, std::int64_t, std::less<>> since;
    for (const PeriodDelta& d : written) {
        // A silence's energy went back to the hours it covered, before the minute's own hour.
        std::int64_t earliest = d.hour;
        for (const EnergyPiece& piece : d.spread) earliest = std::min(earliest, piece.hour);
        auto [it, added] = since.emplace(d.meter, earliest);
        if (!added) it->second = std::min(it->second, earliest);
    }
    SqliteStatement first(db_, "SELECT MIN(t) FROM hours WHERE meter = ?");
    SqliteStatement rows(
        db_,
        "SELECT t, kwh, w1_mean, w2_mean, w3_mean FROM hours WHERE meter = ? AND t >= ? "
        "ORDER BY t");
    if (!first.valid() || !rows.valid()) return;
    for (const auto& [meter, hour] : since) {
        MeterEnergy m;
        m.meter = meter;
        first.reset();
        first.bind(1, std::string_view(meter));
        if (first.step() != SQLITE_ROW || first.columnIsNull(0)) continue;
        m.firstRow = first.columnInt(0);
        const std::int64_t start = std::max(hour, from);
        rows.reset();
        rows.bind(1, std::string_view(meter));
        rows.bind(2, start);
        while (rows.step() == SQLITE_ROW) {
            m.time.push_back(rows.columnInt(0));
            m.kwh.push_back(rows.columnIsNull(1) ? 0.0 : rows.columnDouble(1));
            std::array<double, 3> watts{};
            for (int p = 0; p < 3; ++p)
                watts[p] = rows.columnIsNull(2 + p) ? kNoPhaseWatts : rows.columnDouble(2 + p);
            m.phaseWatts.push_back(watts);
        }
        periodHours_.replace(std::move(m), start);
    }
}

void ArchiveWriter::tellLostAtStop() {
    if (unwritten_.empty() && alertsUnwritten_.empty() && trimmedEpisode_ == 0) return;
    say("Archive " + std::string(kArchiveFileName) + " could not be written before the stop: " +
        std::to_string(unwritten_.size() + trimmedEpisode_) + " minute figures and " +
        std::to_string(alertsUnwritten_.size()) + " alert records are lost");
}

bool ArchiveWriter::prune() {
    const RetentionCutoffs cut = retentionCutoffs(unixSecondsOf(clock_), options_.settings);
    // Rows a sink has not shipped yet are counted before they go; without that count they
    // stay for the next pass.
    std::string outboxError;
    if (!countUnshippedBeforePrune(db_, cut, outboxError)) return false;
    const std::pair<const char*, std::int64_t> targets[] = {
        {"minutes", cut.minute}, {"ten_minutes", cut.minute}, {"hours", cut.hour}};
    int batches = 0;
    for (const auto& [table, before] : targets) {
        const std::string sql = std::string("DELETE FROM ") + table +
                                " WHERE (meter, t) IN (SELECT meter, t FROM " + table +
                                " WHERE t < ? LIMIT " + std::to_string(kDeleteBatchRows) + ")";
        while (batches < kPruneBatchesPerPass) {
            SqliteStatement del(db_, sql);
            del.bind(1, before);
            if (del.step() != SQLITE_DONE) return false;
            ++batches;
            if (db_.changes() < kDeleteBatchRows) break;
        }
    }
    // More left over: the next pass comes soon.
    if (batches < kPruneBatchesPerPass) return false;
    nextPrune_ = unixSecondsOf(clock_) + 5;
    return true;
}

void ArchiveWriter::run() {
    // The commits are paced on the thread's own waits, in real time.
    using Steady = std::chrono::steady_clock;
    std::vector<ArchiveSample> batch;
    batch.reserve(ring_.size());
    auto nextCommit = Steady::now() + std::chrono::milliseconds(options_.commitMilliseconds);
    nextPrune_ = unixSecondsOf(clock_);
    for (;;) {
        std::uint64_t flushTicket = 0;
        bool flushWanted = false;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_until(lock, nextCommit,
                             [&] { return stopping_ || flushRequested_ > flushDone_; });
            flushTicket = flushRequested_;
            flushWanted = flushRequested_ > flushDone_;
            stopping = stopping_;
        }
        drain(batch);
        const bool due = Steady::now() >= nextCommit;
        if (due || stopping || flushWanted) {
            if (commit()) writtenThrough_.store(lastDrainAt_ - kStampMarginSeconds);
            nextCommit = Steady::now() + std::chrono::milliseconds(options_.commitMilliseconds);
        }
        if (db_.isOpen() && !failing_ && unixSecondsOf(clock_) >= nextPrune_) {
            nextPrune_ = unixSecondsOf(clock_) + kPruneEverySeconds;
            prune();
            // Hour rows the retention deleted leave the period hours too: read afresh when
            // they reached into this month's rows, or took a meter's last row.
            const std::int64_t cut =
                retentionCutoffs(unixSecondsOf(clock_), options_.settings).hour;
            const std::int64_t idle = periodHours_.oldestIdleFirstRow();
            if (cut > periodHours_.from() || (idle != 0 && idle < cut)) readPeriodHours();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (flushTicket > flushDone_) flushDone_ = flushTicket;
        }
        flushed_.notify_all();
        if (stopping) {
            // What is left to prune goes now, still in small transactions.
            for (int pass = 0; pass < 100 && db_.isOpen() && !failing_ && prune(); ++pass) {
            }
            tellLostAtStop();
            break;
        }
    }
}

}  // namespace tev::archive

namespace tev::archive {

void ArchiveWriter::pushAlert(AlertRecord alert) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pendingAlerts_.size() >= kMaxPendingAlerts) pendingAlerts_.erase(pendingAlerts_.begin());
    pendingAlerts_.push_back(std::move(alert));
}

}  // namespace tev::archive
