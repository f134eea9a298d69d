#include "services/fleet/postgres/pg_connection.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
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

void PgConnection::onNotice(void* self, const char* message) {
    auto* c = static_cast<PgConnection*>(self);
    if (c->notices_ && message != nullptr) c->notices_(message);
}

bool PgConnection::connect(const Parameters& parameters, int wakeFd, int timeoutMs,
                           std::string& error) {
    close();
    error.clear();
    waitedMs_ = 0;
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
    // Never libpq's default, which writes the server's notices to standard error.
    PQsetNoticeProcessor(c, &PgConnection::onNotice, this);
    // libpq's own asynchronous connection, so that a stop or the time limit can end the wait.
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::milliseconds(timeoutMs);
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
    // Every later call sends and waits itself, so that none outlasts its deadline.
    if (error.empty() && PQsetnonblocking(c, 1) != 0) error = "the connection cannot be polled";
    if (!error.empty()) {
        waitedMs_ =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        PQfinish(c);
        return false;
    }
    conn_ = c;
    wakeFd_ = wakeFd;
    failure_.clear();
    std::lock_guard<std::mutex> lock(socketMutex_);
    socket_ = PQsocket(c);
    return true;
}

void PgConnection::close() {
    if (conn_ == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(socketMutex_);
        socket_ = -1;
    }
    // Non-blocking, so the goodbye to a server that does not read never waits.
    PQfinish(conn_);
    conn_ = nullptr;
    failure_.clear();
}

void PgConnection::interrupt() {
    std::lock_guard<std::mutex> lock(socketMutex_);
    if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

std::string PgConnection::lastError() const {
    if (conn_ == nullptr) return "not connected";
    if (!failure_.empty()) return failure_;
    const char* m = PQerrorMessage(conn_);
    return m != nullptr ? std::string(m) : std::string();
}

PgConnection::Clock::time_point PgConnection::deadlineFromNow() const {
    return deadlineMs_ > 0 ? Clock::now() + std::chrono::milliseconds(deadlineMs_)
                           : Clock::time_point::max();
}

PgConnection::Wait PgConnection::waitFor(short events, Clock::time_point deadline) {
    for (;;) {
        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return Wait::TimedOut;
            timeout = static_cast<int>(std::min<std::int64_t>(left, 60000));
        }
        pollfd fds[2] = {{PQsocket(conn_), events, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, wakeFd_ >= 0 ? 2 : 1, timeout);
        if (n < 0 && errno != EINTR) return Wait::Failed;
        if (n <= 0) continue;
        if (wakeFd_ >= 0 && (fds[1].revents & POLLIN) != 0) return Wait::Woken;
        if (fds[0].revents != 0) return Wait::Ready;
    }
}

bool PgConnection::fail(Wait why, Clock::time_point started) {
    waitedMs_ =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    if (why == Wait::TimedOut)
        failure_ = "no answer within " + std::to_string((deadlineMs_ + 999) / 1000) + " s";
    else if (why == Wait::Woken)
        failure_ = "stopped";
    else if (failure_.empty()) {
        const char* m = PQerrorMessage(conn_);
        failure_ = m != nullptr && *m != '\0' ? m : "the connection was lost";
    }
    return false;
}

bool PgConnection::flush(Clock::time_point deadline) {
    for (;;) {
        const int left = PQflush(conn_);
        if (left == 0) return true;
        if (left < 0) return fail(Wait::Failed, callStarted_);
        // The server may answer while it still reads: its answer is taken in meanwhile.
        const Wait w = waitFor(POLLIN | POLLOUT, deadline);
        if (w != Wait::Ready) return fail(w, callStarted_);
        if (PQconsumeInput(conn_) == 0) return fail(Wait::Failed, callStarted_);
    }
}

PgResult PgConnection::collect(Clock::time_point deadline) {
    if (!flush(deadline)) return PgResult();
    pg_result* last = nullptr;
    for (;;) {
        while (PQisBusy(conn_) != 0) {
            const Wait w = waitFor(POLLIN, deadline);
            if (w != Wait::Ready || PQconsumeInput(conn_) == 0) {
                if (last != nullptr) PQclear(last);
                fail(w, callStarted_);
                return PgResult();
            }
        }
        pg_result* r = PQgetResult(conn_);
        if (r == nullptr) break;
        if (last != nullptr) PQclear(last);
        last = r;
        const ExecStatusType s = PQresultStatus(r);
        if (s == PGRES_COPY_IN || s == PGRES_COPY_OUT || s == PGRES_COPY_BOTH ||
            PQstatus(conn_) == CONNECTION_BAD)
            break;
    }
    if (last == nullptr) fail(Wait::Failed, callStarted_);
    return PgResult(last);
}

PgResult PgConnection::exec(const std::string& sql) {
    if (conn_ == nullptr || !failure_.empty()) return PgResult();
    callStarted_ = Clock::now();
    waitedMs_ = 0;
    if (PQsendQuery(conn_, sql.c_str()) == 0) {
        fail(Wait::Failed, callStarted_);
        return PgResult();
    }
    return collect(deadlineFromNow());
}

PgResult PgConnection::execParams(const std::string& sql,
                                  const std::vector<std::string>& parameters) {
    if (conn_ == nullptr || !failure_.empty()) return PgResult();
    std::vector<const char*> values;
    for (const std::string& p : parameters) values.push_back(p.c_str());
    callStarted_ = Clock::now();
    waitedMs_ = 0;
    if (PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0) == 0) {
        fail(Wait::Failed, callStarted_);
        return PgResult();
    }
    return collect(deadlineFromNow());
}

