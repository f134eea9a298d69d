#include <QMetaObject>

#include "app/services.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/tsdf.h"

namespace tev::app {

void ServiceContext::log(const std::string& line) const {
    window.eventLog().append(logStamp(clock.now()) + " " + line);
}

std::function<void(const std::string&)> ServiceContext::logger() const {
    return [&sdf = window, &clock = clock](const std::string& line) {
        sdf.eventLog().append(logStamp(clock.now()) + " " + line);
    };
}

std::function<void(const std::string&)> ServiceContext::logFromAnyThread() const {
    return [&sdf = window, &clock = clock](const std::string& line) {
        QMetaObject::invokeMethod(
            &sdf, [&sdf, &clock, line] { sdf.eventLog().append(logStamp(clock.now()) + " " + line); },
            Qt::QueuedConnection);
    };
}

}  // namespace tev::app
