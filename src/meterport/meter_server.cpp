#include "meterport/meter_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostInfo>
#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/texts/event_log.h"

namespace tev {

namespace {

// Connections the system may queue while the event loop is busy, per listening socket.
constexpr int kListenBacklog = 256;
constexpr char kLoopbackText[] = "127.0.0.1";
// A peer that vanished without closing is found after about two minutes of silence:
// the first probe after 60 s, then six probes 10 s apart.
constexpr int kKeepAliveIdleS = 60;
constexpr int kKeepAliveIntervalS = 10;
constexpr int kKeepAliveProbes = 6;
// How often idle connections are looked for; a tenth of the idle time, within these bounds.
constexpr std::int64_t kMinIdleSweepMs = 100;
constexpr std::int64_t kMaxIdleSweepMs = 10000;

bool usableIpv4(const QHostAddress& a) {
    return a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback();
}

void setKeepAlive(qintptr fd) {
    if (fd < 0) return;
    const int on = 1;
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleS,
               sizeof kKeepAliveIdleS);
    setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalS,
               sizeof kKeepAliveIntervalS);
    setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes,
               sizeof kKeepAliveProbes);
}

}  // namespace

// Accepts the connections of one listening socket itself, so that running out of descriptors
// is seen: QTcpServer only listens, and its own accepting stays paused. On a shortage the port
// waits kAcceptBackoffMs before it tries again, instead of spinning on a socket that stays
// readable.
class PortAcceptor : public QObject {
  public:
    PortAcceptor(QTcpServer* server, std::function<void(qintptr)> onAccepted,
                 std::function<void(int error)> onShortage, QObject* parent)
        : QObject(parent),
          server_(server),
          onAccepted_(std::move(onAccepted)),
          onShortage_(std::move(onShortage)) {
        backoff_.setSingleShot(true);
        connect(&backoff_, &QTimer::timeout, this, [this] {
            if (notifier_) notifier_->setEnabled(true);
        });
    }

    // After the server has started listening.
    void start() {
        stop();
        server_->pauseAccepting();
        notifier_ = new QSocketNotifier(server_->socketDescriptor(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &PortAcceptor::acceptWaiting);
    }

    // Before the server closes.
    void stop() {
        backoff_.stop();
        delete notifier_;
        notifier_ = nullptr;
    }

  private:
    // At most this many connections per wake-up, so that a flood leaves the event loop running.
    static constexpr int kAcceptsPerWakeUp = 64;

    void acceptWaiting() {
        const int listener = static_cast<int>(server_->socketDescriptor());
        for (int i = 0; i < kAcceptsPerWakeUp; ++i) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                onAccepted_(fd);
                continue;
            }
            const int error = errno;
            if (error == EAGAIN || error == EWOULDBLOCK) return;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                notifier_->setEnabled(false);
                backoff_.start(MeterServer::kAcceptBackoffMs);
                onShortage_(error);
                return;
            }
            // A connection reset before it was taken, and the like: on to the next.
        }
    }

    QTcpServer* server_;
    std::function<void(qintptr)> onAccepted_;
    std::function<void(int)> onShortage_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer backoff_;
};

// The clients of the second port: accepted and never read; what a client sends stays in the
// kernel's buffers, which bound it. Without reading, a hang-up is seen by polling for it, and
// activity by a change in the bytes waiting.
class SilentClients {
  public:
    SilentClients(int cap, const Clock& clock) : cap_(cap), clock_(clock) {}
    ~SilentClients() { closeAll(); }
    SilentClients(const SilentClients&) = delete;
    SilentClients& operator=(const SilentClients&) = delete;

    int count() const { return static_cast<int>(clients_.size()); }
    std::uint64_t evicted() const { return evicted_; }

    void closeAll() {
        for (const Client& c : clients_) ::close(static_cast<int>(c.fd));
        clients_.clear();
    }

    void add(qintptr fd) {
        if (count() >= cap_) sweep(0);
        if (count() >= cap_) {
            const auto idlest = std::min_element(clients_.begin(), clients_.end(),
                                                 [](const Client& a, const Client& b) {
                                                     return a.lastActivityMs < b.lastActivityMs;
                                                 });
            ::close(static_cast<int>(idlest->fd));
            clients_.erase(idlest);
            ++evicted_;
        }
        setKeepAlive(fd);
        clients_.push_back(Client{fd, steadyMsOf(clock_), 0});
    }

