#include "services/web/server/web_settings.h"

#include <QDir>

#include "services/web/rules/host_rules.h"

namespace tev::web {
namespace {

QString inFolder(const std::string& folder, const QString& name) {
    if (name.isEmpty() || !QDir::isRelativePath(name)) return name;
    return QDir(QString::fromStdString(folder)).filePath(name);
}

}  // namespace

bool parseListenAddress(const QString& text, QHostAddress& address, quint16& port,
                        std::string& problem) {
    const int colon = text.lastIndexOf(':');
    if (colon <= 0) {
        problem = "\"" + text.toStdString() + "\" is not ADDRESS:PORT";
        return false;
    }
    QString host = text.left(colon);
    if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535) {
        problem = "\"" + text.toStdString() + "\": the port must be 0 … 65535";
        return false;
    }
    if (host == "localhost") host = "127.0.0.1";
    const QHostAddress a(host);
    if (a.isNull()) {
        problem = "\"" + text.toStdString() + "\": " + host.toStdString() + " is not an IP address";
        return false;
    }
    address = a;
    port = static_cast<quint16>(p);
    return true;
}

WebSettings loadWebSettings(const std::map<std::string, std::string>& http,
                            const std::string& folder, const std::string& commandLineListen,
                            std::vector<std::string>& problems) {
    WebSettings s;
    auto text = [&http](const char* key) {
        const auto it = http.find(key);
        return it == http.end() ? QString() : QString::fromStdString(it->second);
    };
    QString listen = text("listen");
    s.passwordFile = inFolder(folder, text("password_file"));
    const QString anonymous = text("allow_anonymous").toLower();
    s.allowAnonymous = anonymous == "true" || anonymous == "1" || anonymous == "yes";
    s.tlsCert = inFolder(folder, text("tls_cert"));
    s.tlsKey = inFolder(folder, text("tls_key"));
    s.allowedHosts = web::parseAllowedHosts(text("allowed_hosts").toStdString(), problems);
    auto number = [&](const char* key, int& into, int low, int high) {
        if (!http.count(key)) return false;
        bool ok = false;
        const int v = text(key).toInt(&ok);
        if (ok && v >= low && v <= high) {
            into = v;
            return true;
        }
        problems.push_back(std::string("[http] ") + key + " must be " + std::to_string(low) +
                           " … " + std::to_string(high));
        return false;
    };
    number("max_connections", s.maxConnections, 1, 100000);
    if (number("idle_timeout_seconds", s.idleTimeoutMs, 1, 86400)) s.idleTimeoutMs *= 1000;
    if (!commandLineListen.empty()) listen = QString::fromStdString(commandLineListen);
    if (listen.isEmpty()) return s;
    std::string problem;
    if (!parseListenAddress(listen, s.address, s.port, problem)) {
        problems.push_back("[http] listen " + problem);
        return s;
    }
    if (s.tlsCert.isEmpty() != s.tlsKey.isEmpty()) {
        problems.push_back("[http] tls_cert and tls_key go together: the dashboard stays off");
        return s;
    }
    s.enabled = true;
    return s;
}

}  // namespace tev::web
