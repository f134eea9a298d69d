#include "mainwindow/meter_server.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace tev {

namespace {

// Port 5113 clients are read only to throw their bytes away; a small buffer is enough.
constexpr qint64 kPhpReadBufferBytes = 4 * 1024;
// Connections the system may queue while the event loop is busy, per listening socket.
constexpr int kListenBacklog = 256;
constexpr char kLoopbackText[] = "127.0.0.1";

bool usableIpv4(const QHostAddress& a) {
    return a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback();
}

}  // namespace

MeterServer::MeterServer(MeterServerSettings settings, QObject* parent)
    : QObject(parent),
      settings_(settings),
      meterServer_(new QTcpServer(this)),
      phpServer_(new QTcpServer(this)) {
    clock_.start();
    framerTimer_.setSingleShot(true);
    connect(&framerTimer_, &QTimer::timeout, this, &MeterServer::onFramerTimer);
    for (QTcpServer* server : {meterServer_, phpServer_}) {
        server->setMaxPendingConnections(settings_.maxConnections);
        server->setListenBacklogSize(kListenBacklog);
    }
    connect(meterServer_, &QTcpServer::newConnection, this, &MeterServer::acceptMeters);
    connect(phpServer_, &QTcpServer::newConnection, this, &MeterServer::acceptPhp);
}

MeterServer::~MeterServer() {
    // The handlers belong to the owner, which may already be going; nothing is delivered now.
    onMessage_ = nullptr;
    for (QTcpSocket* s : meters_.keys()) closeMeter(s, false);
}

void MeterServer::start() {
    if (!phpServer_->isListening() && !phpServer_->listen(settings_.address, settings_.phpPort)) {
        reportError(settings_.phpPort, phpServer_->errorString());
    }
    if (!meterServer_->isListening()) listenMeters();
}

bool MeterServer::listenMeters() {
    if (!meterServer_->listen(settings_.address, settings_.meterPort)) {
        reportError(settings_.meterPort, meterServer_->errorString());
        return false;
    }
    if (onListen_) onListen_(computerIpText());
    return true;
}

void MeterServer::setListening(bool on) {
    if (on) {
        if (!meterServer_->isListening()) listenMeters();
        return;
    }
    meterServer_->close();
    for (QTcpSocket* s : meters_.keys()) closeMeter(s, false);
}

bool MeterServer::isListening() const {
    return meterServer_->isListening();
}

quint16 MeterServer::meterPort() const {
    return meterServer_->isListening() ? meterServer_->serverPort() : 0;
}

quint16 MeterServer::phpPort() const {
    return phpServer_->isListening() ? phpServer_->serverPort() : 0;
}

void MeterServer::reportError(quint16 configuredPort, const QString& reason) {
    if (onError_) onError_("Port " + std::to_string(configuredPort) + ": " + reason.toStdString());
}

