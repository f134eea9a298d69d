#pragma once
// What the loopback benchmarks share: the meters' data-message streams and the process's CPU
// time.
#include <sys/resource.h>

#include <QByteArray>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/hoq-sim/meter_messages.h"
#include "tools/hoq-sim/meter_model.h"

namespace tev::bench {

inline constexpr int kMeters = 200;
inline constexpr int kMessagesPerMeter = 1000;
inline constexpr int kStartDate = 240802;
inline constexpr double kStartSecond = 12 * 3600;
inline constexpr double kMeterSecondsPerMessage = 1.0;
// The run gives up after this long, whatever has arrived.
inline constexpr qint64 kLimitMs = 30000;

inline std::int64_t cpuMicroseconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec +
           u.ru_stime.tv_usec;
}

// The ID of a data message (characters 10-21), or empty for any other message.
inline std::string dataMessageId(std::string_view m) {
    if (m.size() < 24 || m.substr(0, 7) != "HOQ-260" || m.substr(22, 2) != "IP") return {};
    return std::string(m.substr(9, tev::sim::kIdLength));
}

// One stream of data messages per meter, each message ended by CR LF; `ids` gets the IDs.
inline std::vector<QByteArray> buildStreams(std::string_view idPrefix,
                                            std::vector<std::string>& ids) {
    std::vector<QByteArray> streams;
    for (int i = 0; i < kMeters; ++i) {
        ids.push_back(tev::sim::meterId(idPrefix, i + 1));
        tev::sim::MeterModel model(i, kStartDate, kStartSecond);
        std::string stream;
        for (int n = 0; n < kMessagesPerMeter; ++n) {
            stream += tev::sim::buildDataMessage(ids.back(), "192.168.1.50", model.meterDate(),
                                                 model.secs(), model.reading(n));
            stream += tev::sim::kCrLf;
            model.advance(kMeterSecondsPerMessage);
        }
        streams.emplace_back(stream.data(), static_cast<qsizetype>(stream.size()));
    }
    return streams;
}

}  // namespace tev::bench
