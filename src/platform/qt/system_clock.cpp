#include "platform/qt/system_clock.h"

#include <QDateTime>

namespace tev {

DateTime SystemClock::now() const {
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime tm = t.time();
    return DateTime{d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second(), tm.msec()};
}

std::chrono::system_clock::time_point SystemClock::wallNow() const {
    return std::chrono::system_clock::now();
}

std::chrono::steady_clock::time_point SystemClock::steadyNow() const {
    return std::chrono::steady_clock::now();
}

}  // namespace tev
