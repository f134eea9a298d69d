#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "meterlink/line_framer.h"

class QTcpServer;
class QTcpSocket;

namespace tev {

// Where the two listening sockets listen; tests use 127.0.0.1 and port 0.
struct MeterServerSettings {
    QHostAddress address = QHostAddress::Any;
    quint16 meterPort = 9317;   // ServerSocket: the meters
    quint16 phpPort = 5113;     // PhpServerSocket: accepts and exchanges nothing
    int maxConnections = 1024;  // per socket; further connections are closed at once
};

// The two listening sockets of the meter link. Every meter connection has its own LineFramer;
// each framed message goes to the message handler, whose non-empty answer is written back on
// the connection the message came from.
class MeterServer : public QObject {
    Q_OBJECT
  public:
    using MessageHandler = std::function<std::string(std::string_view message)>;
    using ErrorHandler = std::function<void(const std::string& reason)>;
    // Called with the computer's IP text each time ServerSocket starts listening.
    using ListenHandler = std::function<void(const std::string& ipText)>;

    // Bytes one meter connection may hold unread in Qt's buffer.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    explicit MeterServer(MeterServerSettings settings = {}, QObject* parent = nullptr);
    ~MeterServer() override;

    void setMessageHandler(MessageHandler handler) { onMessage_ = std::move(handler); }
    void setErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }
    void setListenHandler(ListenHandler handler) { onListen_ = std::move(handler); }

    // Opens both sockets; a port that cannot be opened is reported and the rest runs.
    void start();

    // The link switch: off stops ServerSocket listening and drops its meter connections; on
    // listens again. PhpServerSocket is not affected.
    void setListening(bool on);
    bool isListening() const;

    // The ports actually listened on (the chosen ones when the settings said 0); 0 when closed.
    quint16 meterPort() const;
    quint16 phpPort() const;
    int meterConnectionCount() const { return static_cast<int>(meters_.size()); }
    int phpConnectionCount() const { return static_cast<int>(phpClients_.size()); }
    std::uint64_t droppedBytes() const { return droppedBytes_; }

    // The computer's IP text: the first IPv4 address of the host name that is not a loopback
    // address, else the first such address of the machine's interfaces, else "127.0.0.1".
    static std::string computerIpText();
    static std::string pickComputerIp(const QList<QHostAddress>& hostNameAddresses,
                                      const QList<QHostAddress>& interfaceAddresses);

  private:
    struct MeterConnection {
        LineFramer framer;
    };

    bool listenMeters();
    void acceptMeters();
    void acceptPhp();
    void readMeter(QTcpSocket* socket);
    // Forgets a meter connection; `deliverRest` hands on what its framer still holds.
    void closeMeter(QTcpSocket* socket, bool deliverRest);
    void deliver(QTcpSocket* socket, std::vector<std::string> messages);
    void onFramerTimer();
    void scheduleFramerTimer();
    void reportError(quint16 configuredPort, const QString& reason);
    std::int64_t nowMs() const { return clock_.elapsed(); }

    MeterServerSettings settings_;
    QTcpServer* meterServer_;
    QTcpServer* phpServer_;
    QHash<QTcpSocket*, MeterConnection*> meters_;
    QList<QTcpSocket*> phpClients_;
    // Connections whose framer holds bytes waiting for their line end.
    QHash<QTcpSocket*, std::int64_t> waiting_;
    QTimer framerTimer_;
    QElapsedTimer clock_;
    std::uint64_t droppedBytes_ = 0;
    MessageHandler onMessage_;
    ErrorHandler onError_;
    ListenHandler onListen_;
};

}  // namespace tev
