#include "services/web/server/web_server.h"

#include <sys/stat.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimeZone>
#include <algorithm>
#include <ctime>
#include <optional>

#include "services/web/rules/request_target.h"

namespace tev::web {
namespace {

constexpr int kIdleCheckIntervalMs = 1000;
// Live pushes are bundled: a burst of meter messages makes one message per interval.
constexpr int kPushIntervalMs = 200;
constexpr std::size_t kLogLinesKept = 1000;
// The archive gains a meter rarely: its meter list is read again at most this often.
constexpr std::int64_t kArchivedMetersReadMs = 60000;
constexpr std::string_view kWebSocketPath = "/api/v1/ws";
// Two archive queries at a time, and one download: the machine's cores belong to the meter link
// first.
constexpr int kArchiveReaderThreads = 2;
constexpr int kDownloadReaderThreads = 1;

// The program's time zone as an IANA name ("Europe/Berlin", from TZ or /etc/localtime), which
// the page's Intl applies to each time with its own offset; empty when the zone has no such
// name (TZ a POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3") or when Qt's reading of it gives
// another offset now than the C library's, which the program's local times follow.
std::string ianaTimeZone(std::int64_t now) {
    QByteArray id = QTimeZone::systemTimeZoneId();
    // TZ may name the file: /usr/share/zoneinfo/Europe/Berlin is Europe/Berlin.
    if (const qsizetype at = id.lastIndexOf("zoneinfo/"); at >= 0) id = id.mid(at + 9);
    if (id.startsWith("posix/")) id = id.mid(6);
    const QTimeZone zone(id);
    // Qt takes a POSIX rule for a zone too: only names of the tz database's shape go on.
    static const QRegularExpression kName("^[A-Za-z][A-Za-z0-9_+-]*(/[A-Za-z0-9_+-]+)*$");
    if (id.isEmpty() || !zone.isValid() || !kName.match(QString::fromLatin1(id)).hasMatch() ||
        id.contains(',') || id.startsWith('/'))
        return {};
    const auto t = static_cast<std::time_t>(now);
    std::tm local{};
    localtime_r(&t, &local);
    if (zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(now)) != local.tm_gmtoff) return {};
    return id.toStdString();
}

std::string contentTypeOf(const QString& name) {
    if (name.endsWith(".html")) return "text/html; charset=utf-8";
    if (name.endsWith(".js")) return "text/javascript; charset=utf-8";
    if (name.endsWith(".css")) return "text/css; charset=utf-8";
    if (name.endsWith(".png")) return "image/png";
    if (name.endsWith(".svg")) return "image/svg+xml";
    if (name.endsWith(".webmanifest")) return "application/manifest+json";
    return "application/octet-stream";
}

}  // namespace

// Hands each accepted descriptor to the server, which decides over the cap and TLS before a
// socket object exists.
class WebServer::Listener : public QTcpServer {
  public:
    explicit Listener(WebServer& server) : server_(server) {}

  protected:
    void incomingConnection(qintptr descriptor) override { server_.accept(descriptor); }

  private:
    WebServer& server_;
};

