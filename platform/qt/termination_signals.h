#pragma once

#include <QObject>

class QSocketNotifier;

namespace tev {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so that a service stop, a
// Ctrl+C or a closed terminal end the program through its normal shutdown. The signal handler
// only writes the signal number into a pipe; everything else happens when the event loop reads
// it.
class TerminationSignals final : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the pipe or the handlers could not be set up.
    bool installed() const { return notifier_ != nullptr; }

  signals:
    void received(int signalNumber);

  private:
    void readPipe();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tev
