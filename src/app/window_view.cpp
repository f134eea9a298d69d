#include "app/window_view.h"

#include <QApplication>

#include "window/mainwindow/tsdf.h"

namespace tev::app {

const MeasurementStore& WindowView::store() const {
    return window_.store();
}

EventLog& WindowView::eventLog() {
    return window_.eventLog();
}

bool WindowView::linkOn() const {
    return window_.linkFlag() == 1;
}

LanguageMode WindowView::language() const {
    return window_.languageMode();
}

ToneSink& WindowView::tones() {
    return *window_.seams().tones;
}

MeterSocketsStatus WindowView::sockets() const {
    const MeterServer& server = window_.meterServer();
    return MeterSocketsStatus{server.meterPort(), server.secondPort(),
                              server.meterConnectionCount(), server.secondConnectionCount()};
}

void WindowView::requestStop() {
    window_.close();
    QApplication::quit();
}

QObject& WindowView::guiThread() {
    return window_;
}

QWidget* WindowView::window() {
    return &window_;
}

}  // namespace tev::app