WebServer::WebServer(WebSettings settings, WebSources sources, const Clock& clock, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      sources_(std::move(sources)),
      clock_(clock),
      rate_(settings_.requestsPerSecond, settings_.requestBurst),
      runId_(QString::number(QRandomGenerator::global()->generate64(), 36).toStdString()) {
    idleTimer_.setInterval(kIdleCheckIntervalMs);
    connect(&idleTimer_, &QTimer::timeout, this, &WebServer::closeIdleConnections);
    pushTimer_.setSingleShot(true);
    pushTimer_.setInterval(kPushIntervalMs);
    connect(&pushTimer_, &QTimer::timeout, this, &WebServer::push);
    resumeAccepting_.setSingleShot(true);
    resumeAccepting_.setInterval(static_cast<int>(web::kAcceptPauseMs));
    connect(&resumeAccepting_, &QTimer::timeout, this, [this] {
        if (listener_) listener_->resumeAccepting();
    });
    // Each file and beside it "<name>.gz", its gzip form made at build time (never served by
    // that name).
    QDirIterator it(":/web", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".gz")) continue;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        QFile gz(path + ".gz");
        const QByteArray gzipped = gz.open(QIODevice::ReadOnly) ? gz.readAll() : QByteArray();
        files_.insert(path.mid(QString(":/web").size()),
                      web::makeStaticFile(f.readAll().toStdString(), gzipped.toStdString(),
                                          contentTypeOf(path)));
    }
    if (files_.contains("/index.html")) files_.insert("/", files_.value("/index.html"));
    archiveReaders_.setMaxThreadCount(kArchiveReaderThreads);
    downloadReaders_.setMaxThreadCount(kDownloadReaderThreads);
    timeZone_ = ianaTimeZone(unixSecondsOf(clock_));
}

