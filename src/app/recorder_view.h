#pragma once

#include <functional>
#include <string>

#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "platform/tone_sink.h"

class QObject;
class QWidget;

namespace tev::app {

// The meter sockets as the services report them: where they listen and how many are connected.
struct MeterSocketsStatus {
    int meterPort = 0;
    int secondPort = 0;
    int meterConnections = 0;
    int secondConnections = 0;
};

// What the services beside the window see of the recorder: its store and registry, its event
// log, the link state, the language, its tones and a way to ask the program to stop. Built once
// in main() over the main window; the services never learn the window itself.
class RecorderView {
  public:
    virtual ~RecorderView() = default;

    virtual const MeasurementStore& store() const = 0;
    const MeterRegistry& registry() const { return store().registry; }
    virtual EventLog& eventLog() = 0;
    // True while the meter link is on (a meter has spoken within the link's time-out).
    virtual bool linkOn() const = 0;
    virtual LanguageMode language() const = 0;
    virtual ToneSink& tones() = 0;
    virtual MeterSocketsStatus sockets() const = 0;
    // Saves both files and ends the program, as closing the window does.
    virtual void requestStop() = 0;
    // The GUI thread's object, for lines queued from a service's own thread.
    virtual QObject& guiThread() = 0;
    // The window the tray shows and hides; null without one.
    virtual QWidget* window() = 0;
};

}  // namespace tev::app