    // Closes the clients that hung up and, when `idleTimeoutMs` > 0, those idle that long;
    // returns how many were closed for being idle.
    std::uint64_t sweep(std::int64_t idleTimeoutMs) {
        if (clients_.empty()) return 0;
        std::vector<pollfd> fds(clients_.size());
        for (std::size_t i = 0; i < clients_.size(); ++i)
            fds[i] = pollfd{static_cast<int>(clients_[i].fd), POLLRDHUP, 0};
        ::poll(fds.data(), fds.size(), 0);
        const std::int64_t now = steadyMsOf(clock_);
        std::uint64_t idle = 0;
        std::vector<Client> kept;
        kept.reserve(clients_.size());
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            Client c = clients_[i];
            int waiting = 0;
            if (::ioctl(static_cast<int>(c.fd), FIONREAD, &waiting) == 0 && waiting != c.waiting) {
                c.waiting = waiting;
                c.lastActivityMs = now;
            }
            const bool gone = fds[i].revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL);
            const bool isIdle = idleTimeoutMs > 0 && now - c.lastActivityMs >= idleTimeoutMs;
            if (gone || isIdle) {
                ::close(static_cast<int>(c.fd));
                if (!gone) ++idle;
                continue;
            }
            kept.push_back(c);
        }
        clients_.swap(kept);
        return idle;
    }

  private:
    struct Client {
        qintptr fd;
        std::int64_t lastActivityMs;
        int waiting;
    };
    int cap_;
    const Clock& clock_;
    std::vector<Client> clients_;
    std::uint64_t evicted_ = 0;
};

MeterServer::Caps MeterServer::connectionCaps(long limit, int configuredMax) {
    const long available = std::max(0L, limit - kReservedDescriptors);
    Caps caps;
    caps.meters = static_cast<int>(std::clamp(available * 3 / 4, 1L, long{configuredMax}));
    caps.second = static_cast<int>(std::clamp(available / 4, 1L, long{configuredMax}));
    return caps;
}

long MeterServer::openFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return kOpenFileTarget;
    return static_cast<long>(r.rlim_cur);
}

long MeterServer::raiseOpenFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0) return openFileLimit();
    // Far more descriptors than any program of select() days expects are of no use here.
    const rlim_t target = r.rlim_max == RLIM_INFINITY
                              ? kOpenFileTarget
                              : std::min<rlim_t>(r.rlim_max, kOpenFileTarget);
    if (r.rlim_cur == RLIM_INFINITY || r.rlim_cur >= target) return openFileLimit();
    r.rlim_cur = target;
    setrlimit(RLIMIT_NOFILE, &r);
    return openFileLimit();
}

MeterServer::MeterServer(MeterServerSettings settings, const Clock& clock, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      clock_(clock),
      meterCap_(0),
      secondCap_(0),
      meterServer_(new QTcpServer(this)),
      secondServer_(new QTcpServer(this)) {
    const Caps caps =
        connectionCaps(settings_.openFileLimit > 0 ? settings_.openFileLimit : openFileLimit(),
                       settings_.maxConnections);
    meterCap_ = caps.meters;
    secondCap_ = caps.second;
    secondClients_ = std::make_unique<SilentClients>(secondCap_, clock_);

    framerTimer_.setSingleShot(true);
    connect(&framerTimer_, &QTimer::timeout, this, &MeterServer::onFramerTimer);
    idleTimer_.setInterval(static_cast<int>(
        std::clamp(settings_.idleTimeoutMs / 10, kMinIdleSweepMs, kMaxIdleSweepMs)));
    connect(&idleTimer_, &QTimer::timeout, this, &MeterServer::closeIdleConnections);
    idleTimer_.start();

    for (QTcpServer* server : {meterServer_, secondServer_})
        server->setListenBacklogSize(kListenBacklog);
    meterAcceptor_ = new PortAcceptor(
        meterServer_, [this](qintptr fd) { acceptMeter(fd); },
        [this](int error) { onShortage(meterShortage_, settings_.meterPort, error); }, this);
    secondAcceptor_ = new PortAcceptor(
        secondServer_,
        [this](qintptr fd) {
            secondShortage_.reported = false;
            secondClients_->add(fd);
        },
        [this](int error) { onShortage(secondShortage_, settings_.secondPort, error); }, this);
}

MeterServer::~MeterServer() {
    // The handlers belong to the owner, which may already be going; nothing is delivered now.
    onMessage_ = nullptr;
    meterAcceptor_->stop();
    secondAcceptor_->stop();
    for (QTcpSocket* s : meters_.keys()) closeMeter(s, false);
}

std::int64_t MeterServer::nowMs() const {
    return steadyMsOf(clock_);
}

int MeterServer::secondConnectionCount() const {
    return secondClients_->count();
}

void MeterServer::start() {
    if (!secondServer_->isListening()) {
        if (secondServer_->listen(settings_.address, settings_.secondPort)) {
            secondAcceptor_->start();
        } else {
            reportListenError(*secondServer_, settings_.secondPort);
        }
    }
    if (!meterServer_->isListening()) listenMeters();
}

bool MeterServer::listenMeters() {
    if (!meterServer_->listen(settings_.address, settings_.meterPort)) {
        reportListenError(*meterServer_, settings_.meterPort);
        return false;
    }
    meterAcceptor_->start();
    if (onListen_) onListen_(computerIpText());
    return true;
}

void MeterServer::setListening(bool on) {
    if (on) {
        if (!meterServer_->isListening()) listenMeters();
        return;
    }
    meterAcceptor_->stop();
    meterServer_->close();
    for (QTcpSocket* s : meters_.keys()) closeMeter(s, false);
}

bool MeterServer::isListening() const {
    return meterServer_->isListening();
}

quint16 MeterServer::meterPort() const {
    return meterServer_->isListening() ? meterServer_->serverPort() : 0;
}

quint16 MeterServer::secondPort() const {
    return secondServer_->isListening() ? secondServer_->serverPort() : 0;
}

void MeterServer::reportError(quint16 configuredPort, const QString& reason) {
    if (onError_) onError_("Port " + std::to_string(configuredPort) + ": " + reason.toStdString());
}

void MeterServer::reportListenError(const QTcpServer& server, quint16 configuredPort) {
    if (server.serverError() == QAbstractSocket::AddressInUseError &&
        std::find(takenPorts_.begin(), takenPorts_.end(), configuredPort) == takenPorts_.end())
        takenPorts_.push_back(configuredPort);
    reportError(configuredPort, server.errorString());
}

void MeterServer::onShortage(ShortageEpisode& episode, quint16 configuredPort, int error) {
    ++acceptPauses_;
    if (episode.reported) return;
    episode.reported = true;
    reportError(configuredPort,
                QString::fromLocal8Bit(std::strerror(error)) + ", accepting paused for a moment");
}

void MeterServer::acceptMeter(qintptr fd) {
    meterShortage_.reported = false;
    if (meters_.size() >= meterCap_) evictMeterConnection();
    auto* s = new QTcpSocket(this);
    if (!s->setSocketDescriptor(fd)) {
        ::close(static_cast<int>(fd));
        s->deleteLater();
        return;
    }
    s->setReadBufferSize(kReadBufferBytes);
    setKeepAlive(fd);
    auto* conn = new MeterConnection;
    conn->id = ++nextConnectionId_;
    conn->lastActivityMs = nowMs();
    meters_.insert(s, conn);
    connect(s, &QTcpSocket::readyRead, this, [this, s] { readMeter(s); });
    connect(s, &QTcpSocket::disconnected, this, [this, s] { closeMeter(s, true); });
    // A peer that vanished (keep-alive gave up) or reset the connection.
    connect(s, &QTcpSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError e) {
        // A wait that found nothing to read is no fault of the connection.
        if (e != QAbstractSocket::SocketTimeoutError) closeMeter(s, true);
    });
}