WebServer::~WebServer() {
    // A query still running answers into this object's event queue; it ends first. Work not
    // yet begun is dropped, and work running gives up at its next look at its stop (SQLite
    // looks every thousand steps, the energy sums every period): the wait is a matter of
    // milliseconds whatever the clients asked.
    readersStopping_->store(true);
    archiveReaders_.clear();
    downloadReaders_.clear();
    archiveReaders_.waitForDone();
    downloadReaders_.waitForDone();
    *self_ = nullptr;
    for (auto& [socket, c] : connections_) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool WebServer::start(const LogSink& log) {
    log_ = log;
    const web::ListenDecision decision =
        web::decideListen(settings_.address.isLoopback(), !settings_.passwordFile.isEmpty(),
                          settings_.allowAnonymous);
    if (!decision.listen) {
        log("Web dashboard on " + settings_.address.toString().toStdString() + ": " +
            decision.reason);
        return false;
    }
    if (!settings_.passwordFile.isEmpty()) {
        const std::string name = settings_.passwordFile.toStdString();
        QFile f(settings_.passwordFile);
        if (!f.open(QIODevice::ReadOnly)) {
            log("Web dashboard: password_file " + name + " cannot be read: not listening");
            return false;
        }
        struct stat st {};
        if (fstat(f.handle(), &st) == 0 && web::passwordFileTooOpen(st.st_mode)) {
            log("Web dashboard: password_file " + name +
                " can be read by others than its owner: chmod 600 " + name + " (not listening)");
            return false;
        }
        password_ = web::passwordFromFile(f.read(4096).toStdString());
        if (password_.empty()) {
            log("Web dashboard: password_file " + name + " holds no password: not listening");
            return false;
        }
    }
    if (!settings_.tlsCert.isEmpty()) {
        const auto certs = QSslCertificate::fromPath(settings_.tlsCert);
        QFile keyFile(settings_.tlsKey);
        QSslKey key;
        if (keyFile.open(QIODevice::ReadOnly)) key = QSslKey(&keyFile, QSsl::Rsa);
        if (key.isNull() && keyFile.seek(0)) key = QSslKey(&keyFile, QSsl::Ec);
        if (certs.isEmpty() || key.isNull()) {
            log("Web dashboard: tls_cert or tls_key cannot be read: not listening");
            return false;
        }
        tls_ = QSslConfiguration::defaultConfiguration();
        tls_.setLocalCertificateChain(certs);
        tls_.setPrivateKey(key);
        useTls_ = true;
    }
    listener_ = std::make_unique<Listener>(*this);
    if (!listener_->listen(settings_.address, settings_.port)) {
        log("Web dashboard: cannot listen on " + settings_.address.toString().toStdString() + ":" +
            std::to_string(settings_.port) + ": " + listener_->errorString().toStdString());
        if (listener_->serverError() == QAbstractSocket::AddressInUseError)
            takenPort_ = settings_.port;
        listener_.reset();
        return false;
    }
    hosts_.restricted = settings_.address.isLoopback() && password_.empty();
    hosts_.port = listener_->serverPort();
    hosts_.tls = useTls_;
    hosts_.allowedHosts = settings_.allowedHosts;
    // The address it listens on is one of its names (127.0.0.2, say).
    QString own = settings_.address.toString();
    if (settings_.address.protocol() == QAbstractSocket::IPv6Protocol) own = "[" + own + "]";
    hosts_.allowedHosts.push_back(own.toStdString() + ":" + std::to_string(hosts_.port));
    if (sources_.log != nullptr) {
        for (const std::string& line : sources_.log->lines()) onLogLine(line);
        sources_.log->addListener([self = self_](const std::string& line) {
            if (*self != nullptr) (*self)->onLogLine(line);
        });
        sources_.log->addClearListener([self = self_] {
            if (*self == nullptr) return;
            (*self)->logFirst_ += (*self)->logLines_.size();
            (*self)->logLines_.clear();
        });
    }
    idleTimer_.start();
    log("Web dashboard " + url().toStdString());
    return true;
}

bool WebServer::isListening() const {
    return listener_ && listener_->isListening();
}

quint16 WebServer::port() const {
    return listener_ ? listener_->serverPort() : 0;
}

QString WebServer::url() const {
    QString host = settings_.address.toString();
    if (settings_.address.protocol() == QAbstractSocket::IPv6Protocol) host = "[" + host + "]";
    return QString("%1://%2:%3/").arg(useTls_ ? "https" : "http", host).arg(port());
}

int WebServer::webSocketCount() const {
    int n = 0;
    for (const auto& [socket, c] : connections_) n += c.webSocket && !c.closingSinceMs ? 1 : 0;
    return n;
}

std::int64_t WebServer::queuedBytes() const {
    std::int64_t n = 0;
    for (const auto& [socket, c] : connections_)
        n += socket->bytesToWrite() + socket->bytesAvailable() +
             static_cast<std::int64_t>(c.frames.size());
    return n;
}

web::ConnectionView WebServer::viewOf(const Connection& c) const {
    web::ConnectionView v;
    v.client = c.client;
    v.acceptedMs = c.acceptedMs;
    v.lastProgressMs = c.lastProgressMs;
    v.headStartMs = c.headStartMs;
    v.webSocket = c.webSocket;
    // A live feed whose client took a push or answered within the idle time is in use, though
    // only its pongs count against the idle time.
    v.feeding =
        c.webSocket && !c.closingSinceMs &&
        steadyMsOf(clock_) - std::max(c.lastProgressMs, c.lastTakenMs) < settings_.idleTimeoutMs;
    v.busy = c.waiting || c.body != nullptr;
    v.closingSinceMs = c.closingSinceMs;
    return v;
}

bool WebServer::makeRoom() {
    if (static_cast<int>(connections_.size()) < settings_.maxConnections) return true;
    std::vector<QTcpSocket*> sockets;
    std::vector<web::ConnectionView> views;
    sockets.reserve(connections_.size());
    views.reserve(connections_.size());
    for (const auto& [socket, c] : connections_) {
        sockets.push_back(socket);
        views.push_back(viewOf(c));
    }
    const auto victim = web::connectionToEvict(views, steadyMsOf(clock_));
    if (!victim) return false;
    drop(sockets[*victim]);
    return true;
}

void WebServer::accept(qintptr descriptor) {
    const bool room = makeRoom();
    QTcpSocket* socket = nullptr;
    if (useTls_ && room) {
        auto* ssl = new QSslSocket(this);
        if (!ssl->setSocketDescriptor(descriptor)) {
            delete ssl;
            return;
        }
        ssl->setSslConfiguration(tls_);
        ssl->startServerEncryption();
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl] { ssl->abort(); });
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
    }
    if (!room) {
        // Every connection is younger than a second: taking one more would only make another
        // go, and a client that reconnects at once would keep that going. Accepting pauses.
        socket->abort();
        delete socket;
        listener_->pauseAccepting();
        resumeAccepting_.start();
        return;
    }
    socket->setReadBufferSize(static_cast<qint64>(web::kReadBufferBytes));
    Connection c;
    c.client = clientOf(socket->peerAddress());
    c.acceptedMs = c.lastProgressMs = steadyMsOf(clock_);
    connections_.emplace(socket, std::move(c));
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        auto it = connections_.find(socket);
        if (it == connections_.end()) return;
        // Bytes came in: progress, unless only a WebSocket's pong counts as that.
        if (!it->second.webSocket) it->second.lastProgressMs = steadyMsOf(clock_);
        if (!it->second.readScheduled) readFrom(socket);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 bytes) {
        auto it = connections_.find(socket);
        if (it == connections_.end()) return;
        if (it->second.webSocket) it->second.lastTakenMs = steadyMsOf(clock_);
        if (it->second.body) it->second.pace.taken(bytes);
        onWritten(socket);
    });
    giveBack_.seen(static_cast<int>(connections_.size()));
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
}

