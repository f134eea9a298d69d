#pragma once

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
    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    std::string error() const;
    // The SQLSTATE of a failure ("" when none).
    std::string sqlState() const;

  private:
    pg_result* result_ = nullptr;
};

// One connection to PostgreSQL through libpq, closed when it goes out of scope. Used by one
// thread; only interrupt() may be called from another.
class PgConnection {
  public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

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

    PgResult exec(const std::string& sql);
    PgResult execParams(const std::string& sql, const std::vector<std::string>& parameters);
    // A statement without rows; false with the server's message in `error`.
    bool run(const std::string& sql, std::string& error);
    // COPY … FROM STDIN with `data` in COPY's text format.
    bool copyIn(const std::string& copySql, const std::string& data, std::string& error);
    // From another thread: ends whatever waits on the server (the call fails, and the
    // connection is to be closed), so that a stop never waits on the network.
    void interrupt();
    std::string lastError() const;

  private:
    pg_conn* conn_ = nullptr;
    mutable std::mutex socketMutex_;
    int socket_ = -1;
};

}  // namespace tev::fleet
