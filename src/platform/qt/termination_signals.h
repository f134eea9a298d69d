#pragma once

#include <QObject>

class QSocketNotifier;

namespace tev {

// Catches SIGTERM, SIGINT and SIGHUP for the rest of the process's life: from here on such a
// signal no longer ends the program by itself but waits in a pipe until a TerminationSignals
// object reads it. main() calls it before anything else, so that a service stop at any moment
// of start-up ends the program cleanly. Calling it again does nothing. False when the pipe or
// the handlers could not be set up.
bool installTerminationHandlers();

// Turns the caught signals into a Qt signal on the GUI thread, so that a service stop, a
// Ctrl+C or a closed terminal end the program through its normal shutdown. The signal handler
// only writes the signal number into a pipe; everything else happens when the event loop reads
// it. A signal caught before this object existed is read as soon as the event loop runs.
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