void WebServer::forget(QTcpSocket* socket) {
    if (connections_.erase(socket) == 0) return;
    socket->disconnect(this);
    socket->deleteLater();
}

void WebServer::drop(QTcpSocket* socket) {
    socket->abort();
    forget(socket);
}

void WebServer::closeIdleConnections() {
    const std::int64_t now = steadyMsOf(clock_);
    std::vector<std::pair<QTcpSocket*, web::CloseReason>> closing;
    std::vector<QTcpSocket*> pings;
    // Downloads the client takes too slowly: closed, their places given back.
    std::vector<QTcpSocket*> slow;
    for (auto& [socket, c] : connections_) {
        const web::ConnectionView v = viewOf(c);
        const web::CloseReason reason = web::closeReason(v, now, settings_.idleTimeoutMs);
        if (reason != web::CloseReason::None)
            closing.emplace_back(socket, reason);
        else if (c.body && !c.pace.keepsUp(now, socket->bytesToWrite() > 0,
                                           settings_.minDownloadBytesPerSecond,
                                           settings_.downloadRateWindowMs))
            slow.push_back(socket);
        else if (web::pingDue(v, c.pingSentMs, now, settings_.idleTimeoutMs))
            pings.push_back(socket);
    }
    for (const auto& [socket, reason] : closing) {
        auto it = connections_.find(socket);
        if (it == connections_.end()) continue;
        if (reason == web::CloseReason::Idle && it->second.webSocket) {
            // No pong within the idle time; a client that does not read hears 1008.
            const bool over =
                socket->bytesToWrite() > static_cast<qint64>(web::kMaxWebSocketOutputBytes);
            closeWebSocket(socket, it->second,
                           over ? web::ws::kClosePolicy : web::ws::kCloseGoingAway);
        } else {
            drop(socket);
        }
    }
    for (QTcpSocket* socket : slow)
        if (connections_.count(socket) != 0) drop(socket);
    for (QTcpSocket* socket : pings) {
        auto it = connections_.find(socket);
        if (it == connections_.end()) continue;
        it->second.pingSentMs = now;
        if (socket->bytesToWrite() < static_cast<qint64>(web::kMaxWebSocketOutputBytes)) {
            const std::string ping = web::serverFrame(web::ws::kPing, {});
            socket->write(ping.data(), static_cast<qint64>(ping.size()));
        }
    }
#ifdef __GLIBC__
    // After a flood, the memory its connections took goes back to the system: glibc keeps freed
    // heap in its arenas otherwise.
    if (giveBack_.due(static_cast<int>(connections_.size()), now)) malloc_trim(0);
#endif
}

