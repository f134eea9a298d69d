#include <QMetaObject>

#include "app/services.h"
#include "core/texts/number_text.h"

namespace tev::app {

void ServiceContext::log(const std::string& line) const {
    recorder.eventLog().append(logStamp(clock.now()) + " " + line);
}

std::function<void(const std::string&)> ServiceContext::logger() const {
    return [&recorder = recorder, &clock = clock](const std::string& line) {
        recorder.eventLog().append(logStamp(clock.now()) + " " + line);
    };
}

std::function<void(const std::string&)> ServiceContext::logFromAnyThread() const {
    return [&recorder = recorder, &clock = clock](const std::string& line) {
        QMetaObject::invokeMethod(
            &recorder.guiThread(),
            [&recorder, &clock, line] {
                recorder.eventLog().append(logStamp(clock.now()) + " " + line);
            },
            Qt::QueuedConnection);
    };
}

}  // namespace tev::app
