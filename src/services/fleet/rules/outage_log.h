#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tev::fleet {

// The log of the database link: one line when an outage begins, however long it lasts and
// however often the attempts fail, and one when shipping resumes, with the rows that waited.
class OutageLog {
  public:
    explicit OutageLog(std::string where) : where_(std::move(where)) {}

    // An attempt or a batch failed at `unixSeconds`: the line to log, or empty while
    // the outage goes on.
    std::string failed(std::string_view reason, std::int64_t unixSeconds);
    // A batch is in the database: the line to log when it ends an outage or is the first of
    // the run, else empty. `backlog` is what waited when the connection came.
    std::string shipped(std::int64_t backlog, std::int64_t unixSeconds);
    bool inOutage() const { return outageSince_ >= 0; }

  private:
    std::string where_;
    std::int64_t outageSince_ = -1;
    bool shippedOnce_ = false;
};

// The first line of a libpq error message, valid UTF-8 and at most 200 bytes.
std::string errorReason(std::string_view message);
// "45 s", "3 min 5 s", "2 h 10 min", "3 d 4 h".
std::string durationText(std::int64_t seconds);

}  // namespace tev::fleet