void MeterServer::evictMeterConnection() {
    // A stranger can keep any number of connections busy, so being busy earns nothing: the
    // oldest connection without a registered meter goes first.
    QTcpSocket* stranger = nullptr;
    std::uint64_t oldestId = 0;
    QTcpSocket* idlest = nullptr;
    std::int64_t idleSince = 0;
    for (auto it = meters_.cbegin(); it != meters_.cend(); ++it) {
        const MeterConnection& c = *it.value();
        if (!c.carriedMeter && (!stranger || c.id < oldestId)) {
            stranger = it.key();
            oldestId = c.id;
        }
        if (!idlest || c.lastActivityMs < idleSince) {
            idlest = it.key();
            idleSince = c.lastActivityMs;
        }
    }
    QTcpSocket* victim = stranger ? stranger : idlest;
    if (!victim) return;
    ++evicted_;
    closeMeter(victim, false);
}

void MeterServer::closeIdleConnections() {
    const std::int64_t now = nowMs();
    QList<QTcpSocket*> idle;
    for (auto it = meters_.cbegin(); it != meters_.cend(); ++it)
        if (now - it.value()->lastActivityMs >= settings_.idleTimeoutMs) idle.append(it.key());
    for (QTcpSocket* s : idle) closeMeter(s, false);
    idleClosed_ += static_cast<std::uint64_t>(idle.size());
    idleClosed_ += secondClients_->sweep(settings_.idleTimeoutMs);
}

void MeterServer::readMeter(QTcpSocket* socket) {
    MeterConnection* conn = meters_.value(socket);
    if (!conn) return;
    const QByteArray bytes = socket->readAll();
    const std::int64_t now = nowMs();
    if (!bytes.isEmpty()) conn->lastActivityMs = now;
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
    deliver(socket, conn->id, std::move(messages));
}

void MeterServer::deliver(QTcpSocket* socket, std::uint64_t id, std::vector<std::string> messages) {
    // Log lines caused by these messages are this connection's, so that a flood from it is
    // summed up instead of filling the log.
    const LogSource source(id);
    for (const std::string& message : messages) {
        if (!onMessage_) return;
        const std::string reply = onMessage_(message);
        // The handler may have switched the link off, closing this very connection.
        MeterConnection* conn = meters_.value(socket);
        if (!conn) continue;
        if (isRegistered_ && isRegistered_()) conn->carriedMeter = true;
        if (!reply.empty()) socket->write(reply.data(), static_cast<qint64>(reply.size()));
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
    const std::uint64_t id = conn->id;
    delete conn;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    scheduleFramerTimer();
    deliver(socket, id, std::move(rest));
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
        deliver(s, conn->id, std::move(due));
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
