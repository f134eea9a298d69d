#include "platform/qt/system_clock.h"

#include <QDateTime>

namespace tev {

DateTime SystemClock::now() const {
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime tm = t.time();
    return DateTime{d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second(), tm.msec()};
}

}  // namespace tev
