#include "platform/qt/thread_pause.h"

#include <QThread>

namespace tev {

void ThreadPause::pause(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

}  // namespace tev