bool PgConnection::run(const std::string& sql, std::string& error) {
    const PgResult r = exec(sql);
    if (r.ok()) return true;
    error = r.answered() ? r.error() : lastError();
    if (error.empty()) error = lastError();
    return false;
}

bool PgConnection::copyIn(const std::string& copySql, const std::string& data, std::string& error,
                          std::string* sqlState) {
    if (sqlState != nullptr) sqlState->clear();
    if (conn_ == nullptr || !failure_.empty()) {
        error = lastError();
        return false;
    }
    callStarted_ = Clock::now();
    waitedMs_ = 0;
    const auto deadline = deadlineFromNow();
    PgResult start;
    if (PQsendQuery(conn_, copySql.c_str()) == 0)
        fail(Wait::Failed, callStarted_);
    else
        start = collect(deadline);
    if (!start.answered()) {
        error = lastError();
        return false;
    }
    if (PQresultStatus(start.result_) != PGRES_COPY_IN) {
        error = start.error();
        if (error.empty()) error = lastError();
        return false;
    }
    // libpq queues each piece and sends what the socket takes; the rest goes in flush().
    constexpr std::size_t kPiece = 1 << 16;
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t n = std::min(kPiece, data.size() - at);
        const int put = PQputCopyData(conn_, data.data() + at, static_cast<int>(n));
        if (put < 0) {
            fail(Wait::Failed, callStarted_);
            error = lastError();
            return false;
        }
        if (put == 1) {
            at += n;
            continue;
        }
        const Wait w = waitFor(POLLOUT, deadline);
        if (w != Wait::Ready) {
            fail(w, callStarted_);
            error = lastError();
            return false;
        }
    }
    int ended;
    while ((ended = PQputCopyEnd(conn_, nullptr)) == 0) {
        const Wait w = waitFor(POLLOUT, deadline);
        if (w != Wait::Ready) {
            fail(w, callStarted_);
            break;
        }
    }
    if (ended != 1) {
        if (failure_.empty()) fail(Wait::Failed, callStarted_);
        error = lastError();
        return false;
    }
    // The COPY's own result, then nothing.
    const PgResult done = collect(deadline);
    if (done.ok()) return true;
    if (sqlState != nullptr) *sqlState = done.sqlState();
    error = done.answered() ? done.error() : lastError();
    if (error.empty()) error = "the batch could not be ended";
    return false;
}

}  // namespace tev::fleet
