#include "services/web/server/web_server.h"

#include <QDirIterator>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <optional>

#include "services/web/rules/archive_costs.h"
#include "services/web/rules/request_target.h"

namespace tev {
namespace {

constexpr int kIdleCheckIntervalMs = 1000;
// Live pushes are bundled: a burst of meter messages makes one message per interval.
constexpr int kPushIntervalMs = 200;
constexpr std::size_t kLogLinesKept = 1000;
constexpr std::string_view kWebSocketPath = "/api/v1/ws";
// Two archive queries at a time: the machine's cores belong to the meter link first.
constexpr int kArchiveReaderThreads = 2;

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

std::string contentTypeOf(const QString& name) {
    if (name.endsWith(".html")) return "text/html; charset=utf-8";
    if (name.endsWith(".js")) return "text/javascript; charset=utf-8";
    if (name.endsWith(".css")) return "text/css; charset=utf-8";
    if (name.endsWith(".png")) return "image/png";
    if (name.endsWith(".svg")) return "image/svg+xml";
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

WebServer::WebServer(WebSettings settings, WebSources sources, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      sources_(std::move(sources)),
      rate_(settings_.requestsPerSecond, settings_.requestBurst) {
    idleTimer_.setInterval(kIdleCheckIntervalMs);
    connect(&idleTimer_, &QTimer::timeout, this, &WebServer::closeIdleConnections);
    pushTimer_.setSingleShot(true);
    pushTimer_.setInterval(kPushIntervalMs);
    connect(&pushTimer_, &QTimer::timeout, this, &WebServer::push);
    QDirIterator it(":/web", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        files_.insert(path.mid(QString(":/web").size()), {f.readAll(), contentTypeOf(path)});
    }
    if (files_.contains("/index.html")) files_.insert("/", files_.value("/index.html"));
    archiveReaders_.setMaxThreadCount(kArchiveReaderThreads);
}

WebServer::~WebServer() {
    // A query still running answers into this object's event queue; it ends first.
    archiveReaders_.waitForDone();
    *self_ = nullptr;
    for (QWebSocket* ws : webSockets_) {
        ws->disconnect(this);
        ws->abort();
        delete ws;
    }
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        it.key()->disconnect(this);
        it.key()->abort();
        delete it.key();
    }
}

bool WebServer::start(const LogSink& log) {
    const web::ListenDecision decision =
        web::decideListen(settings_.address.isLoopback(), !settings_.passwordFile.isEmpty(),
                          settings_.allowAnonymous);
    if (!decision.listen) {
        log("Web dashboard on " + settings_.address.toString().toStdString() + ": " +
            decision.reason);
        return false;
    }
    if (!settings_.passwordFile.isEmpty()) {
        QFile f(settings_.passwordFile);
        if (!f.open(QIODevice::ReadOnly)) {
            log("Web dashboard: password_file " + settings_.passwordFile.toStdString() +
                " cannot be read: not listening");
            return false;
        }
        password_ = QString::fromUtf8(f.readLine()).trimmed().toStdString();
        if (password_.empty()) {
            log("Web dashboard: password_file " + settings_.passwordFile.toStdString() +
                " holds no password: not listening");
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
        listener_.reset();
        return false;
    }
    webSocketServer_ = new QWebSocketServer("tev3p", QWebSocketServer::NonSecureMode, this);
    connect(webSocketServer_, &QWebSocketServer::newConnection, this, &WebServer::onWebSocket);
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

void WebServer::accept(qintptr descriptor) {
    if (static_cast<int>(connections_.size()) >= settings_.maxConnections) evictIdlest();
    QTcpSocket* socket = nullptr;
    if (useTls_) {
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
    connections_.insert(socket, Connection{{}, sources_.steadyMs(), false});
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
}

void WebServer::forget(QTcpSocket* socket) {
    if (connections_.remove(socket) == 0) return;
    socket->disconnect(this);
    socket->deleteLater();
}

void WebServer::evictIdlest() {
    QTcpSocket* idlest = nullptr;
    std::int64_t oldest = 0;
    for (auto it = connections_.cbegin(); it != connections_.cend(); ++it) {
        if (idlest == nullptr || it.value().lastActivityMs < oldest) {
            idlest = it.key();
            oldest = it.value().lastActivityMs;
        }
    }
    if (idlest == nullptr) return;
    idlest->abort();
    forget(idlest);
}

void WebServer::closeIdleConnections() {
    const std::int64_t now = sources_.steadyMs();
    std::vector<QTcpSocket*> idle;
    for (auto it = connections_.cbegin(); it != connections_.cend(); ++it)
        if (now - it.value().lastActivityMs >= settings_.idleTimeoutMs) idle.push_back(it.key());
    for (QTcpSocket* s : idle) {
        s->abort();
        forget(s);
    }
}

void WebServer::readFrom(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->lastActivityMs = sources_.steadyMs();
    if (it->closing) {
        socket->readAll();
        return;
    }
    if (it->waiting) return;
    // The head is looked at without taking it from the socket, so that a WebSocket upgrade can
    // hand the untouched handshake to Qt WebSockets.
    while (connections_.contains(socket) && !it->closing && !it->waiting &&
           socket->bytesAvailable() > 0) {
        const QByteArray peeked =
            socket->peek(std::min<qint64>(socket->bytesAvailable(), web::kMaxHeadBytes + 4));
        const web::HeadParse p =
            web::parseHttpHead(std::string_view(peeked.constData(), peeked.size()));
        if (p.state == web::HeadState::Incomplete) return;
        if (p.state == web::HeadState::TooLarge) {
            refuse(socket, 431, "request line or header fields too large");
            return;
        }
        if (p.state == web::HeadState::Malformed) {
            refuse(socket, 400, "malformed request");
            return;
        }
        if (p.head.isWebSocketUpgrade() &&
            web::parseRequestTarget(p.head.target).target.path == kWebSocketPath &&
            p.head.method == "GET") {
            if (!authorized(p.head)) {
                refuse(socket, 401, "password needed",
                       {{"WWW-Authenticate", "Basic realm=\"tev3p\", charset=\"UTF-8\""}});
                return;
            }
            if (static_cast<int>(webSockets_.size()) >= settings_.maxWebSockets) {
                refuse(socket, 503, "too many live connections");
                return;
            }
            upgradeToWebSocket(socket);
            return;
        }
        socket->read(static_cast<qint64>(p.consumed));
        bool keepOpen = true;
        respond(socket, p.head, keepOpen);
        if (!keepOpen) return;
    }
}

bool WebServer::authorized(const web::HttpHead& head) const {
    if (password_.empty()) return true;
    return web::basicAuthorizationMatches(head.field("Authorization"), password_);
}

void WebServer::refuse(QTcpSocket* socket, int status, std::string_view text,
                       const std::vector<std::pair<std::string, std::string>>& extra) {
    const web::ApiResponse r = web::errorResponse(status, text);
    send(socket, status, r.contentType, r.body, false, false, extra);
}

void WebServer::respond(QTcpSocket* socket, const web::HttpHead& head, bool& keepOpen) {
    const bool headOnly = head.method == "HEAD";
    if (head.method != "GET" && !headOnly) {
        keepOpen = false;
        refuse(socket, 405, "only GET and HEAD", {{"Allow", "GET, HEAD"}});
        return;
    }
    // A body on a GET is not read; the connection ends after the answer.
    keepOpen = head.keepAlive() && !head.hasBody();
    if (!rate_.allow(socket->peerAddress().toString().toStdString(), sources_.steadyMs())) {
        keepOpen = false;
        refuse(socket, 429, "too many requests", {{"Retry-After", "1"}});
        return;
    }
    if (!authorized(head)) {
        keepOpen = false;
        refuse(socket, 401, "password needed",
               {{"WWW-Authenticate", "Basic realm=\"tev3p\", charset=\"UTF-8\""}});
        return;
    }
    const web::ParsedTarget parsed = web::parseRequestTarget(head.target);
    if (parsed.problem == web::TargetProblem::TooLong) {
        keepOpen = false;
        refuse(socket, 431, "request target too long");
        return;
    }
    if (parsed.problem != web::TargetProblem::None) {
        keepOpen = false;
        refuse(socket, 400, "malformed request target");
        return;
    }
    const QString path = QString::fromStdString(parsed.target.path);
    if (const auto file = files_.constFind(path); file != files_.constEnd()) {
        send(socket, 200, file->contentType, file->body.toStdString(), headOnly, keepOpen);
        return;
    }
    if (auto archived = web::meterArchiveRequestFrom(parsed.target)) {
        if (const auto* request = std::get_if<web::MeterArchiveRequest>(&*archived)) {
            answerFromArchive(socket, *request, headOnly, keepOpen);
        } else {
            const auto& r = std::get<web::ApiResponse>(*archived);
            send(socket, r.status, r.contentType, r.body, headOnly, keepOpen, r.headers);
        }
        return;
    }
    if (path == QLatin1String("/api/v1/costs/meters")) {
        answerMeterCosts(socket, headOnly, keepOpen);
        return;
    }
    const web::ServiceStatus s = status();
    const web::ApiContext context{*sources_.store, s, logWindow(), sources_.alerts,
                                  sources_.tariff};
    const auto answer = web::answerApi(parsed.target, context);
    const web::ApiResponse r = answer ? *answer : web::errorResponse(404, "not found");
    send(socket, r.status, r.contentType, r.body, headOnly, keepOpen, r.headers);
}

void WebServer::answerFromArchive(QTcpSocket* socket, const web::MeterArchiveRequest& request,
                                  bool headOnly, bool keepOpen) {
    archive::SeriesQuery query;
    query.meter = request.meter;
    query.resolution = request.resolution;
    query.quantities = request.quantities;
    query.from = request.from;
    query.to = request.to;
    std::optional<Tariff> tariff;
    if (sources_.tariff != nullptr && sources_.tariff->configured()) tariff = *sources_.tariff;
    answerOnReader(socket, headOnly, keepOpen,
                   [request, query = std::move(query), tariff = std::move(tariff),
                    folder = sources_.archiveFolder, read = sources_.archiveQueries.series] {
                       std::string error;
                       const archive::ArchiveSeries series = read(folder, query, error);
                       return web::meterArchiveResponse(request, series, error,
                                                        tariff ? &*tariff : nullptr);
                   });
}

void WebServer::answerMeterCosts(QTcpSocket* socket, bool headOnly, bool keepOpen) {
    if (sources_.tariff == nullptr || !sources_.tariff->configured()) {
        send(socket, 200, web::kJsonContentType, "{\"currency\":null}", headOnly, keepOpen);
        return;
    }
    const auto now = static_cast<std::time_t>(sources_.unixSeconds());
    answerOnReader(socket, headOnly, keepOpen,
                   [tariff = *sources_.tariff, folder = sources_.archiveFolder,
                    read = sources_.archiveQueries.hourEnergy, now] {
                       std::string error;
                       const std::vector<archive::MeterEnergy> meters =
                           read(folder, web::periodCostsFrom(now), error);
                       if (!error.empty())
                           return web::errorResponse(503, "the archive cannot be read");
                       std::vector<web::MeterPeriodCosts> costs;
                       costs.reserve(meters.size());
                       for (const archive::MeterEnergy& m : meters)
                           costs.push_back(web::meterPeriodCosts(m.meter, m.time, m.kwh,
                                                                 m.firstRow, now, tariff));
                       return web::ApiResponse{200, std::string(web::kJsonContentType),
                                               web::meterCostsJson(costs, tariff), {}};
                   });
}

void WebServer::answerOnReader(QTcpSocket* socket, bool headOnly, bool keepOpen,
                               std::function<web::ApiResponse()> work) {
    if (sources_.archiveFolder.empty() || sources_.archiveQueries.series == nullptr ||
        sources_.archiveQueries.hourEnergy == nullptr) {
        const web::ApiResponse r = web::errorResponse(404, "the archive is off");
        send(socket, r.status, r.contentType, r.body, headOnly, keepOpen);
        return;
    }
    // The query reads the disk, so it runs on a reader thread and the answer comes back to
    // this thread; the connection reads no further request until it is sent, keeping answers
    // in the order of their requests.
    connections_[socket].waiting = true;
    QPointer<QTcpSocket> guard(socket);
    archiveReaders_.start([this, guard, work = std::move(work), headOnly, keepOpen] {
        auto answer = std::make_shared<web::ApiResponse>(work());
        QMetaObject::invokeMethod(
            this,
            [this, guard, answer, headOnly, keepOpen] {
                QTcpSocket* s = guard.data();
                auto it = s != nullptr ? connections_.find(s) : connections_.end();
                if (it == connections_.end()) return;
                it->waiting = false;
                it->lastActivityMs = sources_.steadyMs();
                send(s, answer->status, answer->contentType, answer->body, headOnly, keepOpen,
                     answer->headers);
                // Requests that came in meanwhile are answered now.
                if (keepOpen && s->bytesAvailable() > 0) readFrom(s);
            },
            Qt::QueuedConnection);
    });
}

void WebServer::send(QTcpSocket* socket, int status, std::string_view contentType,
                     const std::string& body, bool headOnly, bool keepAlive,
                     const std::vector<std::pair<std::string, std::string>>& extra) {
    std::string h = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reasonPhrase(status)) +
                    "\r\nContent-Type: " + std::string(contentType) +
                    "\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nContent-Security-Policy: default-src 'self'"
                    "\r\nX-Content-Type-Options: nosniff"
                    "\r\nX-Frame-Options: DENY"
                    "\r\nReferrer-Policy: no-referrer"
                    "\r\nCache-Control: no-store";
    for (const auto& [k, v] : extra) h += "\r\n" + k + ": " + v;
    h += keepAlive ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n";
    socket->write(h.data(), static_cast<qint64>(h.size()));
    if (!headOnly) socket->write(body.data(), static_cast<qint64>(body.size()));
    if (!keepAlive) {
        auto it = connections_.find(socket);
        if (it != connections_.end()) it->closing = true;
        socket->disconnectFromHost();
    }
}

web::ServiceStatus WebServer::status() const {
    web::ServiceStatus s;
    s.now = sources_.unixSeconds ? sources_.unixSeconds() : 0;
    s.linkOn = sources_.linkOn ? sources_.linkOn() : false;
    s.offlineAlarm = offlineAlarm_;
    // The Chinese-only mode shows the bilingual texts: the page has no Chinese-only form.
    if (sources_.language && sources_.language() != LanguageMode::English) s.language = "bilingual";
    s.saveFailures = saveFailures_;
    s.lastMessage = lastMessage_;
    if (sources_.sockets) sources_.sockets(s);
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
    if (!webSockets_.empty()) schedulePush();
}

void WebServer::meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) {
    (void)registry;
    const std::int64_t now = sources_.unixSeconds ? sources_.unixSeconds() : 0;
    if (auto it = lastMessage_.find(meterId); it != lastMessage_.end())
        it->second = now;
    else if (lastMessage_.size() < kMeterRegistryCapacity * 2)
        lastMessage_.emplace(std::string(meterId), now);
    offlineAlarm_ = false;
    metersChanged_ = true;
    if (!webSockets_.empty()) schedulePush();
}

void WebServer::metersForgotten() {
    offlineAlarm_ = true;
    lastMessage_.clear();
    metersChanged_ = true;
    if (!webSockets_.empty()) schedulePush();
}

}  // namespace tev