void WebServer::scheduleRead(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end() || it->second.readScheduled) return;
    it->second.readScheduled = true;
    // The next request of this connection waits for the next turn of the event loop, so that a
    // pipelined burst takes its turns with the meters and every other client.
    QPointer<QTcpSocket> guard(socket);
    QMetaObject::invokeMethod(
        this,
        [this, guard] {
            QTcpSocket* s = guard.data();
            auto i = s != nullptr ? connections_.find(s) : connections_.end();
            if (i == connections_.end()) return;
            i->second.readScheduled = false;
            readFrom(s);
        },
        Qt::QueuedConnection);
}

void WebServer::onWritten(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    if (c.closingSinceMs) return;
    if (c.webSocket) {
        if ((!c.frames.empty() || socket->bytesAvailable() > 0) &&
            socket->bytesToWrite() < static_cast<qint64>(web::kMaxWebSocketOutputBytes))
            scheduleRead(socket);
        return;
    }
    c.lastProgressMs = steadyMsOf(clock_);
    if (c.body) {
        pumpBody(socket);
    } else if (!c.waiting && socket->bytesAvailable() > 0) {
        scheduleRead(socket);
    }
}

void WebServer::readFrom(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    if (c.closingSinceMs) {
        socket->readAll();
        return;
    }
    if (c.webSocket) {
        readWebSocket(socket, c);
        return;
    }
    // One answer at a time, and nothing more read while the client has not taken what it has.
    if (c.waiting || c.body ||
        socket->bytesToWrite() >= static_cast<qint64>(web::kMaxHttpOutputBytes))
        return;
    if (socket->bytesAvailable() <= 0) return;
    const QByteArray peeked =
        socket->peek(std::min<qint64>(socket->bytesAvailable(), web::kMaxHeadBytes + 4));
    const web::HeadParse p =
        web::parseHttpHead(std::string_view(peeked.constData(), peeked.size()));
    if (p.state == web::HeadState::Incomplete) {
        if (!c.headStartMs) c.headStartMs = steadyMsOf(clock_);
        return;
    }
    c.headStartMs.reset();
    if (p.state == web::HeadState::TooLarge) {
        refuse(socket, 431, "request line or header fields too large");
        return;
    }
    if (p.state == web::HeadState::Malformed) {
        refuse(socket, 400, "malformed request");
        return;
    }
    socket->read(static_cast<qint64>(p.consumed));
    c.http10 = p.head.version == "HTTP/1.0";
    c.gzip = web::acceptsGzip(p.head);
    c.keepOpen = p.head.keepAlive();
    respond(socket, p.head);
    // The next request in the buffer is read on the next turn.
    it = connections_.find(socket);
    if (it != connections_.end() && !it->second.closingSinceMs && !it->second.waiting &&
        !it->second.body && socket->bytesAvailable() > 0)
        scheduleRead(socket);
}

std::string WebServer::clientOf(const QHostAddress& peer) {
    bool v4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&v4);
    if (v4) return QHostAddress(ipv4).toString().toStdString();
    // An IPv6 client holds a whole /64: the limits count it as one.
    Q_IPV6ADDR a = peer.toIPv6Address();
    for (int i = 8; i < 16; ++i) a[i] = 0;
    return QHostAddress(a).toString().toStdString() + "/64";
}

bool WebServer::authorized(const web::HttpHead& head) const {
    if (password_.empty()) return true;
    return web::basicAuthorizationMatches(head.field("Authorization"), password_);
}

void WebServer::refuse(QTcpSocket* socket, int status, std::string_view text,
                       const std::vector<std::pair<std::string, std::string>>& extra) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second.keepOpen = false;
    web::ApiResponse r = web::errorResponse(status, text);
    r.headers = extra;
    answer(socket, std::move(r), false);
}

