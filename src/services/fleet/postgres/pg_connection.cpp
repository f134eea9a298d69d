#include "services/fleet/postgres/pg_connection.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>

namespace tev::fleet {

PgResult::~PgResult() {
    if (result_ != nullptr) PQclear(result_);
}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        if (result_ != nullptr) PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

bool PgResult::ok() const {
    if (result_ == nullptr) return false;
    const ExecStatusType s = PQresultStatus(result_);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

int PgResult::rows() const {
    return result_ != nullptr ? PQntuples(result_) : 0;
}

bool PgResult::isNull(int row, int column) const {
    return result_ == nullptr || PQgetisnull(result_, row, column) != 0;
}

std::string PgResult::text(int row, int column) const {
    if (result_ == nullptr) return {};
    const char* v = PQgetvalue(result_, row, column);
    return v != nullptr ? std::string(v) : std::string();
}

std::string PgResult::error() const {
    if (result_ == nullptr) return "no result";
    const char* m = PQresultErrorMessage(result_);
    return m != nullptr ? std::string(m) : std::string();
}

std::string PgResult::sqlState() const {
    if (result_ == nullptr) return {};
    const char* s = PQresultErrorField(result_, PG_DIAG_SQLSTATE);
    return s != nullptr ? std::string(s) : std::string();
}

PgConnection::~PgConnection() {
    close();
}

bool PgConnection::connect(const Parameters& parameters, int wakeFd, int timeoutMs,
                           std::string& error) {
    close();
    error.clear();
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : parameters) {
        keys.push_back(k.c_str());
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn* c = PQconnectStartParams(keys.data(), values.data(), 1);
    if (c == nullptr) {
        error = "out of memory";
        return false;
    }
    // libpq's own asynchronous connection, so that a stop or the time limit can end the wait.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(c) != CONNECTION_BAD && state != PGRES_POLLING_OK &&
           state != PGRES_POLLING_FAILED) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            error = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
            break;
        }
        pollfd fds[2] = {
            {PQsocket(c), static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0},
            {wakeFd, POLLIN, 0}};
        const int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, static_cast<int>(left));
        if (n > 0 && wakeFd >= 0 && (fds[1].revents & POLLIN) != 0) {
            error = "stopped";
            break;
        }
        if (n > 0) state = PQconnectPoll(c);
    }
    if (error.empty() && (PQstatus(c) != CONNECTION_OK || state == PGRES_POLLING_FAILED)) {
        const char* m = PQerrorMessage(c);
        error = m != nullptr && *m != '\0' ? m : "connection failed";
    }
    if (!error.empty()) {
        PQfinish(c);
        return false;
    }
    conn_ = c;
    std::lock_guard<std::mutex> lock(socketMutex_);
    socket_ = PQsocket(c);
    return true;
}

void PgConnection::close() {
    if (conn_ == nullptr) return;
    std::lock_guard<std::mutex> lock(socketMutex_);
    socket_ = -1;
    PQfinish(conn_);
    conn_ = nullptr;
}

void PgConnection::interrupt() {
    std::lock_guard<std::mutex> lock(socketMutex_);
    if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

std::string PgConnection::lastError() const {
    if (conn_ == nullptr) return "not connected";
    const char* m = PQerrorMessage(conn_);
    return m != nullptr ? std::string(m) : std::string();
}

PgResult PgConnection::exec(const std::string& sql) {
    if (conn_ == nullptr) return PgResult();
    return PgResult(PQexec(conn_, sql.c_str()));
}

PgResult PgConnection::execParams(const std::string& sql,
                                  const std::vector<std::string>& parameters) {
    if (conn_ == nullptr) return PgResult();
    std::vector<const char*> values;
    for (const std::string& p : parameters) values.push_back(p.c_str());
    return PgResult(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
}

bool PgConnection::run(const std::string& sql, std::string& error) {
    const PgResult r = exec(sql);
    if (r.ok()) return true;
    error = conn_ == nullptr ? "not connected" : r.error();
    if (error.empty()) error = lastError();
    return false;
}

bool PgConnection::copyIn(const std::string& copySql, const std::string& data, std::string& error) {
    if (conn_ == nullptr) {
        error = "not connected";
        return false;
    }
    PGresult* start = PQexec(conn_, copySql.c_str());
    const bool copying = PQresultStatus(start) == PGRES_COPY_IN;
    if (!copying) error = PQresultErrorMessage(start);
    PQclear(start);
    if (!copying) {
        if (error.empty()) error = lastError();
        return false;
    }
    // The connection blocks, so each call hands libpq the whole piece.
    constexpr std::size_t kPiece = 1 << 20;
    bool sent = true;
    for (std::size_t at = 0; at < data.size() && sent; at += kPiece) {
        const std::size_t n = std::min(kPiece, data.size() - at);
        sent = PQputCopyData(conn_, data.data() + at, static_cast<int>(n)) == 1;
    }
    if (!sent) error = lastError();
    if (PQputCopyEnd(conn_, sent ? nullptr : "the batch could not be sent") != 1 && error.empty())
        error = lastError();
    // The COPY's own result, then nothing.
    while (PGresult* r = PQgetResult(conn_)) {
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && error.empty()) error = PQresultErrorMessage(r);
        PQclear(r);
        // A connection still waiting for copy data after a failed end has nothing more to say.
        if (status == PGRES_COPY_IN) {
            if (error.empty()) error = "the batch could not be ended";
            break;
        }
    }
    return error.empty();
}

}  // namespace tev::fleet
