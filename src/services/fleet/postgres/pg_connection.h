#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct pg_conn;
struct pg_result;

namespace tev::fleet {

// A query's result, cleared when it goes out of scope.
class PgResult {
  public:
    PgResult() = default;
    explicit PgResult(pg_result* result) : result_(result) {}
    ~PgResult();
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&& other) noexcept;

    // A command that completed, or a query that returned its rows.
    bool ok() const;
    // Whether the server answered at all (false after a deadline, a stop or a lost link).
    bool answered() const { return result_ != nullptr; }
    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    std::string error() const;
    // The SQLSTATE of a failure ("" when none).
    std::string sqlState() const;

  private:
    friend class PgConnection;
    pg_result* result_ = nullptr;
};

// One connection to PostgreSQL through libpq, closed when it goes out of scope. Used by one
// thread; only interrupt() may be called from another. Every call waits on the socket and the
// wake descriptor given to connect(), never longer than the deadline: a server that stops
// answering without closing fails the call, and so does every later call until close().
class PgConnection {
  public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;
    using NoticeHandler = std::function<void(const std::string&)>;

    PgConnection() = default;
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects with libpq's keywords and values (a "dbname" that is a connection string is
    // expanded; later keywords win). Gives up after `timeoutMs`, or as soon as `wakeFd` (when
    // not -1) becomes readable. Empty `error` on success.
    bool connect(const Parameters& parameters, int wakeFd, int timeoutMs, std::string& error);
    void close();
    bool isOpen() const { return conn_ != nullptr; }
    // How long each later call may wait for the server; 0: as long as it takes.
    void setDeadline(int ms) { deadlineMs_ = ms; }
    // The server's notices and warnings, one message each; dropped when none is set. Set before
    // connect() to see those of the connection's start too.
    void setNoticeHandler(NoticeHandler handler) { notices_ = std::move(handler); }
    // How long the last call that failed (or connect) waited before it gave up, in milliseconds.
    std::int64_t waitedMs() const { return waitedMs_; }

    PgResult exec(const std::string& sql);
    PgResult execParams(const std::string& sql, const std::vector<std::string>& parameters);
    // A statement without rows; false with the server's message in `error`.
    bool run(const std::string& sql, std::string& error);
    // COPY … FROM STDIN with `data` in the format the statement names. `sqlState`, when given,
    // takes the SQLSTATE of the server's refusal ("" when there is none).
    bool copyIn(const std::string& copySql, const std::string& data, std::string& error,
                std::string* sqlState = nullptr);
    // From another thread: ends whatever waits on the server (the call fails, and the
    // connection is to be closed), so that a stop never waits on the network.
    void interrupt();
    std::string lastError() const;

  private:
    using Clock = std::chrono::steady_clock;
    enum class Wait { Ready, TimedOut, Woken, Failed };
    // Waits until the socket is ready for `events`, the deadline passes or the wake fd fires.
    Wait waitFor(short events, Clock::time_point deadline);
    Clock::time_point deadlineFromNow() const;
    // Sends what libpq holds; false (with failure_ set) when it cannot before the deadline.
    bool flush(Clock::time_point deadline);
    // The results of the query sent, up to the last one or a COPY's start.
    PgResult collect(Clock::time_point deadline);
    bool fail(Wait why, Clock::time_point started);
    static void onNotice(void* self, const char* message);

    pg_conn* conn_ = nullptr;
    int wakeFd_ = -1;
    int deadlineMs_ = 0;
    std::int64_t waitedMs_ = 0;
    Clock::time_point callStarted_{};
    std::string failure_;  // why the connection is no longer usable ("" while it is)
    NoticeHandler notices_;
    mutable std::mutex socketMutex_;
    int socket_ = -1;
};

}  // namespace tev::fleet