// Everything a request must pass before it is answered, in this order: a sound frame, a
// reading method, the address's brake and rate, a host this dashboard answers to, the password.
// False when it has been refused (and the connection is closing).
bool WebServer::checkAccess(QTcpSocket* socket, Connection& c, const web::HttpHead& head,
                            std::string& host) {
    if (const std::string_view problem = web::framingProblem(head); !problem.empty()) {
        refuse(socket, 400, problem);
        return false;
    }
    if (head.method != "GET" && head.method != "HEAD") {
        refuse(socket, 405, "only GET and HEAD", {{"Allow", "GET, HEAD"}});
        return false;
    }
    const std::int64_t now = steadyMsOf(clock_);
    std::int64_t retryAfter = 0;
    if (brake_.braked(c.client, now, retryAfter)) {
        refuse(socket, 429, "too many wrong passwords",
               {{"Retry-After", std::to_string(retryAfter)}});
        return false;
    }
    // This computer itself (::1 is the only address of its /64 that can connect) and addresses
    // that gave the right password lately keep a rate of their own under any flood.
    const bool own =
        c.client == "127.0.0.1" || c.client == "::/64" || brake_.trusted(c.client, now);
    if (!rate_.allow(c.client, now, own)) {
        refuse(socket, 429, "too many requests", {{"Retry-After", "1"}});
        return false;
    }
    host = std::string(head.field("Host"));
    if (!head.target.empty() && head.target.front() != '/') {
        const auto form = web::originFormOf(hosts_, head.target);
        if (!form) {
            refuse(socket, 400, "malformed request target");
            return false;
        }
        host = form->authority;
    }
    // A request without Host is HTTP/1.0 from a script: no browser sends one.
    const bool noHost = c.http10 && head.fieldCount("Host") == 0;
    if (!noHost && !web::hostAllowed(hosts_, host)) {
        if (!hostLoggedMs_ || now - *hostLoggedMs_ >= 3600 * 1000) {
            hostLoggedMs_ = now;
            if (log_)
                log_("Web dashboard: refused a request for the host \"" +
                     web::printableForLog(host) +
                     "\": it answers only localhost, 127.0.0.1, [::1] and allowed_hosts of "
                     "[http] in tev3p.ini (said once an hour)");
        }
        refuse(socket, 421, "this dashboard does not answer to that host name");
        return false;
    }
    if (!authorized(head)) {
        if (head.fieldCount("Authorization") > 0) {
            const web::LoginFailure failure = brake_.failed(c.client, now);
            if (failure.brakeStarts && log_)
                log_("Web dashboard: " + std::to_string(web::LoginBrake::kFailures) +
                     " wrong passwords within a minute from " + c.client +
                     ": its requests get 429 for a minute");
            if (failure.floodStarts && log_)
                log_("Web dashboard: the password brake's table is full (" +
                     std::to_string(web::LoginBrake::kMaxClients) + " addresses), and " +
                     std::to_string(failure.untrackedFailures) +
                     " wrong passwords came from addresses it does not track: theirs get 429 "
                     "beyond " +
                     std::to_string(static_cast<int>(web::LoginBrake::kUntrackedPerSecond)) +
                     " a second, a right password is still taken (said once while it lasts)");
            if (failure.refused) {
                refuse(socket, 429, "too many wrong passwords", {{"Retry-After", "1"}});
                return false;
            }
        }
        refuse(socket, 401, "password needed",
               {{"WWW-Authenticate", "Basic realm=\"tev3p\", charset=\"UTF-8\""}});
        return false;
    }
    // The right password: this address is not held to the rate of untracked guessers.
    if (!password_.empty()) brake_.succeeded(c.client, now);
    return true;
}

void WebServer::respond(QTcpSocket* socket, const web::HttpHead& head) {
    Connection& c = connections_.at(socket);
    std::string host;
    if (!checkAccess(socket, c, head, host)) return;
    const bool headOnly = head.method == "HEAD";
    const auto form = web::originFormOf(hosts_, head.target);
    const web::ParsedTarget parsed = web::parseRequestTarget(form ? form->target : head.target);
    if (parsed.problem == web::TargetProblem::TooLong) {
        refuse(socket, 431, "request target too long");
        return;
    }
    if (parsed.problem != web::TargetProblem::None) {
        refuse(socket, 400, "malformed request target");
        return;
    }
    if (head.isWebSocketUpgrade() && parsed.target.path == kWebSocketPath && !headOnly) {
        if (const auto problem = web::upgradeProblem(head)) {
            refuse(socket, problem->first, problem->second);
            return;
        }
        upgradeToWebSocket(socket, c, head, host);
        return;
    }
    route(socket, head, parsed.target);
}

