// The live side of the web server: WebSocket clients get the primary meter's readings, the
// meters table and new log lines within a fraction of a second of each meter message.
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>

#include "services/web/rules/alerts_json.h"
#include "services/web/rules/api_json.h"
#include "services/web/server/web_server.h"

namespace tev {

void WebServer::upgradeToWebSocket(QTcpSocket* socket) {
    // From here on the socket belongs to Qt WebSockets: the handshake is still unread in it.
    connections_.remove(socket);
    socket->disconnect(this);
    webSocketServer_->handleConnection(socket);
}

void WebServer::onWebSocket() {
    while (QWebSocket* ws = webSocketServer_->nextPendingConnection()) {
        if (static_cast<int>(webSockets_.size()) >= settings_.maxWebSockets) {
            ws->close(QWebSocketProtocol::CloseCodeTooMuchData);
            ws->deleteLater();
            continue;
        }
        ws->setParent(this);
        ws->setMaxAllowedIncomingMessageSize(1024);
        ws->setMaxAllowedIncomingFrameSize(1024);
        if (webSockets_.empty()) logPushed_ = logFirst_ + logLines_.size() - 1;
        webSockets_.push_back(ws);
        connect(ws, &QWebSocket::disconnected, this, [this, ws] {
            webSockets_.erase(std::remove(webSockets_.begin(), webSockets_.end(), ws),
                              webSockets_.end());
            ws->deleteLater();
        });
        // The dashboard sends nothing: anything it would is dropped.
        ws->sendTextMessage(QString::fromStdString(pushMessage(true, true)));
    }
}

void WebServer::alertsChanged() {
    alertsChanged_ = true;
    if (!webSockets_.empty()) schedulePush();
}

void WebServer::schedulePush() {
    if (!pushTimer_.isActive()) pushTimer_.start();
}

void WebServer::push() {
    if (webSockets_.empty()) return;
    const QString message = QString::fromStdString(pushMessage(metersChanged_, alertsChanged_));
    metersChanged_ = false;
    alertsChanged_ = false;
    for (QWebSocket* ws : webSockets_) {
        // A client that does not read gets no more until it has caught up.
        if (ws->bytesToWrite() > 4 * 1024 * 1024) continue;
        ws->sendTextMessage(message);
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

}  // namespace tev