void MeterServer::acceptMeters() {
    while (QTcpSocket* s = meterServer_->nextPendingConnection()) {
        if (meters_.size() >= settings_.maxConnections) {
            s->abort();
            s->deleteLater();
            continue;
        }
        s->setReadBufferSize(kReadBufferBytes);
        meters_.insert(s, new MeterConnection);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { readMeter(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { closeMeter(s, true); });
    }
}

void MeterServer::acceptPhp() {
    while (QTcpSocket* s = phpServer_->nextPendingConnection()) {
        if (phpClients_.size() >= settings_.maxConnections) {
            s->abort();
            s->deleteLater();
            continue;
        }
        s->setReadBufferSize(kPhpReadBufferBytes);
        phpClients_.append(s);
        // Nothing on this port is looked at: what arrives is thrown away so it is not kept.
        connect(s, &QTcpSocket::readyRead, this, [s] { s->skip(s->bytesAvailable()); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            phpClients_.removeOne(s);
            s->deleteLater();
        });
    }
}

void MeterServer::readMeter(QTcpSocket* socket) {
    MeterConnection* conn = meters_.value(socket);
    if (!conn) return;
    const QByteArray bytes = socket->readAll();
    const std::int64_t now = nowMs();
    const std::uint64_t droppedBefore = conn->framer.droppedBytes();
    std::vector<std::string> messages =
        conn->framer.onRead(std::string_view(bytes.constData(), bytes.size()), now);
    droppedBytes_ += conn->framer.droppedBytes() - droppedBefore;
    if (const auto deadline = conn->framer.nextDeadline()) {
        waiting_.insert(socket, *deadline);
    } else {
        waiting_.remove(socket);
    }
    scheduleFramerTimer();
    deliver(socket, std::move(messages));
}

void MeterServer::deliver(QTcpSocket* socket, std::vector<std::string> messages) {
    for (const std::string& message : messages) {
        if (!onMessage_) return;
        const std::string reply = onMessage_(message);
        // The handler may have switched the link off, closing this very connection.
        if (!reply.empty() && meters_.contains(socket))
            socket->write(reply.data(), static_cast<qint64>(reply.size()));
    }
}

void MeterServer::closeMeter(QTcpSocket* socket, bool deliverRest) {
    MeterConnection* conn = meters_.take(socket);
    if (!conn) return;
    waiting_.remove(socket);
    std::vector<std::string> rest;
    if (deliverRest) {
        // A meter that closes after its last message still has that message handled.
        const QByteArray bytes = socket->readAll();
        rest = conn->framer.onRead(std::string_view(bytes.constData(), bytes.size()), nowMs());
        for (std::string& m : conn->framer.flush()) rest.push_back(std::move(m));
    }
    droppedBytes_ += conn->framer.droppedBytes();
    delete conn;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    scheduleFramerTimer();
    deliver(socket, std::move(rest));
}

void MeterServer::onFramerTimer() {
    const std::int64_t now = nowMs();
    QList<QTcpSocket*> dueSockets;
    for (auto it = waiting_.cbegin(); it != waiting_.cend(); ++it)
        if (it.value() <= now) dueSockets.append(it.key());
    for (QTcpSocket* s : dueSockets) {
        if (!meters_.contains(s)) continue;
        // A busy event loop may not have read the rest of the message yet: read what has
        // arrived first, so that only a meter that really stopped mid-message times out.
        if (s->bytesAvailable() > 0) {
            readMeter(s);
        } else {
            s->waitForReadyRead(0);
        }
        MeterConnection* conn = meters_.value(s);
        if (!conn) continue;
        std::vector<std::string> due = conn->framer.onTimeout(now);
        if (const auto deadline = conn->framer.nextDeadline()) {
            waiting_.insert(s, *deadline);
        } else {
            waiting_.remove(s);
        }
        deliver(s, std::move(due));
    }
    scheduleFramerTimer();
}

void MeterServer::scheduleFramerTimer() {
    if (waiting_.isEmpty()) {
        framerTimer_.stop();
        return;
    }
    const std::int64_t first = *std::min_element(waiting_.cbegin(), waiting_.cend());
    framerTimer_.start(static_cast<int>(std::max<std::int64_t>(0, first - nowMs())));
}

std::string MeterServer::pickComputerIp(const QList<QHostAddress>& hostNameAddresses,
                                        const QList<QHostAddress>& interfaceAddresses) {
    // A loopback address is of no use to a meter that has to find this computer.
    for (const auto& list : {hostNameAddresses, interfaceAddresses})
        for (const QHostAddress& a : list)
            if (usableIpv4(a)) return a.toString().toStdString();
    return kLoopbackText;
}

std::string MeterServer::computerIpText() {
    const QHostInfo host = QHostInfo::fromName(QHostInfo::localHostName());
    return pickComputerIp(host.addresses(), QNetworkInterface::allAddresses());
}

}  // namespace tev
