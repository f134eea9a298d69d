#pragma once

#include "app/recorder_view.h"

namespace tev {
class Tsdf;
}

namespace tev::app {

// The recorder as the main window holds it: the one place where the services' view meets the
// window.
class WindowView final : public RecorderView {
  public:
    explicit WindowView(Tsdf& window) : window_(window) {}

    const MeasurementStore& store() const override;
    EventLog& eventLog() override;
    bool linkOn() const override;
    LanguageMode language() const override;
    ToneSink& tones() override;
    MeterSocketsStatus sockets() const override;
    void requestStop() override;
    QObject& guiThread() override;
    QWidget* window() override;

  private:
    Tsdf& window_;
};

}  // namespace tev::app
