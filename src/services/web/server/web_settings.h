#pragma once

#include <QHostAddress>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "services/web/rules/connection_rules.h"

namespace tev::web {

// The web server's settings: the [http] group of tev3p.ini, with --http winning over listen=.
struct WebSettings {
    bool enabled = false;  // off unless an address is named
    QHostAddress address;
    quint16 port = 0;  // 0 picks a free port
    QString passwordFile;
    bool allowAnonymous = false;
    QString tlsCert;
    QString tlsKey;
    // Names a password-less loopback dashboard answers to beside localhost, 127.0.0.1 and
    // [::1]: "name" or "name:port" ([http] allowed_hosts, comma-separated).
    std::vector<std::string> allowedHosts;
    // Connections of any kind (WebSockets included) and, of them, live WebSockets.
    int maxConnections = 256;
    int maxWebSockets = 64;
    int webSocketsPerAddress = web::kWebSocketsPerAddress;
    int idleTimeoutMs = 30000;
    double requestsPerSecond = 50;
    double requestBurst = 200;
    // A download taken slower than this over each window is closed (connection_rules.h).
    std::int64_t minDownloadBytesPerSecond = web::kMinDownloadBytesPerSecond;
    std::int64_t downloadRateWindowMs = web::kDownloadRateWindowMs;
};

// "ADDRESS:PORT", "[::1]:PORT"; false with a reason when it is not one.
bool parseListenAddress(const QString& text, QHostAddress& address, quint16& port,
                        std::string& problem);

// The web server's settings from the keys of the [http] group of tev3p.ini, each as written;
// `commandLineListen` (--http) wins over listen=. Relative file names are taken from `folder`.
WebSettings loadWebSettings(const std::map<std::string, std::string>& http,
                            const std::string& folder, const std::string& commandLineListen,
                            std::vector<std::string>& problems);

}  // namespace tev::web
