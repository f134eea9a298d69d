#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/meterlink/line_framer.h"
#include "platform/clock.h"

class QTcpServer;
class QTcpSocket;

namespace tev {

class PortAcceptor;
class SilentClients;

// Where the two listening sockets listen; tests use 127.0.0.1 and port 0.
struct MeterServerSettings {
    QHostAddress address = QHostAddress::Any;
    quint16 meterPort = 9317;   // ServerSocket: the meters
    quint16 secondPort = 5113;  // the second port: accepts and exchanges nothing
    int maxConnections = 1024;  // per socket at most; less when the open-file limit is lower
    // A connection that has sent nothing for this long is closed. A meter polls every 30 s.
    std::int64_t idleTimeoutMs = 5 * 60 * 1000;
    // The open-file limit the connection caps are derived from; 0 reads the process's own.
    long openFileLimit = 0;
};

// The two listening sockets of the meter link. Every meter connection has its own LineFramer;
// each framed message goes to the message handler, whose non-empty answer is written back on
// the connection the message came from.
//
// Neither port can be shut for good from the network. Each has a cap on its connections that
// is reached before the process runs out of descriptors. At the cap of the meter port a new
// connection closes the oldest connection that has never carried a message of a registered
// meter, so that a crowd of strangers cannot cut a meter off; only when every connection
// carries a registered meter does the one idle longest go. On port 5113 the one idle longest
// goes. Connections idle for idleTimeoutMs are closed, and TCP
// keep-alive finds peers that vanished. When accepting fails (out of descriptors), the port
// stops accepting for kAcceptBackoffMs and tries again, logging the episode once.
class MeterServer : public QObject {
    Q_OBJECT
  public:
    using MessageHandler = std::function<std::string(std::string_view message)>;
    using ErrorHandler = std::function<void(const std::string& reason)>;
    // Called with the computer's IP text each time ServerSocket starts listening.
    using ListenHandler = std::function<void(const std::string& ipText)>;
    // Asked after each message is handled: whether it came from a registered meter.
    using RegisteredCheck = std::function<bool()>;

    // Bytes one meter connection may hold unread in Qt's buffer.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    static constexpr int kAcceptBackoffMs = 250;
    // Descriptors kept free of connections for files, the window system and the like.
    static constexpr long kReservedDescriptors = 128;
    // The soft open-file limit is raised no further than this.
    static constexpr long kOpenFileTarget = 16384;

    // Idle connections and the wait for the rest of a partial line are timed on the clock's
    // steady readings.
    MeterServer(MeterServerSettings settings, const Clock& clock, QObject* parent = nullptr);
    ~MeterServer() override;

    void setMessageHandler(MessageHandler handler) { onMessage_ = std::move(handler); }
    void setErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }
    void setListenHandler(ListenHandler handler) { onListen_ = std::move(handler); }
    void setRegisteredCheck(RegisteredCheck check) { isRegistered_ = std::move(check); }

    // Opens both sockets; a port that cannot be opened is reported and the rest runs.
    void start();

    // The link switch: off stops ServerSocket listening and drops its meter connections; on
    // listens again. The second port is not affected.
    void setListening(bool on);
    bool isListening() const;

    // The ports actually listened on (the chosen ones when the settings said 0); 0 when closed.
    quint16 meterPort() const;
    quint16 secondPort() const;
    // The configured ports that could not be listened on because another socket holds them.
    const std::vector<quint16>& takenPorts() const { return takenPorts_; }
    int meterConnectionCount() const { return static_cast<int>(meters_.size()); }
    int secondConnectionCount() const;
    int meterConnectionCap() const { return meterCap_; }
    int secondConnectionCap() const { return secondCap_; }
    std::uint64_t droppedBytes() const { return droppedBytes_; }
    std::uint64_t evictedConnections() const { return evicted_; }
    std::uint64_t idleClosedConnections() const { return idleClosed_; }
    std::uint64_t acceptPauses() const { return acceptPauses_; }

    // Closes the connections idle for idleTimeoutMs and those whose peer hung up on port 5113;
    // a timer calls it every few seconds.
    void closeIdleConnections();

    // The soft open-file limit, raised to the hard limit (at most kOpenFileTarget) if lower;
    // returns the limit in force. Called once at start-up.
    static long raiseOpenFileLimit();
    static long openFileLimit();
    // Per-port caps for an open-file limit: meters get three quarters of what the reserve leaves.
    struct Caps {
        int meters = 1;
        int second = 1;
    };
    static Caps connectionCaps(long openFileLimit, int configuredMax);

    // The computer's IP text: the first IPv4 address of the host name that is not a loopback
    // address, else the first such address of the machine's interfaces, else "127.0.0.1".
    static std::string computerIpText();
    static std::string pickComputerIp(const QList<QHostAddress>& hostNameAddresses,
                                      const QList<QHostAddress>& interfaceAddresses);

  private:
    struct MeterConnection {
        LineFramer framer;
        std::uint64_t id = 0;
        std::int64_t lastActivityMs = 0;
        bool carriedMeter = false;  // a message of a registered meter came on it
    };
    // A shortage of descriptors at one port, reported once per episode.
    struct ShortageEpisode {
        bool reported = false;
    };

    bool listenMeters();
    void acceptMeter(qintptr fd);
    void onShortage(ShortageEpisode& episode, quint16 configuredPort, int error);
    void readMeter(QTcpSocket* socket);
    // Forgets a meter connection; `deliverRest` hands on what its framer still holds.
    void closeMeter(QTcpSocket* socket, bool deliverRest);
    // Makes room for one more meter connection.
    void evictMeterConnection();
    void deliver(QTcpSocket* socket, std::uint64_t id, std::vector<std::string> messages);
    void onFramerTimer();
    void scheduleFramerTimer();
    void reportError(quint16 configuredPort, const QString& reason);
    void reportListenError(const QTcpServer& server, quint16 configuredPort);
    std::int64_t nowMs() const;

    MeterServerSettings settings_;
    const Clock& clock_;
    int meterCap_;
    int secondCap_;
    QTcpServer* meterServer_;
    QTcpServer* secondServer_;
    std::vector<quint16> takenPorts_;
    PortAcceptor* meterAcceptor_;
    PortAcceptor* secondAcceptor_;
    std::unique_ptr<SilentClients> secondClients_;
    ShortageEpisode meterShortage_;
    ShortageEpisode secondShortage_;
    QHash<QTcpSocket*, MeterConnection*> meters_;
    std::uint64_t nextConnectionId_ = 0;
    // Connections whose framer holds bytes waiting for their line end.
    QHash<QTcpSocket*, std::int64_t> waiting_;
    QTimer framerTimer_;
    QTimer idleTimer_;
    std::uint64_t droppedBytes_ = 0;
    std::uint64_t evicted_ = 0;
    std::uint64_t idleClosed_ = 0;
    std::uint64_t acceptPauses_ = 0;
    MessageHandler onMessage_;
    ErrorHandler onError_;
    ListenHandler onListen_;
    RegisteredCheck isRegistered_;
};

}  // namespace tev
