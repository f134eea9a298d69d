#pragma once

#include <QMainWindow>

#include "platform/clock.h"
#include "platform/pause.h"
#include "platform/tone_sink.h"
#include "store/measurement_store.h"
#include "texts/event_log.h"

namespace tev {

// The platform the main window talks to; tests hand in fakes.
struct Platform {
    Clock* clock = nullptr;
    ToneSink* tones = nullptr;
    Pause* pause = nullptr;
};

// The main window `sdf`: owner of the store, the event log and all live state.
class Tsdf : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 984;
    static constexpr int kClientHeight = 796;

    explicit Tsdf(Platform platform, QWidget* parent = nullptr);

    MeasurementStore& store() { return store_; }
    EventLog& eventLog() { return log_; }
    QWidget* clientArea() const { return client_; }

private:
    Platform platform_;
    MeasurementStore store_;
    EventLog log_;
    QWidget* client_ = nullptr;
};

}  // namespace tev