void WebServer::closeAfterWriting(QTcpSocket* socket, Connection& c) {
    c.closingSinceMs = steadyMsOf(clock_);
    // disconnectFromHost() may end the connection at once, and forget() it with it.
    socket->disconnectFromHost();
}

web::ServiceStatus WebServer::status() const {
    web::ServiceStatus s;
    s.now = unixSecondsOf(clock_);
    s.linkOn = sources_.linkOn ? sources_.linkOn() : false;
    s.offlineAlarm = offlineAlarm_;
    // The Chinese-only mode shows the bilingual texts: the page has no Chinese-only form.
    if (sources_.language && sources_.language() != LanguageMode::English) s.language = "bilingual";
    s.saveFailures = saveFailures_;
    s.runId = runId_;
    s.timeZone = timeZone_;
    s.lastMessage = lastMessage_;
    s.noReadingsYet = noReadingsYet_;
    if (sources_.sockets) sources_.sockets(s);
    if (sources_.fleet) s.fleet = sources_.fleet();
    if (sources_.evening) s.evening = sources_.evening();
    s.imbalanceFloor = sources_.imbalanceFloor;
    s.names = sources_.meterNames;
    s.weekStart = std::string(archive::weekStartName(sources_.weekStart));
    s.kept = kept_.meters();
    if (sources_.archivedMeters) {
        const std::int64_t nowMs = steadyMsOf(clock_);
        if (!archivedMetersReadMs_ || nowMs - *archivedMetersReadMs_ >= kArchivedMetersReadMs) {
            archivedMeters_ = sources_.archivedMeters();
            archivedMetersReadMs_ = nowMs;
        }
        for (const std::string& id : archivedMeters_) s.kept.try_emplace(id);
    }
    return s;
}

web::LogWindow WebServer::logWindow() const {
    return {logFirst_, &logLines_};
}

void WebServer::onLogLine(const std::string& line) {
    if (web::isSaveFailureLine(line)) ++saveFailures_;
    logLines_.push_back(line);
    if (logLines_.size() > kLogLinesKept) {
        logLines_.pop_front();
        ++logFirst_;
    }
    if (webSocketCount() > 0) schedulePush();
}

void WebServer::meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) {
    const std::int64_t now = unixSecondsOf(clock_);
    const int row = registry.find(meterId);
    kept_.heard(meterId, row >= 0 && row < kMeterRegistryCapacity ? registry.rows[row].IpAddr.view()
                                                                  : std::string_view());
    if (auto it = lastMessage_.find(meterId); it != lastMessage_.end()) {
        it->second = now;
    } else if (lastMessage_.size() < kMeterRegistryCapacity * 2) {
        lastMessage_.emplace(std::string(meterId), now);
        // Until its first data message, which follows at once when it is one.
        noReadingsYet_.emplace(meterId);
    }
    offlineAlarm_ = false;
    metersChanged_ = true;
    if (webSocketCount() > 0) schedulePush();
}

void WebServer::meterDataHandled(const MeterRegistry&, std::string_view meterId) {
    kept_.dataFrom(meterId, unixSecondsOf(clock_));
    if (auto it = noReadingsYet_.find(meterId); it != noReadingsYet_.end())
        noReadingsYet_.erase(it);
}

void WebServer::metersForgotten() {
    offlineAlarm_ = true;
    // The meters stay in the meters answer, off-line from now.
    kept_.forgotten(unixSecondsOf(clock_));
    lastMessage_.clear();
    noReadingsYet_.clear();
    metersChanged_ = true;
    if (webSocketCount() > 0) schedulePush();
}

}  // namespace tev::web
