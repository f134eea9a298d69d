// The live side of the web server: WebSocket clients get the primary meter's readings, the
// meters table and new log lines within a fraction of a second of each meter message.
#include <QCryptographicHash>
#include <QTcpSocket>
#include <algorithm>

#include "services/web/rules/alerts_json.h"
#include "services/web/rules/api_json.h"
#include "services/web/server/web_server.h"

namespace tev::web {

namespace {

// Frames read from one WebSocket in one turn of the event loop, at most.
constexpr int kFramesPerTurn = 64;

bool overLimit(const QTcpSocket* socket, std::size_t limit) {
    return socket->bytesToWrite() >= static_cast<qint64>(limit);
}

}  // namespace

void WebServer::upgradeToWebSocket(QTcpSocket* socket, Connection& c, const web::HttpHead& head,
                                   std::string_view host) {
    // A page of another site may open a WebSocket to any address its browser reaches, with the
    // user's password even: only the dashboard's own pages, and clients that are no browser,
    // get the live feed.
    if (!web::originAllowed(hosts_, head.field("Origin"), host)) {
        refuse(socket, 403, "the live feed is only for the dashboard's own pages");
        return;
    }
    const std::string_view key = head.field("Sec-WebSocket-Key");
    if (!web::validWebSocketKey(key) || head.field("Sec-WebSocket-Version") != "13") {
        refuse(socket, 400, "a WebSocket upgrade needs a 16-byte key and version 13",
               {{"Sec-WebSocket-Version", "13"}});
        return;
    }
    // One address holds a few live feeds at most: its longest-idle one makes room. Past the
    // cap of all live feeds, the eviction order of the connections picks one.
    const std::int64_t now = steadyMsOf(clock_);
    std::vector<QTcpSocket*> feeds;
    std::vector<web::ConnectionView> views;
    QTcpSocket* idlest = nullptr;
    int fromAddress = 0;
    for (const auto& [s, other] : connections_) {
        if (!other.webSocket || other.closingSinceMs) continue;
        feeds.push_back(s);
        views.push_back(viewOf(other));
        if (other.client != c.client) continue;
        if (idlest == nullptr || other.lastProgressMs < connections_.at(idlest).lastProgressMs)
            idlest = s;
        ++fromAddress;
    }
    if (fromAddress >= settings_.webSocketsPerAddress) {
        drop(idlest);
    } else if (static_cast<int>(feeds.size()) >= settings_.maxWebSockets) {
        const auto victim = web::connectionToEvict(views, now);
        if (!victim) {
            refuse(socket, 503, "too many live connections");
            return;
        }
        drop(feeds[*victim]);
    }
    const QByteArray accept =
        QCryptographicHash::hash(QByteArray::fromStdString(web::webSocketAcceptInput(key)),
                                 QCryptographicHash::Sha1)
            .toBase64();
    const QByteArray response =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
        accept + "\r\n\r\n";
    socket->write(response);
    c.webSocket = true;
    c.keepOpen = true;
    c.lastProgressMs = c.lastTakenMs = now;
    if (webSocketCount() == 1) logPushed_ = logFirst_ + logLines_.size() - 1;
    const std::string first = web::serverFrame(web::ws::kText, pushMessage(true, true));
    socket->write(first.data(), static_cast<qint64>(first.size()));
}

void WebServer::readWebSocket(QTcpSocket* socket, Connection& c) {
    // A client that does not read what it is sent is not read either: its pings wait in the
    // network until it does, or until it is closed for making no progress.
    if (overLimit(socket, web::kMaxWebSocketOutputBytes)) return;
    const qint64 room =
        static_cast<qint64>(web::kReadBufferBytes) - static_cast<qint64>(c.frames.size());
    if (room > 0 && socket->bytesAvailable() > 0) {
        const QByteArray bytes = socket->read(room);
        if (!bytes.isEmpty()) {
            c.frames.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            c.lastProgressMs = steadyMsOf(clock_);
        }
    }
    std::size_t at = 0;
    bool more = false;
    for (int n = 0;; ++n) {
        if (n == kFramesPerTurn) {
            more = true;
            break;
        }
        const web::FrameParse p =
            web::parseClientFrame(std::string_view(c.frames).substr(at), c.messages.inMessage());
        if (p.state == web::FrameState::Incomplete) break;
        if (p.state == web::FrameState::Error) {
            closeWebSocket(socket, c, p.closeCode);
            return;
        }
        at += p.consumed;
        const web::ClientMessages::Result r = c.messages.take(p.frame);
        if (r.action == web::ClientMessages::Action::Close) {
            closeWebSocket(socket, c, web::ws::kCloseNormal);
            return;
        }
        if (r.action == web::ClientMessages::Action::Error) {
            closeWebSocket(socket, c, r.closeCode);
            return;
        }
        if (r.action == web::ClientMessages::Action::Pong) {
            const std::string pong = web::serverFrame(web::ws::kPong, p.frame.payload);
            socket->write(pong.data(), static_cast<qint64>(pong.size()));
            if (overLimit(socket, web::kMaxWebSocketOutputBytes)) break;
        }
    }
    c.frames.erase(0, at);
    // More waiting: the next turn takes it, unless the client must first read.
    if (!overLimit(socket, web::kMaxWebSocketOutputBytes) && (more || socket->bytesAvailable() > 0))
        scheduleRead(socket);
}

void WebServer::closeWebSocket(QTcpSocket* socket, Connection& c, std::uint16_t code) {
    if (c.closingSinceMs) return;
    const std::string frame = web::closeFrame(code);
    socket->write(frame.data(), static_cast<qint64>(frame.size()));
    c.frames.clear();
    closeAfterWriting(socket, c);
}

void WebServer::alertsChanged() {
    alertsChanged_ = true;
    if (webSocketCount() > 0) schedulePush();
}

void WebServer::schedulePush() {
    if (!pushTimer_.isActive()) pushTimer_.start();
}

void WebServer::push() {
    if (webSocketCount() == 0) return;
    const std::string message =
        web::serverFrame(web::ws::kText, pushMessage(metersChanged_, alertsChanged_));
    metersChanged_ = false;
    alertsChanged_ = false;
    for (auto& [socket, c] : connections_) {
        if (!c.webSocket || c.closingSinceMs) continue;
        // A client that does not read gets no more until it has caught up.
        if (socket->bytesToWrite() + static_cast<qint64>(message.size()) >
            static_cast<qint64>(web::kMaxWebSocketOutputBytes))
            continue;
        socket->write(message.data(), static_cast<qint64>(message.size()));
    }
}

std::string WebServer::pushMessage(bool withMeters, bool withAlerts) {
    const web::ServiceStatus s = status();
    std::string out = "{\"live\":" + web::liveJson(*sources_.store, s);
    if (withMeters) out += ",\"meters\":" + web::metersJson(sources_.store->registry, s);
    if (withAlerts && sources_.alerts) out += ",\"alerts\":" + web::alertsJson(sources_.alerts());
    const std::uint64_t last = logFirst_ + logLines_.size() - 1;
    if (last > logPushed_) {
        out += ",\"log\":" + web::logJson(logWindow(), logPushed_);
        logPushed_ = last;
    }
    out += '}';
    return out;
}

}  // namespace tev::web
